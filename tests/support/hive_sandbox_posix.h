#pragma once
// The hive files of a test under a temporary folder, with the environment
// pointed at it, and a way to run part of a test as an unprivileged account.
// Included through hive_sandbox.h.

#include <grp.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/scoped_env.h"

namespace velmora::test_support {

class HiveSandbox : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "velmora-hive-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        // Reachable for the unprivileged child of the access tests.
        fs::permissions(root_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
        setenv("XDG_CONFIG_HOME", ConfigHome().c_str(), 1);
        setenv("XDG_CONFIG_DIRS",
               (MachineConfig().string() + ":" + (root_ / "other").string()).c_str(), 1);
        setenv("HOME", (root_ / "home").c_str(), 1);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    fs::path ConfigHome() const { return root_ / "home" / ".config"; }
    fs::path MachineConfig() const { return root_ / "etc"; }
    fs::path UserHive() const { return ConfigHome() / "velmora" / "user.reg"; }
    fs::path MachineHive() const { return MachineConfig() / "velmora" / "machine.reg"; }

    // The machine-wide settings key holding `valueLines`, as an installer writes it.
    void WriteMachineKey(const std::string& valueLines) {
        WriteBytes(
            MachineHive(),
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\n" + valueLines);
    }
    void WriteUserKey(const std::string& valueLines) {
        WriteBytes(UserHive(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\n" +
                                   valueLines);
    }

    // Every per-user value as stored.
    std::string StoredUserSettings() const { return ReadBytes(UserHive()); }

    ScopedEnv savedConfigHome_{"XDG_CONFIG_HOME"};
    ScopedEnv savedConfigDirs_{"XDG_CONFIG_DIRS"};
    ScopedEnv savedHome_{"HOME"};
    fs::path root_;
};

inline constexpr uid_t kNobody = 65534;
inline constexpr int kCannotDropPrivileges = 77;

// Runs `body` in a child process (after `prepare`, when given) and returns its
// exit code: 0 when every check passed.
inline int RunInChild(const std::function<int()>& body, const std::function<bool()>& prepare = {}) {
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        if (prepare && !prepare()) _exit(kCannotDropPrivileges);
        int code = body();
        std::fflush(nullptr);
        _exit(code);
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0)
        if (errno != EINTR) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// The same as uid/gid 65534, or kCannotDropPrivileges when that is not possible.
inline int RunAsNobody(const std::function<int()>& body) {
    if (geteuid() != 0) return kCannotDropPrivileges;
    return RunInChild(body, [] {
        return setgroups(0, nullptr) == 0 && setgid(kNobody) == 0 && setuid(kNobody) == 0 &&
               geteuid() == kNobody && getegid() == kNobody;
    });
}

// Empty when uid/gid 65534 may use `path` as `mode` asks, every folder on the
// way included (a clone in a private folder is not); otherwise why not, for a
// GTEST_SKIP line.
inline std::string WhyNobodyCannotUse(const fs::path& path, int mode = X_OK) {
    const int code = RunAsNobody([&] { return ::access(path.c_str(), mode) == 0 ? 0 : 1; });
    if (code == kCannotDropPrivileges) return "cannot drop to uid 65534";
    if (code != 0)
        return "uid 65534 cannot reach " + path.string() + " (a folder on the way is private)";
    return {};
}

// Checks inside a child process: report and end the child with a failure.
#define CHILD_EXPECT(cond)                                                                      \
    do {                                                                                        \
        if (!(cond)) {                                                                          \
            std::fprintf(stderr, "%s:%d: child check failed: %s\n", __FILE__, __LINE__, #cond); \
            return 1;                                                                           \
        }                                                                                       \
    } while (0)

}  // namespace velmora::test_support
