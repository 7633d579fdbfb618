#pragma once
// Programs whose pictures must be painted by a real X server start a private
// Xvfb of their own and run their tests on it.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QtGlobal>
#include <cstdlib>
#include <string>

namespace velmora::test_support {

// A virtual X server on the first free display. The server itself picks the
// number and writes it once it accepts connections, so programs started side
// by side never race for one display.
class PrivateXServer {
  public:
    PrivateXServer() = default;
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    ~PrivateXServer() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

    // The display name (":N"), or empty when Xvfb cannot run here.
    std::string Start() {
        int fds[2];
        if (::pipe(fds) != 0) return {};
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                     "-screen", "0", "1024x768x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        std::string number;
        pollfd wait{fds[0], POLLIN, 0};
        char c = 0;
        while (pid_ > 0 && ::poll(&wait, 1, 30000) == 1 && ::read(fds[0], &c, 1) == 1 && c != '\n')
            number += c;
        ::close(fds[0]);
        return number.empty() ? std::string() : ":" + number;
    }

  private:
    pid_t pid_ = -1;
};

// The main of a test program that needs a real X server: its tests run on a
// private Xvfb (without one they skip themselves), except when it only lists
// its tests, which needs no display.
inline int RunTestsUnderXvfb(int argc, char** argv) {
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        if (std::string(argv[i]).rfind("--gtest_list_tests", 0) == 0) listing = true;
    PrivateXServer server;
    if (!listing) {
        if (const std::string display = server.Start(); !display.empty()) {
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
