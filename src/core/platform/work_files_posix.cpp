#include <fcntl.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <random>

#include "core/platform/work_files.h"
#include "core/platform/xdg_folders.h"

namespace velmora::platform {

std::filesystem::path WorkFileFolder() {
    return TempFolder();
}

std::filesystem::path CreateWorkFile(std::error_code& error) {
    thread_local std::mt19937 random{std::random_device{}()};
    const std::filesystem::path folder = TempFolder();
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[32];
        std::snprintf(name, sizeof name, "LUM%08X.tmp", static_cast<unsigned>(random()));
        std::filesystem::path path = folder / name;
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            ::close(fd);
            error.clear();
            return path;
        }
        if (errno != EEXIST) {
            error.assign(errno, std::generic_category());
            return {};
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return {};
}

bool IsWorkFileName(std::string_view name) {
    if (name.size() != 15 || name.substr(0, 3) != "LUM" || name.substr(11) != ".tmp") return false;
    for (std::size_t i = 3; i < 11; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

void RemoveWorkFile(const std::filesystem::path& file) {
    ::unlink(file.c_str());
}

}  // namespace velmora::platform
