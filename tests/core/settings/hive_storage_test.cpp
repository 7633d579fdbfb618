// How hive files are replaced on disk: permissions, owners, links, and no
// temporary file left behind when a rewrite fails.

#include "core/settings/hive_storage.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include "core/settings/registry.h"
#include "core/settings/registry_backend.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

using test_support::FolderEntries;
using test_support::ReadBytes;
using test_support::RunInChild;
using test_support::WriteBytes;
using ::testing::ElementsAre;

using HiveStorage = test_support::HiveSandbox;

mode_t ModeOf(const std::filesystem::path& p) {
    struct stat st;
    return stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

TEST_F(HiveStorage, UserHiveAndItsFolderAreCreatedForTheUserOnly) {
    ASSERT_FALSE(std::filesystem::exists(ConfigHome()));
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "ClientPWD", "secret"), kRegOk);
    EXPECT_EQ(ModeOf(UserHive()), 0600u);
    EXPECT_EQ(ModeOf(UserHive().parent_path()), 0700u);

    // A hive someone made readable for all is closed again by the next write.
    ASSERT_EQ(chmod(UserHive().c_str(), 0644), 0);
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "ClientPWD", "other"), kRegOk);
    EXPECT_EQ(ModeOf(UserHive()), 0600u);
    EXPECT_THAT(FolderEntries(UserHive().parent_path()), ElementsAre("user.reg"));
}

TEST_F(HiveStorage, MachineHiveKeepsItsPermissions) {
    WriteMachineKey("\"timeout\"=dword:00000000\n");
    ASSERT_EQ(chmod(MachineHive().c_str(), 0640), 0);
    ASSERT_EQ(CRegistryKey::WriteDword(RootKey::LocalMachine, kSettingsKey, "timeout", 9), kRegOk);
    EXPECT_EQ(ModeOf(MachineHive()), 0640u);
}

TEST_F(HiveStorage, OwnerOfAnotherUsersHiveIsKept) {
    if (geteuid() != 0) GTEST_SKIP() << "only root writes another user's file";
    WriteUserKey("");
    ASSERT_EQ(chown(UserHive().c_str(), test_support::kNobody, test_support::kNobody), 0);
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "a", "b"), kRegOk);
    struct stat st;
    ASSERT_EQ(stat(UserHive().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, test_support::kNobody);
    EXPECT_EQ(st.st_gid, test_support::kNobody);
}

TEST_F(HiveStorage, LinkedHiveIsWrittenThroughTheLink) {
    const auto target = root_ / "dotfiles" / "user.reg";
    WriteBytes(target, "REGEDIT4\n");
    std::filesystem::create_directories(UserHive().parent_path());
    std::filesystem::create_symlink(target, UserHive());
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "a", "b"), kRegOk);
    EXPECT_TRUE(std::filesystem::is_symlink(UserHive()));
    EXPECT_THAT(ReadBytes(target), ::testing::HasSubstr("\"a\"=\"b\""));
}

TEST_F(HiveStorage, FailedRenameLeavesNoTemporaryFile) {
    const auto folder = root_ / "replace";
    WriteBytes(folder / "target" / "inside", "x");  // the target is a folder
    EXPECT_NE(ReplaceHiveFile(folder / "target", "data", platform::FileAccess::AlwaysPrivate),
              kRegOk);
    EXPECT_THAT(FolderEntries(folder), ElementsAre("target"));
    EXPECT_THAT(FolderEntries(folder / "target"), ElementsAre("inside"));
}

TEST_F(HiveStorage, FailedWriteLeavesTheHiveAndNoTemporaryFile) {
    WriteUserKey("\"Channel\"=\"12\"\n");
    const std::string before = ReadBytes(UserHive());
    // A file size limit makes the write of the new hive fail half-way.
    int code = RunInChild(
        [] {
            const std::string big(4096, 'x');
            long status = CRegistryKey::WriteUserString(kSettingsKey, "big", big);
            CHILD_EXPECT(status != kRegOk);
            CHILD_EXPECT(status == kRegIoFailed);
            return 0;
        },
        [] {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{1024, 1024};
            return setrlimit(RLIMIT_FSIZE, &limit) == 0;
        });
    EXPECT_EQ(code, 0);
    EXPECT_EQ(ReadBytes(UserHive()), before);
    EXPECT_THAT(FolderEntries(UserHive().parent_path()), ElementsAre("user.reg"));
}

TEST_F(HiveStorage, ReadRefusesWhatIsNoHive) {
    std::string bytes = "unchanged";
    EXPECT_EQ(ReadHiveFile(root_ / "none", bytes), kRegNotFound);
    EXPECT_EQ(ReadHiveFile(root_, bytes), kRegAccessDenied);
    ASSERT_EQ(mkfifo((root_ / "fifo").c_str(), 0600), 0);
    EXPECT_NE(ReadHiveFile(root_ / "fifo", bytes), kRegOk);  // and does not hang
    EXPECT_EQ(bytes, "unchanged");
}

}  // namespace
}  // namespace velmora
