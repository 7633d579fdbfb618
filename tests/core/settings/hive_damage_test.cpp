// Hive files that exist but cannot be used: each is said once on stderr with
// its path, read as absent, and never replaced.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "core/text/cp932.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

using test_support::HiveSandbox;
using test_support::kUtf16Bom;
using test_support::ReadBytes;
using test_support::Utf16Le;
using test_support::WriteBytes;
using ::testing::AllOf;
using ::testing::HasSubstr;
using ::testing::StartsWith;

namespace fs = std::filesystem;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t at = 0, nl;
    while ((nl = text.find('\n', at)) != std::string::npos) {
        lines.push_back(text.substr(at, nl - at));
        at = nl + 1;
    }
    if (at < text.size()) lines.push_back(text.substr(at));
    return lines;
}

std::string UserString(const char* name) {
    std::string value = "<absent>";
    CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, name, value);
    return value;
}

const std::string kUserKey = "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\n";
const std::string kMachineKey = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\n";

struct Damage {
    const char* name;
    const char* told;  // what the message says about the file
    // Puts the damaged thing at `file`; `key` is the section a good file would have.
    std::function<void(const fs::path& file, const std::string& key)> make;
};

void PrintTo(const Damage& damage, std::ostream* out) {
    *out << damage.name;
}

const Damage kDamages[] = {
    {"binary junk", "header",
     [](const fs::path& file, const std::string&) {
         WriteBytes(file, std::string("\x7F"
                                      "ELF\x02\x01\x01\x00\x00\x00\x02\x00\x3E\x00",
                                      14));
     }},
    {"no header", "has no \"REGEDIT4\" or \"Windows Registry Editor Version 5.00\" header",
     [](const fs::path& file, const std::string& key) {
         WriteBytes(file, key + "\"server1\"=\"http://a/rss\"\n\"ClientID\"=\"C1\"\n");
     }},
    {"UTF-16 without its mark", "header",
     [](const fs::path& file, const std::string& key) {
         WriteBytes(file, Utf16Le("Windows Registry Editor Version 5.00\r\n\r\n" + key +
                                  "\"server1\"=\"http://a/rss\"\r\n"));
     }},
    {"broken UTF-16", "is not valid UTF-16LE text",
     [](const fs::path& file, const std::string& key) {
         WriteBytes(file,
                    kUtf16Bom + Utf16Le("Windows Registry Editor Version 5.00\r\n" + key) + "\x41");
     }},
    {"folder", "is a folder, not a file",
     [](const fs::path& file, const std::string&) { fs::create_directories(file); }},
    {"FIFO", "is not a regular file",
     [](const fs::path& file, const std::string&) {
         fs::create_directories(file.parent_path());
         ASSERT_EQ(mkfifo(file.c_str(), 0600), 0);
     }},
    {"too big", "is larger than 64 MiB",
     [](const fs::path& file, const std::string& key) {
         WriteBytes(file, "REGEDIT4\n" + key + "\"server1\"=\"http://a/rss\"\n");
         ASSERT_EQ(truncate(file.c_str(), 64 * 1024 * 1024 + 1), 0);  // sparse: no disk used
     }},
};

class DamagedHive : public HiveSandbox, public ::testing::WithParamInterface<Damage> {
  protected:
    // What is at `file`, to see that nothing replaced it.
    static std::string Snapshot(const fs::path& file) {
        struct stat st;
        if (lstat(file.c_str(), &st) != 0) return "missing";
        if (!S_ISREG(st.st_mode)) return "mode " + std::to_string(st.st_mode & S_IFMT);
        if (st.st_size > 1024 * 1024) return "size " + std::to_string(st.st_size);
        return ReadBytes(file);
    }
};

TEST_P(DamagedHive, UserHiveIsToldOnceReadAsAbsentAndLeftAlone) {
    WriteMachineKey("\"Channel\"=\"12\"\n");
    GetParam().make(UserHive(), kUserKey);
    const std::string before = Snapshot(UserHive());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(UserString(settings::kClientId), "<absent>");
    std::string channel = "default";
    EXPECT_NE(CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel),
              kRegOk);
    EXPECT_EQ(channel, "12");  // the machine-wide value is still used
    EXPECT_NE(
        CRegistryKey::WriteUserStrings(kSettingsKey, {{"ClientID", "C9"}, {"ClientPWD", "p"}}),
        kRegOk);
    EXPECT_TRUE(SettingsUnusable(RootKey::CurrentUser));
    const std::string told = ::testing::internal::GetCapturedStderr();

    EXPECT_THAT(Lines(told), ::testing::ElementsAre(
                                 AllOf(StartsWith("velmora: " + UserHive().string() + ": "),
                                       HasSubstr(GetParam().told), HasSubstr("read as absent"),
                                       HasSubstr("left untouched"))));
    EXPECT_EQ(Snapshot(UserHive()), before);
    EXPECT_THAT(test_support::FolderEntries(UserHive().parent_path()),
                ::testing::ElementsAre("user.reg"));
}

TEST_P(DamagedHive, MachineHiveIsToldOnceAndGivesNoServer) {
    GetParam().make(MachineHive(), kMachineKey);
    const std::string before = Snapshot(MachineHive());

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(ChannelServerList(), (std::vector<std::string>{"", ""}));
    EXPECT_EQ(AccountServerList(), (std::vector<std::string>{"", ""}));
    EXPECT_NE(CRegistryKey::WriteDword(RootKey::LocalMachine, kSettingsKey, "timeout", 5), kRegOk);
    EXPECT_TRUE(SettingsUnusable(RootKey::LocalMachine));
    EXPECT_FALSE(SettingsUnusable(RootKey::CurrentUser));  // none at all is no damage
    const std::string told = ::testing::internal::GetCapturedStderr();

    EXPECT_THAT(Lines(told), ::testing::ElementsAre(
                                 AllOf(StartsWith("velmora: " + MachineHive().string() + ": "),
                                       HasSubstr(GetParam().told))));
    EXPECT_EQ(Snapshot(MachineHive()), before);
}

INSTANTIATE_TEST_SUITE_P(EachKind, DamagedHive, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c; ++c)
                                 if (std::isalnum(static_cast<unsigned char>(*c))) name += *c;
                             return name;
                         });

using HiveLines = HiveSandbox;

TEST_F(HiveLines, MalformedLineIsToldWithItsNumberAndKeptOnRewrite) {
    const std::string user = "REGEDIT4\n\n" + kUserKey +
                             "\"GroupID\"=\"G1\"\n"
                             "\"GroupPWD\"=\"no end\n"
                             "GroupPWD=secret\n"
                             "\"Reread\"=dword:1e\n";
    WriteBytes(UserHive(), user);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(UserString(settings::kGroupId), "G1");
    EXPECT_EQ(UserString(settings::kGroupPassword), "<absent>");
    std::uint32_t reread = 0;
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, "Reread", reread),
              kRegOk);
    EXPECT_EQ(reread, 30u);
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "ClientID", "C1"), kRegOk);
    EXPECT_FALSE(SettingsUnusable(RootKey::CurrentUser));
    const std::string told = ::testing::internal::GetCapturedStderr();

    EXPECT_THAT(
        Lines(told),
        ::testing::ElementsAre("velmora: " + UserHive().string() +
                               ": line 5 cannot be understood and is ignored (1 more such line)"));
    EXPECT_EQ(ReadBytes(UserHive()), user + "\"ClientID\"=\"C1\"\n");
}

TEST_F(HiveLines, UnreadableHiveIsToldWithTheReason) {
    if (geteuid() != 0) GTEST_SKIP() << "needs root to drop to another account";
    if (const std::string why = test_support::WhyNobodyCannotUse(root_); !why.empty())
        GTEST_SKIP() << why;
    WriteMachineKey("\"server1\"=\"http://a/rss\"\n");
    ASSERT_EQ(chmod(MachineHive().c_str(), 0600), 0);
    ::testing::internal::CaptureStderr();
    int code = test_support::RunAsNobody([] {
        CHILD_EXPECT(ChannelServerList() == (std::vector<std::string>{"", ""}));
        CHILD_EXPECT(SettingsUnusable(RootKey::LocalMachine));
        return 0;
    });
    const std::string told = ::testing::internal::GetCapturedStderr();
    if (code == test_support::kCannotDropPrivileges) GTEST_SKIP() << "cannot drop privileges";
    EXPECT_EQ(code, 0) << told;
    EXPECT_THAT(Lines(told), ::testing::ElementsAre(
                                 "velmora: " + MachineHive().string() +
                                 ": cannot be read (Permission denied); its settings are read as "
                                 "absent and it is left untouched"));
}

TEST_F(HiveLines, Version5Utf16HiveIsReadAndRewrittenInUtf16) {
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
        "\"GroupID\"=\"\xE3\x82\xB0\xE3\x83\xAB\xE3\x83\xBC\xE3\x83\x97\"\r\n"  // グループ
        "\"Reread\"=dword:1e\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
        "\"x\"=hex(b):01,00,00,00,00,00,00,00\r\n";
    WriteBytes(UserHive(), kUtf16Bom + Utf16Le(text));

    EXPECT_EQ(UserString(settings::kGroupId),
              text::Utf8ToCp932("\xE3\x82\xB0\xE3\x83\xAB\xE3\x83\xBC\xE3\x83\x97"));
    std::uint32_t reread = 0;
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, "Reread", reread),
              kRegOk);
    EXPECT_EQ(reread, 30u);

    ASSERT_EQ(
        CRegistryKey::WriteUserStrings(kSettingsKey, {{"ClientID", "C1"}, {"ClientPWD", "p"}}),
        kRegOk);
    std::string expected = text;
    expected.insert(expected.find("\r\n\r\n[HKEY_CURRENT_USER\\Software") + 2,
                    "\"ClientID\"=\"C1\"\r\n\"ClientPWD\"=\"p\"\r\n");
    EXPECT_EQ(ReadBytes(UserHive()), kUtf16Bom + Utf16Le(expected));
    EXPECT_EQ(UserString(settings::kClientId), "C1");
}

}  // namespace
}  // namespace velmora
