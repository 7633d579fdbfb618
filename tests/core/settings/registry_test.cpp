#include "core/settings/registry.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "core/settings/hive_storage.h"
#include "core/settings/registry_backend.h"
#include "core/settings/settings.h"
#include "core/text/cp932.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

using test_support::HiveSandbox;
using test_support::ReadBytes;
using test_support::WriteBytes;
using ::testing::ElementsAre;
using ::testing::HasSubstr;

using Registry = HiveSandbox;

std::string UserString(const char* name) {
    std::string value = "<absent>";
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, name, value);
    return value;
}

std::uint32_t UserDword(const char* name, std::uint32_t absent = 0xDEADBEEF) {
    CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, name, absent);
    return absent;
}

TEST_F(Registry, HiveLocationsFollowTheEnvironment) {
    EXPECT_EQ(HivePath(RootKey::CurrentUser), UserHive());
    EXPECT_EQ(HivePath(RootKey::LocalMachine), MachineHive());

    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(HivePath(RootKey::CurrentUser), root_ / "home/.config/velmora/user.reg");
    setenv("XDG_CONFIG_HOME", "relative/dir", 1);  // ignored, as relative paths must be
    EXPECT_EQ(HivePath(RootKey::CurrentUser), root_ / "home/.config/velmora/user.reg");

    setenv("XDG_CONFIG_DIRS", ":relative:/first:/second", 1);
    EXPECT_EQ(HivePath(RootKey::LocalMachine), "/first/velmora/machine.reg");
    unsetenv("XDG_CONFIG_DIRS");
    EXPECT_EQ(HivePath(RootKey::LocalMachine), "/etc/xdg/velmora/machine.reg");
}

TEST_F(Registry, MachineOnlyValueIsReadAndCopiedToTheUser) {
    WriteMachineKey("\"Channel\"=\"12\"\n");
    std::string channel = settings::kChannelDefault;
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel),
              kRegOk);
    EXPECT_EQ(channel, "12");
    EXPECT_EQ(UserString(settings::kChannel), "12");

    // Later reads find the per-user copy, whatever happens machine-wide.
    WriteMachineKey("");
    channel = settings::kChannelDefault;
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel),
              kRegOk);
    EXPECT_EQ(channel, "12");
}

TEST_F(Registry, AbsentColoursWriteTheirDefaultsToTheUser) {
    WriteMachineKey("\"Company\"=\"0\"\n");
    std::uint32_t text = settings::kTextColorDefault;
    std::uint32_t readText = settings::kReadTextColorDefault;
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kTextColor, text),
              kRegOk);
    EXPECT_EQ(
        CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kReadTextColor, readText),
        kRegOk);
    EXPECT_EQ(text, 0u);
    EXPECT_EQ(readText, 0xFFFFFFu);
    EXPECT_EQ(UserDword(settings::kTextColor), 0u);
    EXPECT_EQ(UserDword(settings::kReadTextColor), 0xFFFFFFu);
}

TEST_F(Registry, PerUserValueWinsOverTheMachineWideOne) {
    WriteMachineKey("\"ReadTextColor\"=dword:00ff0000\n\"TextColor\"=dword:00000080\n");
    WriteUserKey("\"ReadTextColor\"=dword:00123456\n");
    const std::string userBefore = ReadBytes(UserHive());
    std::uint32_t readText = settings::kReadTextColorDefault;
    EXPECT_EQ(
        CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kReadTextColor, readText),
        kRegOk);
    EXPECT_EQ(readText, 0x123456u);
    EXPECT_EQ(ReadBytes(UserHive()), userBefore);  // nothing copied

    std::uint32_t text = settings::kTextColorDefault;
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kTextColor, text),
              kRegOk);
    EXPECT_EQ(text, 0x80u);
    EXPECT_EQ(UserDword(settings::kReadTextColor), 0x123456u);
}

TEST_F(Registry, ServerListsAlwaysHoldTwoEntries) {
    EXPECT_THAT(ChannelServerList(), ElementsAre("", ""));  // no machine hive at all
    WriteMachineKey("\"server1\"=\"http://a/rss\"\n\"server4\"=\"http://d/\"\n");
    EXPECT_THAT(ChannelServerList(), ElementsAre("http://a/rss", ""));
    EXPECT_THAT(AccountServerList(), ElementsAre("", "http://d/"));
    WriteMachineKey("\"server1\"=dword:00000001\n\"server2\"=\"http://b/\"\n");
    EXPECT_THAT(ChannelServerList(), ElementsAre("", "http://b/"));
    // Per-user values are no server addresses.
    WriteUserKey("\"server3\"=\"http://user/\"\n");
    EXPECT_THAT(AccountServerList(), ElementsAre("", ""));
}

TEST_F(Registry, RereadStoredAsTextGivesTheDefault) {
    WriteUserKey("\"Reread\"=\"120 minutes\"\n\"popup\"=hex(4):00,00\n");
    std::uint32_t reread = settings::kRereadDefault;
    EXPECT_EQ(
        CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, settings::kReread, reread),
        kRegNotFound);
    EXPECT_EQ(reread, 60u);
    std::uint32_t popup = settings::kPopupDefault;
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, settings::kPopup, popup),
              kRegNotFound);
    EXPECT_EQ(popup, 1u);
}

TEST_F(Registry, TitleOf199Cp932BytesIsReadButNot200) {
    const std::string a = "\xE3\x81\x82";  // あ: 3 bytes in UTF-8, 2 in CP932
    std::string fits, tooLong;
    for (int i = 0; i < 99; ++i) fits += a;
    fits += "x";
    tooLong = fits + "y";
    ASSERT_EQ(text::Utf8ToCp932(fits).size(), 199u);
    ASSERT_EQ(text::Utf8ToCp932(tooLong).size(), 200u);

    WriteMachineKey("\"Title\"=\"" + fits + "\"\n\"Long\"=\"" + tooLong + "\"\n");
    std::string title = settings::kTitleDefault;
    EXPECT_EQ(CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, "Title", title),
              kRegOk);
    EXPECT_EQ(title, text::Utf8ToCp932(fits));

    title = settings::kTitleDefault;
    EXPECT_EQ(CRegistryKey::ReadString(RootKey::LocalMachine, kSettingsKey, "Long", title),
              kRegMoreData);
    EXPECT_EQ(title, settings::kTitleDefault);
    EXPECT_EQ(text::Cp932ToUtf8(title),
              "\xE3\x83\xB4\xE3\x82\xA7\xE3\x83\xAB\xE3\x83\xA2\xE3\x83\xA9");
}

TEST_F(Registry, ZeroByteInAStoredTextShortensItAndNamesTheValueOnce) {
    WriteUserKey(std::string("\"ClientID\"=\"C-1") + '\0' + "EVIL\"\n");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(UserString(settings::kClientId), "C-1");
    EXPECT_EQ(UserString(settings::kClientId), "C-1");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "velmora: " + UserHive().string() +
                  ": the value ClientID holds a zero byte after 3 bytes; only those are read\n");
    EXPECT_FALSE(StringReadsBackWhole(std::string("C-1\0", 4)));
    EXPECT_FALSE(StringReadsBackWhole(std::string(200, 'c')));
    EXPECT_TRUE(StringReadsBackWhole(std::string(199, 'c')));
}

TEST_F(Registry, TextsRoundTripAsCp932AndAreStoredAsUtf8) {
    const std::string japanese = text::Utf8ToCp932("\xE9\x85\x8D\xE4\xBF\xA1 \"q\" C:\\dir\\");
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, settings::kDeliveryNo, japanese), kRegOk);
    EXPECT_EQ(UserString(settings::kDeliveryNo), japanese);
    EXPECT_THAT(ReadBytes(UserHive()),
                HasSubstr("\"DeliveryNo\"=\"\xE9\x85\x8D\xE4\xBF\xA1 \\\"q\\\" C:\\\\dir\\\\\"\n"));

    // 0x5C as the second byte of a double-byte character is not a backslash.
    const std::string so = "\x83\x5C";  // ソ
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "so", so), kRegOk);
    EXPECT_EQ(UserString("so"), so);
}

TEST_F(Registry, ValueNamesIgnoreCase) {
    ASSERT_EQ(CRegistryKey::WriteDword(RootKey::CurrentUser, kSettingsKey, "reread", 15), kRegOk);
    EXPECT_EQ(UserDword("Reread"), 15u);
    ASSERT_EQ(CRegistryKey::WriteDword(RootKey::CurrentUser, kSettingsKey, "REREAD", 30), kRegOk);
    EXPECT_EQ(UserDword("Reread"), 30u);
    EXPECT_THAT(ReadBytes(UserHive()), HasSubstr("\"reread\"=dword:0000001e\n"));
}

TEST_F(Registry, StatusCodesOfAKey) {
    CRegistryKey key;
    std::uint32_t number = 7;
    std::string text = "unchanged";
    EXPECT_NE(key.QueryDword("x", number), kRegOk);  // not open
    EXPECT_NE(key.SetDword("x", 1), kRegOk);
    EXPECT_EQ(key.Close(), kRegOk);

    ASSERT_EQ(key.Open(RootKey::CurrentUser, kSettingsKey), kRegOk);
    EXPECT_FALSE(std::filesystem::exists(UserHive()));  // created by the first write only
    EXPECT_EQ(key.QueryDword("x", number), kRegNotFound);
    EXPECT_EQ(key.QueryString("x", text), kRegNotFound);
    ASSERT_EQ(key.SetDword("x", 1), kRegOk);
    ASSERT_EQ(key.SetString("y", "two"), kRegOk);
    EXPECT_EQ(key.QueryString("x", text), kRegNotFound);  // wrong type
    EXPECT_EQ(key.QueryDword("y", number), kRegNotFound);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(text, "unchanged");
    EXPECT_EQ(key.QueryDword("x", number), kRegOk);
    EXPECT_EQ(key.QueryString("y", text), kRegOk);
    EXPECT_EQ(number, 1u);
    EXPECT_EQ(text, "two");
    EXPECT_EQ(key.Close(), kRegOk);
    EXPECT_NE(key.QueryDword("x", number), kRegOk);

    // A text ends at its first zero byte, as the registry's byte functions see it.
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "z", std::string("ab\0cd", 5)), kRegOk);
    EXPECT_EQ(UserString("z"), "ab");
}

TEST_F(Registry, LineBreaksCannotBeStoredAndNothingIsWritten) {
    WriteUserKey("\"ClientID\"=\"old\"\n");
    const std::string before = ReadBytes(UserHive());
    EXPECT_EQ(CRegistryKey::WriteUserStrings(kSettingsKey, {{settings::kClientId, "new"},
                                                            {settings::kClientPassword, "a\nb"}}),
              kRegInvalidParameter);
    EXPECT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "x\r", "v"), kRegInvalidParameter);
    EXPECT_EQ(ReadBytes(UserHive()), before);
}

TEST_F(Registry, WriteUserStringsStoresAllValuesInOneRewrite) {
    WriteUserKey("\"ClientID\"=\"old\"\n");
    struct stat before;
    ASSERT_EQ(stat(UserHive().c_str(), &before), 0);
    ASSERT_EQ(CRegistryKey::WriteUserStrings(
                  kSettingsKey, {{settings::kClientId, "C9"}, {settings::kClientPassword, "pw"}}),
              kRegOk);
    EXPECT_EQ(UserString(settings::kClientId), "C9");
    EXPECT_EQ(UserString(settings::kClientPassword), "pw");
    EXPECT_EQ(ReadBytes(UserHive()),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\n"
              "\"ClientID\"=\"C9\"\n\"ClientPWD\"=\"pw\"\n");
}

TEST_F(Registry, RewriteKeepsEverythingItDidNotUnderstand) {
    const std::string foreign =
        "\xEF\xBB\xBFREGEDIT4\n; comment \xFF\xFE not even UTF-8\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\n"
        "\"Icons\"=hex(2):25,00,00,00\n"
        "\"Reread\"=dword:xyz\n"
        "garbage \"=\"\n"
        "[HKEY_CURRENT_USER\\Other]\n\"a\"=\"b\"\n"
        "\"Title\"=\"cut";
    WriteBytes(UserHive(), foreign);
    EXPECT_EQ(UserDword(settings::kReread), 0xDEADBEEFu);
    ASSERT_EQ(CRegistryKey::WriteDword(RootKey::CurrentUser, kSettingsKey, settings::kReread, 5),
              kRegOk);
    const std::string after = ReadBytes(UserHive());
    std::string expected = foreign;
    expected.insert(expected.find("[HKEY_CURRENT_USER\\Other]"), "\"Reread\"=dword:00000005\n");
    EXPECT_EQ(after, expected);
    EXPECT_EQ(UserDword(settings::kReread), 5u);
}

TEST_F(Registry, UnreadableUserHiveIsNeverReplaced) {
    std::filesystem::create_directories(UserHive());  // a folder where the file should be
    WriteMachineKey("\"Channel\"=\"12\"\n");
    std::string channel = "default";
    EXPECT_EQ(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel),
              kRegAccessDenied);
    EXPECT_EQ(channel, "12");  // the machine-wide value is still used
    EXPECT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "a", "b"), kRegAccessDenied);
    EXPECT_TRUE(std::filesystem::is_directory(UserHive()));
}

TEST_F(Registry, MissingMachineKeyIsCreatedByWhoeverMayWriteIt) {
    // No machine hive yet: an administrator's write creates it, readable by all.
    ASSERT_EQ(CRegistryKey::WriteDword(RootKey::LocalMachine, kSettingsKey, "timeout", 30), kRegOk);
    std::uint32_t timeout = 0;
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::LocalMachine, kSettingsKey, "timeout", timeout),
              kRegOk);
    EXPECT_EQ(timeout, 30u);
    struct stat st;
    ASSERT_EQ(stat(MachineHive().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u);
    EXPECT_THAT(ReadBytes(MachineHive()),
                HasSubstr("[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\n"));
}

}  // namespace
}  // namespace velmora
