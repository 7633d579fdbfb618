#include "core/settings/hive_storage.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <vector>

#include "core/settings/registry_backend.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A hive is a few kilobytes; anything far larger is not one we wrote.
constexpr off_t kMaxHiveBytes = 64 * 1024 * 1024;

std::string AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
}

std::string HomeFolder() {
    std::string home = AbsoluteEnv("HOME");
    if (!home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

fs::path FirstConfigDir() {
    // Relative entries are ignored, as the base directory rules ask.
    if (const char* dirs = std::getenv("XDG_CONFIG_DIRS")) {
        std::string_view list(dirs);
        while (!list.empty()) {
            std::size_t colon = list.find(':');
            std::string_view entry = list.substr(0, colon);
            if (!entry.empty() && entry[0] == '/') return fs::path(entry);
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
    }
    return "/etc/xdg";
}

// 0, or the errno of the failed write.
int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
}

long MakeFolders(const fs::path& folder, mode_t mode) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        struct stat st;
        if (::stat(partial.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return StatusFromErrno(ENOTDIR);
            continue;
        }
        if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return StatusFromErrno(errno);
    }
    return kRegOk;
}

// The file a write really replaces: the target of a symbolic link.
fs::path ResolveLink(const fs::path& file) {
    struct stat st;
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
    std::error_code ec;
    fs::path target = fs::canonical(file, ec);
    return ec ? file : target;
}

}  // namespace

fs::path HivePath(RootKey root) {
    if (root == RootKey::LocalMachine) return FirstConfigDir() / "velmora" / "machine.reg";
    std::string config = AbsoluteEnv("XDG_CONFIG_HOME");
    if (config.empty()) {
        std::string home = HomeFolder();
        if (home.empty()) return {};
        config = home + "/.config";
    }
    return fs::path(config) / "velmora" / "user.reg";
}

long StatusFromErrno(int error) {
    switch (error) {
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
    std::string reason;
    auto failed = [&](long status, std::string text) {
        if (why) *why = std::move(text);
        return status;
    };
    auto unreadable = [&](int error) {
        return failed(StatusFromErrno(error),
                      std::string("cannot be read (") + std::strerror(error) + ")");
    };
    // Non-blocking open so that a FIFO in the hive's place cannot hang us.
    int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        int error = errno;
        return error == ENOENT || error == ENOTDIR ? kRegNotFound : unreadable(error);
    }
    struct stat st;
    long status = kRegOk;
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        status = kRegAccessDenied;
        reason = "is a folder, not a file";
    } else if (!S_ISREG(st.st_mode)) {
        status = kRegIoFailed;
        reason = "is not a regular file";
    } else if (st.st_size > kMaxHiveBytes) {
        status = kRegIoFailed;
        reason = "is larger than 64 MiB";
    }
    std::string data;
    if (status == kRegOk && !error) data.reserve(static_cast<std::size_t>(st.st_size));
    char buffer[65536];
    while (status == kRegOk && !error) {
        ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) error = errno;
        if (n <= 0) break;
        data.append(buffer, static_cast<std::size_t>(n));
        if (data.size() > static_cast<std::size_t>(kMaxHiveBytes)) {
            status = kRegIoFailed;
            reason = "is larger than 64 MiB";
        }
    }
    ::close(fd);
    if (error) return unreadable(error);
    if (status != kRegOk) return failed(status, std::move(reason));
    bytes = std::move(data);
    return kRegOk;
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

bool CanReplaceFile(const fs::path& file) {
    fs::path target = ResolveLink(file);
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    fs::path folder = target.parent_path();
    while (::stat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT || !folder.has_relative_path()) return false;
        folder = folder.parent_path();
    }
    return S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

long ReplaceFileAtomically(const fs::path& file, std::string_view bytes, mode_t fileMode,
                           bool forceMode, mode_t folderMode) {
    const fs::path target = ResolveLink(file);
    const fs::path folder = target.parent_path();
    if (long status = MakeFolders(folder, folderMode); status != kRegOk) return status;

    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    const mode_t mode = exists && !forceMode ? (existing.st_mode & 07777) : fileMode;

    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return StatusFromErrno(errno);

    int error = 0;
    if (::fchmod(fd, mode) != 0) error = errno;
    // The owner stays who it was (an administrator editing a user's hive); only a
    // privileged process can do that, anyone else simply becomes the owner.
    if (!error && exists && ::fchown(fd, existing.st_uid, existing.st_gid) != 0 && errno != EPERM)
        error = errno;
    if (!error) error = WriteAll(fd, bytes);
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
    if (error) {
        ::unlink(temp.c_str());
        return StatusFromErrno(error);
    }
    // The rename itself reaches the disk with the folder's entry.
    int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return kRegOk;
}

}  // namespace velmora
