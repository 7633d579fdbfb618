// CRegistryKey on the real registry: the semantics the hive files have on Linux.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/settings/registry.h"
#include "core/settings/scratch_registry_win32.h"
#include "core/settings/settings.h"
#include "support/registry_sandbox_win32.h"

namespace velmora {
namespace {

using Registry = test_support::RegistrySandbox;

TEST_F(Registry, MachineValuesAreReadAndCopiedToTheUserWhoAloneIsWritten) {
    PutText(HKEY_LOCAL_MACHINE, L"Channel", L"12");
    std::string channel = "default";
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel),
              kRegOk);
    EXPECT_EQ(channel, "12");
    std::wstring copied;
    EXPECT_EQ(Get(HKEY_CURRENT_USER, L"Channel", &copied), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(copied, L"12");

    // Absent in both: the default is copied, as a DWORD.
    std::uint32_t colour = 0xFFFFFF;
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineDword(kSettingsKey, "ReadTextColor", colour), kRegOk);
    EXPECT_EQ(Get(HKEY_CURRENT_USER, L"ReadTextColor"), static_cast<DWORD>(REG_DWORD));

    // The program never writes the installation's values.
    EXPECT_NE(CRegistryKey::WriteDword(RootKey::LocalMachine, kSettingsKey, "Reread", 5), kRegOk);
    EXPECT_EQ(Get(HKEY_LOCAL_MACHINE, L"Reread"), static_cast<DWORD>(REG_NONE));
}

TEST_F(Registry, TextsAreCp932WithTheLimitOnTheirCp932Form) {
    // 99 characters of two CP932 bytes each: 198 bytes, one wide character each.
    const std::wstring fits(99, L'\x3042');
    const std::wstring tooLong = fits + L"a";  // 199 bytes + terminator = 200
    PutText(HKEY_CURRENT_USER, L"Title", fits);
    PutText(HKEY_CURRENT_USER, L"Long", tooLong + L"b");
    std::string title, longer = "unchanged";
    EXPECT_EQ(CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, "Title", title), kRegOk);
    EXPECT_EQ(title.size(), 198u);
    EXPECT_EQ(title.substr(0, 2), "\x82\xA0");
    EXPECT_NE(CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, "Long", longer), kRegOk);
    EXPECT_EQ(longer, "unchanged");

    // A CP932 text goes in as the same characters in UTF-16.
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, settings::kDeliveryNo, "\x82\xA0z"),
              kRegOk);
    std::wstring stored;
    EXPECT_EQ(Get(HKEY_CURRENT_USER, L"DeliveryNo", &stored), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored, L"\x3042z");
}

TEST_F(Registry, WrongTypedAndDamagedValuesReadAsAbsentAndDamageIsNamed) {
    PutText(HKEY_CURRENT_USER, L"Reread", L"120 minutes");
    const DWORD sixty = 60;
    Put(HKEY_CURRENT_USER, L"Title", REG_DWORD, &sixty, sizeof sixty);
    Put(HKEY_CURRENT_USER, L"popup", REG_DWORD, "\x01\x00\x00", 3);
    Put(HKEY_CURRENT_USER, L"GroupID", REG_SZ, "abc", 3);

    std::uint32_t reread = 60, popup = 1;
    std::string title = "default", group = "none";
    testing::internal::CaptureStderr();
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, "Reread", reread),
              kRegNotFound);
    EXPECT_EQ(CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, "Title", title),
              kRegNotFound);
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, "popup", popup),
              kRegNotFound);
    EXPECT_EQ(CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, "GroupID", group),
              kRegNotFound);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(reread, 60u);
    EXPECT_EQ(popup, 1u);
    EXPECT_EQ(title, "default");
    EXPECT_EQ(group, "none");
    EXPECT_THAT(said,
                testing::HasSubstr("HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0\\popup"));
    EXPECT_THAT(said, testing::HasSubstr("1.0\\GroupID"));
    EXPECT_THAT(said, testing::Not(testing::HasSubstr("Reread")));  // a wrong type is no damage
}

// The demo's profile: one scratch key stands for both roots, and neither the
// user's nor the machine's real values are read or written meanwhile.
TEST_F(Registry, AScratchKeyStandsForBothRootsAndTheRealOnesStayUntouched) {
    PutText(HKEY_LOCAL_MACHINE, L"Channel", L"real");
    PutText(HKEY_CURRENT_USER, L"GroupID", L"real");
    const std::wstring scratch = L"Software\\ScratchRoots";
    const std::wstring machine = ScratchSettingsKey(scratch, RootKey::LocalMachine);
    const std::wstring user = ScratchSettingsKey(scratch, RootKey::CurrentUser);
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, machine.c_str(), L"Channel", REG_SZ, L"7",
                              2 * sizeof(wchar_t)),
              ERROR_SUCCESS);

    struct Reset {
        ~Reset() { UseScratchSettingsRoots(L""); }
    } reset;
    UseScratchSettingsRoots(scratch);
    std::string channel = "default", group = "none";
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel),
              kRegOk);
    EXPECT_EQ(CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, "GroupID", group),
              kRegNotFound);
    EXPECT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "GroupID", "demo"), kRegOk);
    EXPECT_THAT(SettingsLocation(RootKey::LocalMachine), testing::HasSubstr("ScratchRoots"));
    UseScratchSettingsRoots(L"");

    EXPECT_EQ(channel, "7");
    EXPECT_EQ(group, "none");
    wchar_t copied[16] = {};
    DWORD size = sizeof copied;
    EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, user.c_str(), L"Channel", RRF_RT_REG_SZ, nullptr,
                           copied, &size),
              ERROR_SUCCESS);
    EXPECT_STREQ(copied, L"7");
    std::wstring real;
    EXPECT_EQ(Get(HKEY_CURRENT_USER, L"GroupID", &real), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(real, L"real");
    EXPECT_EQ(Get(HKEY_CURRENT_USER, L"Channel"), static_cast<DWORD>(REG_NONE));
    Get(HKEY_LOCAL_MACHINE, L"Channel", &real);
    EXPECT_EQ(real, L"real");
    RegDeleteTreeW(HKEY_CURRENT_USER, scratch.c_str());
}

}  // namespace
}  // namespace velmora
