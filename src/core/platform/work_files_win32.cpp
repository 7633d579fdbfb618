#include <windows.h>

#include <cctype>

#include "core/platform/win32_error.h"
#include "core/platform/work_files.h"
#include "core/text/ascii.h"

namespace velmora::platform {

std::filesystem::path WorkFileFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return {};
    return std::filesystem::path(folder);
}

std::filesystem::path CreateWorkFile(std::error_code& error) {
    const std::filesystem::path folder = WorkFileFolder();
    if (folder.empty()) {
        error = LastWin32Error();
        return {};
    }
    // The system picks a number not yet taken and creates the file empty.
    wchar_t name[MAX_PATH];
    if (GetTempFileNameW(folder.c_str(), L"LUM", 0, name) == 0) {
        const DWORD failure = GetLastError();
        // A folder that is not there comes back as "the directory name is invalid".
        error = failure == ERROR_DIRECTORY &&
                        GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES
                    ? std::make_error_code(std::errc::no_such_file_or_directory)
                    : FromWin32Error(failure);
        return {};
    }
    error.clear();
    return std::filesystem::path(name);
}

bool IsWorkFileName(std::string_view name) {
    // "LUM", one to four hexadecimal digits, ".tmp" in either case.
    if (name.size() < 8 || name.size() > 11 || name.substr(0, 3) != "LUM" ||
        !text::EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".tmp"))
        return false;
    for (std::size_t i = 3; i + 4 < name.size(); ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

void RemoveWorkFile(const std::filesystem::path& file) {
    DeleteFileW(file.c_str());
}

}  // namespace velmora::platform
