#include "demo_profile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>
#include <system_error>

#include "core/settings/hive_file.h"
#include "core/settings/settings.h"

namespace velmora::demo {
namespace {

constexpr const char* kMachineKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0";
constexpr const char* kUserKey = "HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0";

// Mode 0600: the user hive may hold a client password.
bool WriteWhole(const std::filesystem::path& file, const std::string& bytes, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool ok = fd >= 0;
    std::string_view rest(bytes);
    while (ok && !rest.empty()) {
        ssize_t written = ::write(fd, rest.data(), rest.size());
        if (written < 0 && errno == EINTR) continue;
        ok = written > 0;
        if (ok) rest.remove_prefix(static_cast<std::size_t>(written));
    }
    if (fd >= 0 && ::close(fd) != 0) ok = false;
    if (!ok) error = "cannot write " + file.string() + ": " + std::strerror(errno);
    return ok;
}

}  // namespace

std::string DemoMachineHive(const DemoService& service, const DemoProfile& profile) {
    HiveDocument hive;
    hive.SetString(kMachineKey, settings::kServer1, service.ChannelUrl());
    hive.SetString(kMachineKey, settings::kServer3, service.AccountUrl());
    hive.SetString(kMachineKey, settings::kCompany, profile.company);
    hive.SetString(kMachineKey, settings::kChannel, "1");
    hive.SetDword(kMachineKey, settings::kTimeout, profile.timeoutSeconds);
    hive.SetString(kMachineKey, settings::kMypageUrl, service.BaseUrl() + "/mypage.html");
    hive.SetString(kMachineKey, settings::kHelpUrl, service.BaseUrl() + "/help.html");
    hive.SetString(kMachineKey, settings::kTroubleUrl, service.BaseUrl() + "/trouble.html");
    return hive.Serialize();
}

std::string DemoUserHive(const DemoProfile& profile) {
    HiveDocument hive;
    hive.SetString(kUserKey, settings::kGroupId, profile.groupId);
    hive.SetString(kUserKey, settings::kGroupPassword, profile.groupPassword);
    hive.SetDword(kUserKey, settings::kReread, profile.rereadMinutes);
    if (!profile.client.id.empty()) {
        hive.SetString(kUserKey, settings::kClientId, profile.client.id);
        hive.SetString(kUserKey, settings::kClientPassword, profile.client.password);
    }
    return hive.Serialize();
}

bool WriteDemoProfile(const DemoService& service, const DemoProfile& profile,
                      const std::filesystem::path& configHome,
                      const std::filesystem::path& configDir, std::string& error) {
    return WriteWhole(configDir / "velmora" / "machine.reg", DemoMachineHive(service, profile),
                      error) &&
           WriteWhole(configHome / "velmora" / "user.reg", DemoUserHive(profile), error);
}

}  // namespace velmora::demo
