#include "core/platform/data_paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <system_error>
#include <vector>

#include "core/platform/xdg_folders.h"

namespace velmora {

std::string InstanceNameFromPath(std::string_view executablePath) {
    const std::filesystem::path path{std::string(executablePath)};
    std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    // A leading dot is part of the name, not an extension.
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

std::filesystem::path UserDataHome() {
    return platform::DataHome();
}

std::filesystem::path PrepareDataFolder() {
    const std::filesystem::path dataHome = UserDataHome();
    if (dataHome.empty()) return {};
    std::error_code ec;
    std::filesystem::create_directories(dataHome, ec);
    const std::filesystem::path folder = dataHome / kDataFolderName;
    std::filesystem::create_directory(folder, ec);
    return folder;
}

namespace {

bool IsStoreTemporary(const std::string& name, const std::string& storeName) {
    const std::string prefix = "." + storeName + ".";
    // mkstemp's six characters.
    return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

bool IsWorkFile(const std::string& name) {
    if (name.size() != 15 || name.compare(0, 3, "LUM") != 0 || name.compare(11, 4, ".tmp") != 0)
        return false;
    for (std::size_t i = 3; i < 11; ++i) {
        if (!std::isxdigit(static_cast<unsigned char>(name[i]))) return false;
    }
    return true;
}

template <typename Match>
void RemoveMatching(const std::filesystem::path& folder, Match match, Leftovers& removed) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (!match(path.filename().string())) continue;
        struct stat st {};
        // Never through a link, never another user's file.
        if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid())
            continue;
        if (::unlink(path.c_str()) == 0) {
            ++removed.files;
            removed.bytes += static_cast<std::uintmax_t>(st.st_size);
        }
    }
}

}  // namespace

Leftovers RemoveLeftovers(const std::filesystem::path& storeFile,
                          const std::filesystem::path& workFolder) {
    Leftovers removed;
    std::vector<std::filesystem::path> stores{storeFile};
    std::error_code ec;
    // A save through a link writes its temporary beside the target.
    if (std::filesystem::is_symlink(storeFile, ec)) {
        const std::filesystem::path target = std::filesystem::canonical(storeFile, ec);
        if (!ec) stores.push_back(target);
    }
    for (const std::filesystem::path& store : stores) {
        const std::string name = store.filename().string();
        RemoveMatching(
            store.parent_path(), [&](const std::string& n) { return IsStoreTemporary(n, name); },
            removed);
    }
    if (!workFolder.empty()) RemoveMatching(workFolder, IsWorkFile, removed);
    return removed;
}

std::filesystem::path WorkFileFolder() {
    return platform::TempFolder();
}

}  // namespace velmora
