// Hives padded with blank lines or comments, whatever their line ends: the
// values before and after the padding read back, and an edit still works.

#include <gtest/gtest.h>

#include <string>

#include "core/settings/hive_file.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

constexpr std::size_t kMiB = 1024 * 1024;
constexpr const char* kKey = "HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0";

// The settings key with `padding` bytes of `filler` lines between two values.
std::string PaddedHive(std::size_t padding, const std::string& filler) {
    std::string text = "REGEDIT4\r\n\r\n[" + std::string(kKey) + "]\r\n\"GroupID\"=\"G1\"\r\n";
    text.reserve(text.size() + padding + filler.size() + 64);
    while (text.size() < padding) text += filler;
    return text + "\"Reread\"=dword:1e\r\n";
}

// Parse, the start-up's lookups and one edit of a document.
void ReadAndEdit(const std::string& file) {
    HiveDocument doc = HiveDocument::Parse(file);
    EXPECT_EQ(doc.Fault(), "");
    ASSERT_TRUE(doc.Find(kKey, "GroupID"));
    EXPECT_EQ(doc.Find(kKey, "GroupID")->text, "G1");
    ASSERT_TRUE(doc.Find(kKey, "Reread"));
    EXPECT_EQ(doc.Find(kKey, "Reread")->dword, 30u);
    EXPECT_TRUE(doc.SetString(kKey, "ClientID", "C1"));
    EXPECT_EQ(doc.Find(kKey, "ClientID")->text, "C1");
}

TEST(HiveSize, ValuesAroundBlankLinesAndCommentsReadBack) {
    for (const std::string filler : {"\n", "\r\n", "\r", "  \t\r\n", "; a comment\r\n"}) {
        SCOPED_TRACE(::testing::PrintToString(filler));
        ReadAndEdit(PaddedHive(kMiB, filler));
    }
}

TEST(HiveSize, PaddedUtf16HiveReadsBack) {
    ReadAndEdit(test_support::kUtf16Bom +
                test_support::Utf16Le("Windows Registry Editor Version 5.00" +
                                      PaddedHive(kMiB, "\r\n").substr(8)));
}

using HiveSizeOnDisk = test_support::HiveSandbox;

TEST_F(HiveSizeOnDisk, StartUpReadsFindValuesPastThePadding) {
    WriteMachineKey("\"server1\"=\"http://a/rss\"\n\"Company\"=\"0\"\n");
    test_support::WriteBytes(UserHive(), PaddedHive(4 * kMiB, "\n"));
    std::string text;
    std::uint32_t number = 0;
    EXPECT_EQ(
        CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, settings::kGroupId, text),
        kRegOk);
    EXPECT_EQ(text, "G1");
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, "Reread", number),
              kRegOk);
    EXPECT_EQ(number, 30u);
}

}  // namespace
}  // namespace velmora
