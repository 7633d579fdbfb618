#include "core/settings/typed_settings.h"

#include "core/settings/registry.h"
#include "core/settings/settings.h"

namespace velmora::settings {
namespace {

std::string ReadMachineString(const char* name, const char* fallback) {
    std::string value;
    if (CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, name, value) != kRegOk) {
        return fallback;
    }
    return value;
}

std::uint32_t ReadUserOrMachineDword(const char* name, std::uint32_t fallback) {
    std::uint32_t value = fallback;
    CRegistryKey::ReadUserOrMachineDword(kSettingsKey, name, value);
    return value;
}

}  // namespace

std::string ReadPageUrl(Page page) {
    switch (page) {
        case Page::MyPage:
            return ReadMachineString(kMypageUrl, kUrlDefault);
        case Page::Trouble:
            return ReadMachineString(kTroubleUrl, kUrlDefault);
        case Page::Help:
            break;
    }
    return ReadMachineString(kHelpUrl, kUrlDefault);
}

std::string ReadTitle() {
    return ReadMachineString(kTitle, kTitleDefault);
}

std::uint32_t ReadPopupMode() {
    std::uint32_t mode = kPopupDefault;
    CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, kPopup, mode);
    return mode;
}

void WritePopupMode(std::uint32_t mode) {
    CRegistryKey::WriteDword(RootKey::CurrentUser, kSettingsKey, kPopup, mode);
}

void WritePollMinutes(std::uint32_t minutes) {
    CRegistryKey::WriteDword(RootKey::CurrentUser, kSettingsKey, kReread, minutes);
}

std::string ReadIconPath(const char* valueName) {
    std::string path;
    if (CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, valueName, path) != kRegOk) {
        path.clear();
    }
    return path;
}

std::uint32_t ReadTextColor() {
    return ReadUserOrMachineDword(kTextColor, kTextColorDefault);
}

std::uint32_t ReadReadTextColor() {
    return ReadUserOrMachineDword(kReadTextColor, kReadTextColorDefault);
}

}  // namespace velmora::settings
