#pragma once
// Whole-file reads and writes for the settings hives, the item store and the
// download work file. Failures are std::errc values (generic category) on
// every platform; DescribeFileError says one in words, naming the file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>
#include <system_error>

namespace velmora::platform {

inline constexpr std::size_t kNoSizeLimit = std::numeric_limits<std::size_t>::max();

// Reads the whole of a regular file into `bytes` (left untouched on failure).
// Besides the failure of the system call it gives is_a_directory for a folder,
// no_such_device for anything else that is not a regular file (a FIFO cannot
// hang the read), and file_too_large when the file holds more than `maxBytes`.
std::error_code ReadWholeFile(const std::filesystem::path& file, std::size_t maxBytes,
                              std::string& bytes);

// Creates or truncates `file` (for this user only when new) and writes `bytes`.
std::error_code WriteWholeFile(const std::filesystem::path& file, std::string_view bytes);

// True when this process could create or replace `file`: its folder, or the
// nearest existing ancestor of it, is writable.
bool CanReplaceFile(const std::filesystem::path& file);

// Who may read a file that ReplaceFileAtomically writes, and the folders it
// creates for it. Where the system has no permission bits (Windows) the file
// takes those of its folder.
enum class FileAccess {
    Private,        // a new file is this user's alone; an existing one keeps its permissions
    AlwaysPrivate,  // this user's alone, whatever it was (it holds a password)
    Public,         // a new file is readable by everyone; an existing one keeps its permissions
};

// Replaces `file` with `bytes` atomically: a temporary file ".NAME.XXXXXX" in
// the same folder is written, flushed to disk and renamed over it, and removed
// again on every failure, so the old file is never damaged. Missing folders
// are created. A symbolic link is followed, so the file it points to is
// replaced. On Windows the replace succeeds while another program holds the
// old file open for reading.
std::error_code ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                                      FileAccess access);

// Removes `file` when it is a regular file of this user's (never through a
// link); true when it went, with its size in `size`.
bool RemoveOwnFile(const std::filesystem::path& file, std::uintmax_t& size);

// "FILE: is a folder, not a file", "FILE: cannot be read (Permission denied)".
std::string DescribeFileError(const std::filesystem::path& file, std::error_code error);

// A path for messages: UTF-8 on Windows, the locale's bytes elsewhere.
std::string PathText(const std::filesystem::path& file);

}  // namespace velmora::platform
