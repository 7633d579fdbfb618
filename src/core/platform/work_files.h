#pragma once
// The download work files: one new, empty file per fetch in the user's
// temporary folder, named "LUM" + a hexadecimal number + ".tmp", and deleted
// when the fetch ends.

#include <filesystem>
#include <string_view>
#include <system_error>

namespace velmora::platform {

// The folder of the work files: $TMPDIR or /tmp; GetTempPathW on Windows.
std::filesystem::path WorkFileFolder();

// Creates a new, empty work file for this user alone: LUM<8 hex digits>.tmp
// here, GetTempFileNameW's LUM<up to 4 hex digits>.tmp on Windows. On failure
// gives an empty path and sets `error`.
std::filesystem::path CreateWorkFile(std::error_code& error);

// True for a name CreateWorkFile makes on this platform: what an interrupted
// run may have left behind.
bool IsWorkFileName(std::string_view name);

// Removes a work file; quiet when it is already gone.
void RemoveWorkFile(const std::filesystem::path& file);

}  // namespace velmora::platform
