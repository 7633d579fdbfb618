#include "core/settings/hive_storage.h"

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <set>
#include <vector>

#include "core/platform/files.h"
#include "core/platform/xdg_folders.h"
#include "core/settings/registry_backend.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A hive is a few kilobytes; anything far larger is not one we wrote.
constexpr std::size_t kMaxHiveBytes = 64 * 1024 * 1024;

}  // namespace

fs::path HivePath(RootKey root) {
    if (root == RootKey::LocalMachine) {
        return platform::FirstConfigDir() / "velmora" / "machine.reg";
    }
    const fs::path config = platform::ConfigHome();
    return config.empty() ? fs::path() : config / "velmora" / "user.reg";
}

long StatusFromError(std::error_code error) {
    switch (error.value()) {
        case ENOENT:
        case ENOTDIR:
            return kRegNotFound;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return kRegAccessDenied;
        case ENOSPC:
        case EDQUOT:
            return kRegDiskFull;
        case ENAMETOOLONG:
            return kRegInvalidParameter;
        default:
            return kRegIoFailed;
    }
}

long ReadHiveFile(const fs::path& file, std::string& bytes, std::string* why) {
    const auto failed = [&](long status, std::string text) {
        if (why) *why = std::move(text);
        return status;
    };
    const std::error_code error = platform::ReadWholeFile(file, kMaxHiveBytes, bytes);
    switch (error.value()) {
        case 0:
            return kRegOk;
        case ENOENT:
        case ENOTDIR:
            return kRegNotFound;
        case EISDIR:
            return failed(kRegAccessDenied, "is a folder, not a file");
        case ENODEV:
            return failed(kRegIoFailed, "is not a regular file");
        case EFBIG:
            return failed(kRegIoFailed, "is larger than 64 MiB");
        default:
            return failed(StatusFromError(error), "cannot be read (" + error.message() + ")");
    }
}

bool ReportHiveProblem(const fs::path& file, const std::string& what) {
    static std::mutex mutex;
    static std::set<std::string> said;
    std::string line = "velmora: " + file.string() + ": " + what + "\n";
    std::lock_guard<std::mutex> lock(mutex);
    if (!said.insert(line).second) return false;
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    return true;
}

long ReplaceHiveFile(const fs::path& file, std::string_view bytes, platform::FileAccess access) {
    const std::error_code error = platform::ReplaceFileAtomically(file, bytes, access);
    return error ? StatusFromError(error) : kRegOk;
}

}  // namespace velmora
