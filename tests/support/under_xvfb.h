#pragma once
// Programs whose pictures must be painted by a real X server run themselves
// again under xvfb-run.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <QtGlobal>
#include <string>
#include <vector>

namespace velmora::test_support {

// Unless already under it, replaces this process with the same command line
// under xvfb-run; returns only when that is not possible (no xvfb-run).
inline void RunAgainUnderXvfb(int argc, char** argv) {
    if (!qgetenv("VELMORA_UNDER_XVFB").isEmpty()) return;
    std::vector<std::string> words = {"xvfb-run",
                                      "-a",
                                      "-s",
                                      "-screen 0 1024x768x24",
                                      "env",
                                      "VELMORA_UNDER_XVFB=1",
                                      "QT_QPA_PLATFORM=xcb",
                                      argv[0]};
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
    std::vector<char*> args;
    for (std::string& w : words) args.push_back(w.data());
    args.push_back(nullptr);
    execvp("xvfb-run", args.data());
}

// The main of a test program that needs a real X server: it runs again under
// xvfb-run (without it the tests skip themselves), except to list its tests,
// which needs no display.
inline int RunTestsUnderXvfb(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0) listing = true;
    if (!listing) RunAgainUnderXvfb(argc, argv);
    // The web engine's sandbox cannot run as root.
    if (geteuid() == 0) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

}  // namespace velmora::test_support
