#pragma once
// Where the program keeps its per-user data, and the name it runs under.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace velmora {

inline constexpr const char* kDataFolderName = "VELMORA";     // string 110
inline constexpr const char* kItemStoreName = "VELMORA.dat";  // string 111

// The instance name: the executable's file name without folder and extension.
std::string InstanceNameFromPath(std::string_view executablePath);

// The user's application-data folder: $XDG_DATA_HOME when it is an absolute
// path, otherwise $HOME/.local/share; the roaming application data on Windows.
// Empty when none can be found.
std::filesystem::path UserDataHome();

// The data folder VELMORA in the application-data folder, created when
// missing (the application-data folder with it). Failures are not reported: the item store reads
// then find nothing and its writes fail.
std::filesystem::path PrepareDataFolder();

// The item store file inside a data folder.
inline std::filesystem::path ItemStorePath(const std::filesystem::path& dataFolder) {
    return dataFolder / kItemStoreName;
}

// What RemoveLeftovers removed.
struct Leftovers {
    int files = 0;
    std::uintmax_t bytes = 0;
};

// Removes what interrupted runs of this single-instance program left: the
// store's save temporaries (".VELMORA.dat.XXXXXX") beside `storeFile` (and
// beside the file it links to), and download work files ("LUM" + 8 hex digits
// + ".tmp", see work_files.h) in `workFolder`. Only regular files owned by
// this user go.
Leftovers RemoveLeftovers(const std::filesystem::path& storeFile,
                          const std::filesystem::path& workFolder);

// The folder of the download work files: $TMPDIR, or /tmp; GetTempPathW on Windows.
std::filesystem::path WorkFileFolder();

}  // namespace velmora
