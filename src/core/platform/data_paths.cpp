#include "core/platform/data_paths.h"

#include <system_error>
#include <vector>

#include "core/platform/files.h"
#include "core/platform/work_files.h"

namespace velmora {

std::string InstanceNameFromPath(std::string_view executablePath) {
    const std::filesystem::path path{std::string(executablePath)};
    std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    // A leading dot is part of the name, not an extension.
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
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

template <typename Match>
void RemoveMatching(const std::filesystem::path& folder, Match match, Leftovers& removed) {
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        if (!match(platform::PathText(path.filename()))) continue;
        std::uintmax_t size = 0;
        if (platform::RemoveOwnFile(path, size)) {
            ++removed.files;
            removed.bytes += size;
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
        const std::string name = platform::PathText(store.filename());
        RemoveMatching(
            store.parent_path(), [&](const std::string& n) { return IsStoreTemporary(n, name); },
            removed);
    }
    if (!workFolder.empty()) RemoveMatching(workFolder, platform::IsWorkFileName, removed);
    return removed;
}

std::filesystem::path WorkFileFolder() {
    return platform::WorkFileFolder();
}

}  // namespace velmora
