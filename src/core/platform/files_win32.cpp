#include <windows.h>

#include <algorithm>
#include <random>

#include "core/platform/files.h"
#include "core/platform/win32_error.h"

namespace velmora::platform {
namespace {

namespace fs = std::filesystem;

class Handle {
  public:
    explicit Handle(HANDLE h) : h_(h) {}
    ~Handle() {
        if (valid()) CloseHandle(h_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    void Reset(HANDLE h) {
        if (valid()) CloseHandle(h_);
        h_ = h;
    }
    // Closes now; false when closing failed.
    bool Close() {
        const bool closed = CloseHandle(h_) != 0;
        h_ = INVALID_HANDLE_VALUE;
        return closed;
    }

  private:
    HANDLE h_;
};

bool IsFolder(const fs::path& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The last error of a failed open; a folder is refused as access denied, which
// would hide what really is wrong.
std::error_code OpenFailure(const fs::path& path) {
    const DWORD error = GetLastError();
    if (error == ERROR_ACCESS_DENIED && IsFolder(path))
        return std::make_error_code(std::errc::is_a_directory);
    return FromWin32Error(error);
}

std::error_code WriteAll(HANDLE file, std::string_view bytes) {
    while (!bytes.empty()) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 30));
        DWORD written = 0;
        if (!WriteFile(file, bytes.data(), chunk, &written, nullptr)) return LastWin32Error();
        if (written == 0) return std::make_error_code(std::errc::io_error);
        bytes.remove_prefix(written);
    }
    return {};
}

std::error_code MakeFolders(const fs::path& folder) {
    fs::path partial;
    for (const fs::path& part : folder) {
        partial /= part;
        if (!partial.has_relative_path()) continue;  // the drive or share itself
        const DWORD attributes = GetFileAttributesW(partial.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES) {
            if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
                return std::make_error_code(std::errc::not_a_directory);
            continue;
        }
        if (!CreateDirectoryW(partial.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return LastWin32Error();
    }
    return {};
}

// Puts `temp` in the place of `file` that readers allowing deletion hold open.
// ReplaceFileW's one failure that leaves the old file gone and the new one
// under its temporary name is mended by the move, which then meets no reader.
bool ReplaceOpenFile(const fs::path& temp, const fs::path& file) {
    // Only then: a refused ReplaceFileW (on Wine) leaves a temporary of its own.
    if (!Handle(CreateFileW(file.c_str(), DELETE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr))
             .valid())
        return false;
    if (ReplaceFileW(file.c_str(), temp.c_str(), nullptr,
                     REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                     nullptr))
        return true;
    return GetLastError() == ERROR_UNABLE_TO_MOVE_REPLACEMENT &&
           MoveFileExW(temp.c_str(), file.c_str(), MOVEFILE_WRITE_THROUGH);
}

}  // namespace

std::error_code ReadWholeFile(const fs::path& file, std::size_t maxBytes, std::string& bytes) {
    // Others may go on reading, writing and replacing the file meanwhile.
    Handle h(CreateFileW(file.c_str(), GENERIC_READ,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return OpenFailure(file);
    // A pipe or a device in the file's place cannot hang the read.
    if (GetFileType(h.get()) != FILE_TYPE_DISK)
        return std::make_error_code(std::errc::no_such_device);
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(h.get(), &size)) return LastWin32Error();
    if (static_cast<std::uintmax_t>(size.QuadPart) > maxBytes)
        return std::make_error_code(std::errc::file_too_large);

    std::string data(static_cast<std::size_t>(size.QuadPart) + 1, '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == data.size()) data.resize(filled + std::max<std::size_t>(filled / 2, 65536));
        const DWORD room =
            static_cast<DWORD>(std::min<std::size_t>(data.size() - filled, 1u << 30));
        DWORD n = 0;
        if (!ReadFile(h.get(), data.data() + filled, room, &n, nullptr)) return LastWin32Error();
        if (n == 0) break;
        filled += n;
        if (filled > maxBytes) return std::make_error_code(std::errc::file_too_large);
    }
    data.resize(filled);
    bytes = std::move(data);
    return {};
}

std::error_code WriteWholeFile(const fs::path& file, std::string_view bytes) {
    Handle h(CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return OpenFailure(file);
    std::error_code error = WriteAll(h.get(), bytes);
    if (!h.Close() && !error) error = LastWin32Error();
    return error;
}

bool CanReplaceFile(const fs::path& file) {
    if (IsFolder(file)) return false;
    fs::path folder = file.parent_path();
    while (GetFileAttributesW(folder.c_str()) == INVALID_FILE_ATTRIBUTES) {
        if (!folder.has_relative_path()) return false;
        folder = folder.parent_path();
    }
    if (!IsFolder(folder)) return false;
    // Permissions are lists here: a file made and dropped at once is the honest test.
    const fs::path probe =
        folder / (L".velmora-probe-" + std::to_wstring(GetCurrentProcessId()) + L".tmp");
    Handle h(CreateFileW(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    return h.valid();
}

std::error_code ReplaceFileAtomically(const fs::path& file, std::string_view bytes, FileAccess) {
    const fs::path folder = file.parent_path();
    if (std::error_code error = MakeFolders(folder)) return error;
    if (IsFolder(file)) return std::make_error_code(std::errc::is_a_directory);

    thread_local std::mt19937 random{std::random_device{}()};
    static constexpr char kLetters[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    fs::path temp;
    Handle h(INVALID_HANDLE_VALUE);
    for (int attempt = 0; attempt < 100 && !h.valid(); ++attempt) {
        std::wstring name = L"." + file.filename().wstring() + L".";
        for (int i = 0; i < 6; ++i) name += static_cast<wchar_t>(kLetters[random() % 62]);
        temp = folder / name;
        h.Reset(CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!h.valid() && GetLastError() != ERROR_FILE_EXISTS) return OpenFailure(temp);
    }
    if (!h.valid()) return std::make_error_code(std::errc::file_exists);

    std::error_code error = WriteAll(h.get(), bytes);
    if (!error && !FlushFileBuffers(h.get())) error = LastWin32Error();
    if (!h.Close() && !error) error = LastWin32Error();
    // A reader that did not allow deleting (a scanner, an editor) holds the old
    // file for a moment: a few short tries before giving up.
    for (int attempt = 0; !error; ++attempt) {
        if (MoveFileExW(temp.c_str(), file.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return {};
        const DWORD failure = GetLastError();
        // One that allows deleting still stops MoveFileExW on Wine and older
        // Windows; ReplaceFileW swaps the file under it.
        if (failure == ERROR_ACCESS_DENIED && ReplaceOpenFile(temp, file)) return {};
        if (attempt >= 4 || (failure != ERROR_ACCESS_DENIED && failure != ERROR_SHARING_VIOLATION))
            error = FromWin32Error(failure);
        else
            Sleep(20);
    }
    DeleteFileW(temp.c_str());
    return error;
}

bool RemoveOwnFile(const fs::path& file, std::uintmax_t& size) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(file.c_str(), GetFileExInfoStandard, &data)) return false;
    // Never a folder, never through a link; the temporary folder is the user's own.
    if (data.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
        return false;
    if (!DeleteFileW(file.c_str())) return false;
    size = (static_cast<std::uintmax_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

}  // namespace velmora::platform
