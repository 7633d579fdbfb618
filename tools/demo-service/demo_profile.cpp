#include "demo_profile.h"

#include <system_error>

#include "core/platform/files.h"
#include "core/settings/hive_file.h"
#include "core/settings/settings.h"

namespace velmora::demo {
namespace {

constexpr const char* kMachineKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0";
constexpr const char* kUserKey = "HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0";

// A new file is this user's alone: the user hive may hold a client password.
bool WriteWhole(const std::filesystem::path& file, const std::string& bytes, std::string& error) {
    std::error_code ec;
    std::filesystem::create_directories(file.parent_path(), ec);
    ec = platform::WriteWholeFile(file, bytes);
    if (ec) error = platform::DescribeFileError(file, ec);
    return !ec;
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
