#include "core/platform/xdg_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>
#include <vector>

namespace velmora::platform {
namespace {

namespace fs = std::filesystem;

fs::path AbsoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? fs::path(value) : fs::path();
}

}  // namespace

fs::path HomeFolder() {
    if (fs::path home = AbsoluteEnv("HOME"); !home.empty()) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return found->pw_dir;
    return {};
}

fs::path ConfigHome() {
    if (fs::path config = AbsoluteEnv("XDG_CONFIG_HOME"); !config.empty()) return config;
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / ".config";
}

fs::path FirstConfigDir() {
    if (const char* dirs = std::getenv("XDG_CONFIG_DIRS")) {
        std::string_view list(dirs);
        while (!list.empty()) {
            const std::size_t colon = list.find(':');
            const std::string_view entry = list.substr(0, colon);
            if (!entry.empty() && entry[0] == '/') return fs::path(entry);
            if (colon == std::string_view::npos) break;
            list.remove_prefix(colon + 1);
        }
    }
    return "/etc/xdg";
}

fs::path DataHome() {
    if (fs::path data = AbsoluteEnv("XDG_DATA_HOME"); !data.empty()) return data;
    const fs::path home = HomeFolder();
    return home.empty() ? fs::path() : home / ".local" / "share";
}

fs::path TempFolder() {
    const char* dir = std::getenv("TMPDIR");
    return dir && *dir ? fs::path(dir) : fs::path("/tmp");
}

}  // namespace velmora::platform
