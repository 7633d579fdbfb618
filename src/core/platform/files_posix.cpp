#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <system_error>

#include "core/platform/files.h"

namespace velmora::platform {
namespace {

namespace fs = std::filesystem;

std::error_code Errno(int error) {
    return error ? std::error_code(error, std::generic_category()) : std::error_code();
}

int MakeFolders(const fs::path& folder, mode_t mode) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        struct stat st;
        if (::stat(partial.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) return ENOTDIR;
            continue;
        }
        if (::mkdir(partial.c_str(), mode) != 0 && errno != EEXIST) return errno;
    }
    return 0;
}

int WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return errno;
        if (n == 0) return EIO;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return 0;
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

std::error_code ReadWholeFile(const fs::path& file, std::size_t maxBytes, std::string& bytes) {
    // Non-blocking open so that a FIFO in the file's place cannot hang us.
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return Errno(errno);
    struct stat st;
    int error = 0;
    if (::fstat(fd, &st) != 0) {
        error = errno;
    } else if (S_ISDIR(st.st_mode)) {
        error = EISDIR;
    } else if (!S_ISREG(st.st_mode)) {
        error = ENODEV;
    } else if (static_cast<std::uintmax_t>(st.st_size) > maxBytes) {
        error = EFBIG;
    }
    std::string data;
    // One spare byte, so that the read which meets the end of an unchanged
    // file does not first grow (and copy) the whole text.
    if (!error) data.resize(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t filled = 0;
    while (!error) {
        if (filled == data.size()) data.resize(filled + std::max<std::size_t>(filled / 2, 65536));
        const ssize_t n = ::read(fd, data.data() + filled, data.size() - filled);
        if (n == 0) break;
        if (n < 0) {
            if (errno != EINTR) error = errno;
            continue;
        }
        filled += static_cast<std::size_t>(n);
        if (filled > maxBytes) error = EFBIG;  // it grew while we read
    }
    ::close(fd);
    if (error) return Errno(error);
    data.resize(filled);
    bytes = std::move(data);
    return {};
}

std::error_code WriteWholeFile(const fs::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return Errno(errno);
    int error = WriteAll(fd, bytes);
    if (::close(fd) != 0 && error == 0) error = errno;
    return Errno(error);
}

bool CanReplaceFile(const fs::path& file) {
    const fs::path target = ResolveLink(file);
    struct stat st;
    if (::stat(target.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return false;
    fs::path folder = target.parent_path();
    while (::stat(folder.c_str(), &st) != 0) {
        if (errno != ENOENT || !folder.has_relative_path()) return false;
        folder = folder.parent_path();
    }
    return S_ISDIR(st.st_mode) && ::access(folder.c_str(), W_OK | X_OK) == 0;
}

std::error_code ReplaceFileAtomically(const fs::path& file, std::string_view bytes,
                                      FileAccess access) {
    const bool isPublic = access == FileAccess::Public;
    const mode_t fileMode = isPublic ? 0644 : 0600;
    const mode_t folderMode = isPublic ? 0755 : 0700;
    const bool forceMode = access == FileAccess::AlwaysPrivate;
    const fs::path target = ResolveLink(file);
    const fs::path folder = target.parent_path();
    if (const int error = MakeFolders(folder, folderMode); error != 0) return Errno(error);

    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    const mode_t mode = exists && !forceMode ? (existing.st_mode & 07777) : fileMode;

    std::string temp = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return Errno(errno);

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
        return Errno(error);
    }
    // The rename itself reaches the disk with the folder's entry.
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return {};
}

bool RemoveOwnFile(const fs::path& file, std::uintmax_t& size) {
    struct stat st {};
    // Never through a link, never another user's file.
    if (::lstat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid())
        return false;
    if (::unlink(file.c_str()) != 0) return false;
    size = static_cast<std::uintmax_t>(st.st_size);
    return true;
}

}  // namespace velmora::platform
