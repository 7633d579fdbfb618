#include "core/platform/data_paths.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>

namespace velmora {

std::string InstanceNameFromPath(std::string_view executablePath) {
    const std::filesystem::path path{std::string(executablePath)};
    std::string name = path.filename().string();
    const auto dot = name.rfind('.');
    // A leading dot is part of the name, not an extension.
    if (dot != std::string::npos && dot > 0) name.erase(dot);
    return name;
}

namespace {

std::filesystem::path HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return {};
}

}  // namespace

std::filesystem::path UserDataHome() {
    if (const char* env = std::getenv("XDG_DATA_HOME"); env && *env) {
        std::filesystem::path p(env);
        if (p.is_absolute()) return p;
    }
    const std::filesystem::path home = HomeFolder();
    if (home.empty()) return {};
    return home / ".local" / "share";
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

}  // namespace velmora
