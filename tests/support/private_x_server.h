#pragma once
// A private X server for tests and benchmarks that need a real one.

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace velmora::test_support {

// A virtual X server on the first free display. The server itself picks the
// number and writes it once it accepts connections, so programs started side
// by side never race for one display. Without -noreset it would reset when its
// last client leaves, and a program starting right then could not connect.
class PrivateXServer {
  public:
    PrivateXServer() = default;
    PrivateXServer(const PrivateXServer&) = delete;
    PrivateXServer& operator=(const PrivateXServer&) = delete;
    ~PrivateXServer() { Stop(); }

    void Stop() {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }

    // The display name (":N"), or empty when Xvfb cannot run here. `screen`
    // is Xvfb's WxHxD.
    std::string Start(const std::string& screen = "1024x768x24") {
        int fds[2];
        if (::pipe(fds) != 0) return {};
        // Made before the fork: the child of a threaded process may only exec.
        const std::string fd = std::to_string(fds[1]);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-noreset", "-nolisten", "tcp",
                     "-screen", "0", screen.c_str(), static_cast<char*>(nullptr));
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

}  // namespace velmora::test_support
