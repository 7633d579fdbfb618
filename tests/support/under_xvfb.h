#pragma once
// Programs whose pictures must be painted by a real X server start a private
// Xvfb of their own and run their tests on it.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QtGlobal>
#include <cstdlib>
#include <string>

#include "support/private_x_server.h"

namespace velmora::test_support {

// The main of a test program that needs a real X server: its tests run on a
// private Xvfb (without one they skip themselves), except when it only lists
// its tests, which needs no display.
inline int RunTestsUnderXvfb(int argc, char** argv, const std::string& screen = "1024x768x24") {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0) listing = true;
    PrivateXServer server;
    if (!listing) {
        if (const std::string display = server.Start(screen); !display.empty()) {
            ::setenv("DISPLAY", display.c_str(), 1);
            qputenv("QT_QPA_PLATFORM", "xcb");
        }
    }
    // The web engine's sandbox cannot run as root.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    int status = 0;
    {
        QApplication app(argc, argv);
        ::testing::InitGoogleTest(&argc, argv);
        status = RUN_ALL_TESTS();
    }
    return status;
}

}  // namespace velmora::test_support
