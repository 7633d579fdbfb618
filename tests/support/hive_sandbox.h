#pragma once
// A temporary folder holding a user's and a machine's hive files, with the
// environment pointed at it for the length of a test, and a way to run part of
// a test as an unprivileged account.

#include <grp.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/scoped_env.h"

namespace velmora::test_support {

namespace fs = std::filesystem;

inline std::string ReadBytes(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const fs::path& file, const std::string& bytes) {
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << bytes;
}

// UTF-16LE of well-formed UTF-8, as the registry editor writes its files
// (without the byte order mark).
inline std::string Utf16Le(std::string_view utf8) {
    std::string out;
    auto unit = [&out](std::uint32_t u) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    };
    for (std::size_t i = 0; i < utf8.size();) {
        auto c = static_cast<unsigned char>(utf8[i]);
        int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        std::uint32_t cp = n == 1 ? c : c & (0x7F >> n);
        for (int k = 1; k < n; ++k)
            cp = (cp << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        i += static_cast<std::size_t>(n);
        if (cp >= 0x10000) {
            unit(0xD800 + ((cp - 0x10000) >> 10));
            unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            unit(cp);
        }
    }
    return out;
}

inline const std::string kUtf16Bom = "\xFF\xFE";

// Names of the entries of a folder, to spot stray temporary files.
inline std::vector<std::string> FolderEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

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
