#pragma once
// Windows error numbers as the std::errc values the core's interfaces speak.
// Included only by the _win32 twins.

#include <windows.h>

#include <system_error>

namespace velmora::platform {

inline std::error_code FromWin32Error(DWORD error) {
    using std::errc;
    switch (error) {
        case ERROR_SUCCESS:
            return {};
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
            return std::make_error_code(errc::no_such_file_or_directory);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return std::make_error_code(errc::permission_denied);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return std::make_error_code(errc::no_space_on_device);
        case ERROR_FILENAME_EXCED_RANGE:
            return std::make_error_code(errc::filename_too_long);
        case ERROR_INVALID_NAME:
        case ERROR_INVALID_PARAMETER:
            return std::make_error_code(errc::invalid_argument);
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return std::make_error_code(errc::file_exists);
        case ERROR_DIRECTORY:
            return std::make_error_code(errc::not_a_directory);
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return std::make_error_code(errc::not_enough_memory);
        default:
            return std::make_error_code(errc::io_error);
    }
}

inline std::error_code LastWin32Error() {
    return FromWin32Error(GetLastError());
}

}  // namespace velmora::platform
