#pragma once
// Whole-file reads and writes for the settings hives, the item store and the
// download work file. Every function returns 0 or an errno value: the callers
// turn it into their own statuses and messages.

#include <sys/types.h>

#include <cstddef>
#include <filesystem>
#include <limits>
#include <string>
#include <string_view>

namespace velmora::platform {

inline constexpr std::size_t kNoSizeLimit = std::numeric_limits<std::size_t>::max();

// Reads the whole of a regular file into `bytes` (left untouched on failure).
// Besides the errno of a failed call it gives EISDIR for a folder, ENODEV for
// anything else that is not a regular file (a FIFO cannot hang the read), and
// EFBIG when the file holds more than `maxBytes`.
int ReadWholeFile(const std::filesystem::path& file, std::size_t maxBytes, std::string& bytes);

// Writes all of `bytes` to `fd`, retrying short and interrupted writes.
int WriteAll(int fd, std::string_view bytes);

// Creates or truncates `file` (mode 0600 when new) and writes `bytes` to it.
int WriteWholeFile(const std::filesystem::path& file, std::string_view bytes);

// The file a write really replaces: the target of a symbolic link.
std::filesystem::path ResolveLink(const std::filesystem::path& file);

// True when this process could create or replace `file`: its folder, or the
// nearest existing ancestor of it, is writable.
bool CanReplaceFile(const std::filesystem::path& file);

// Replaces `file` with `bytes` atomically: a temporary file ".NAME.XXXXXX" in
// the same folder is written, flushed to disk and renamed over it, and removed
// again on every failure, so the old file is never damaged. Missing folders
// are created with `folderMode`. A new file gets `fileMode`; an existing one
// keeps its permissions and owner unless `forceMode`. A symbolic link is
// followed, so the file it points to is replaced.
int ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes,
                          mode_t fileMode, bool forceMode, mode_t folderMode);

}  // namespace velmora::platform
