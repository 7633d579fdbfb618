// The machine-wide hive as an ordinary account sees it: readable, not writable.
// The tests run as root and check from a child that drops to uid/gid 65534.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

using test_support::FolderEntries;
using test_support::kCannotDropPrivileges;
using test_support::kNobody;
using test_support::ReadBytes;
using test_support::RunAsNobody;
using ::testing::ElementsAre;

class MachineHiveAccess : public test_support::HiveSandbox {
  protected:
    void SetUp() override {
        HiveSandbox::SetUp();
        if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
        // The unprivileged account owns its own settings folder.
        std::filesystem::create_directories(ConfigHome());
        ASSERT_EQ(chown(ConfigHome().parent_path().c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(chown(ConfigHome().c_str(), kNobody, kNobody), 0);
        std::filesystem::create_directories(MachineHive().parent_path());
        if (const std::string why = test_support::WhyNobodyCannotUse(root_); !why.empty())
            GTEST_SKIP() << why;
    }

    void ExpectChildPasses(int code) {
        if (code == kCannotDropPrivileges) GTEST_SKIP() << "cannot drop privileges";
        EXPECT_EQ(code, 0) << "see the child's message above";
    }

    void SetMachineHiveMode(mode_t mode) { ASSERT_EQ(chmod(MachineHive().c_str(), mode), 0); }

    static constexpr const char* kValues =
        "\"server1\"=\"http://a/rss\"\n\"Channel\"=\"12\"\n\"timeout\"=dword:0000001e\n";
};

TEST_F(MachineHiveAccess, ReadOnlyHiveIsReadAndRefusesWrites) {
    WriteMachineKey(kValues);
    SetMachineHiveMode(0644);
    const std::string before = ReadBytes(MachineHive());

    ExpectChildPasses(RunAsNobody([this] {
        CHILD_EXPECT(ChannelServerList() == (std::vector<std::string>{"http://a/rss", ""}));
        std::uint32_t timeout = 0;
        CHILD_EXPECT(CRegistryKey::ReadDword(RootKey::LocalMachine, kSettingsKey,
                                             settings::kTimeout, timeout) == kRegOk);
        CHILD_EXPECT(timeout == 30);

        // The fallback read copies into the user's own hive, for the user only.
        std::string channel;
        CHILD_EXPECT(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel,
                                                           channel) == kRegOk);
        CHILD_EXPECT(channel == "12");
        struct stat st;
        CHILD_EXPECT(stat(UserHive().c_str(), &st) == 0);
        CHILD_EXPECT((st.st_mode & 0777) == 0600 && st.st_uid == kNobody);

        CHILD_EXPECT(CRegistryKey::WriteDword(RootKey::LocalMachine, kSettingsKey,
                                              settings::kTimeout, 1) == kRegAccessDenied);
        CRegistryKey key;
        CHILD_EXPECT(key.Open(RootKey::LocalMachine, kSettingsKey) == kRegOk);
        CHILD_EXPECT(key.SetString(settings::kTitle, "x") == kRegAccessDenied);
        CHILD_EXPECT(key.QueryDword(settings::kTimeout, timeout) == kRegOk && timeout == 30);
        return 0;
    }));
    EXPECT_EQ(ReadBytes(MachineHive()), before);
    EXPECT_THAT(FolderEntries(MachineHive().parent_path()), ElementsAre("machine.reg"));
}

TEST_F(MachineHiveAccess, WritableFileInAReadOnlyFolderIsNotReplaced) {
    WriteMachineKey(kValues);
    SetMachineHiveMode(0666);
    const std::string before = ReadBytes(MachineHive());
    ExpectChildPasses(RunAsNobody([] {
        CHILD_EXPECT(CRegistryKey::WriteDword(RootKey::LocalMachine, kSettingsKey,
                                              settings::kTimeout, 1) == kRegAccessDenied);
        return 0;
    }));
    EXPECT_EQ(ReadBytes(MachineHive()), before);
    EXPECT_THAT(FolderEntries(MachineHive().parent_path()), ElementsAre("machine.reg"));
}

TEST_F(MachineHiveAccess, MissingKeyIsAbsentAndNothingIsCopied) {
    ExpectChildPasses(RunAsNobody([this] {
        CRegistryKey key;
        CHILD_EXPECT(key.Open(RootKey::LocalMachine, kSettingsKey) == kRegNotFound);
        std::string channel = "default";
        CHILD_EXPECT(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel,
                                                           channel) == kRegNotFound);
        CHILD_EXPECT(channel == "default");
        std::uint32_t color = settings::kReadTextColorDefault;
        CHILD_EXPECT(CRegistryKey::ReadUserOrMachineDword(kSettingsKey, settings::kReadTextColor,
                                                          color) == kRegNotFound);
        CHILD_EXPECT(color == settings::kReadTextColorDefault);
        // Defaults copied now would hide the values an installation adds later.
        CHILD_EXPECT(!std::filesystem::exists(UserHive()));
        CHILD_EXPECT(ChannelServerList() == (std::vector<std::string>{"", ""}));
        return 0;
    }));

    test_support::WriteBytes(MachineHive(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n");
    SetMachineHiveMode(0644);
    ExpectChildPasses(RunAsNobody([] {
        CRegistryKey key;
        CHILD_EXPECT(key.Open(RootKey::LocalMachine, kSettingsKey) == kRegNotFound);
        CHILD_EXPECT(key.Open(RootKey::LocalMachine, "SOFTWARE") == kRegOk);
        return 0;
    }));
}

TEST_F(MachineHiveAccess, UnreadableHiveGivesAccessDeniedAndDefaults) {
    WriteMachineKey(kValues);
    SetMachineHiveMode(0600);
    ExpectChildPasses(RunAsNobody([] {
        CRegistryKey key;
        CHILD_EXPECT(key.Open(RootKey::LocalMachine, kSettingsKey) == kRegAccessDenied);
        CHILD_EXPECT(ChannelServerList() == (std::vector<std::string>{"", ""}));
        std::string channel = "default";
        CHILD_EXPECT(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel,
                                                           channel) == kRegAccessDenied);
        CHILD_EXPECT(channel == "default");
        return 0;
    }));
}

TEST_F(MachineHiveAccess, UserHiveThatTurnedUnreadableIsNotOverwritten) {
    ExpectChildPasses(RunAsNobody([this] {
        CHILD_EXPECT(CRegistryKey::WriteUserString(kSettingsKey, "ClientID", "C1") == kRegOk);
        const std::string before = ReadBytes(UserHive());
        CRegistryKey key;
        CHILD_EXPECT(key.Open(RootKey::CurrentUser, kSettingsKey) == kRegOk);
        CHILD_EXPECT(chmod(UserHive().c_str(), 0) == 0);
        CHILD_EXPECT(key.SetString("ClientPWD", "pw") == kRegAccessDenied);
        CHILD_EXPECT(chmod(UserHive().c_str(), 0600) == 0);
        CHILD_EXPECT(ReadBytes(UserHive()) == before);
        return 0;
    }));
}

}  // namespace
}  // namespace velmora
