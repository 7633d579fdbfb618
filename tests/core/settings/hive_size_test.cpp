// Hives padded with blank lines or comments, whatever their line ends: what a
// parse and the lookups cost must not grow with the number of lines, only
// with the bytes, and the peak stays within a small multiple of the file.

#include <gtest/gtest.h>

#include <string>

#include "core/settings/hive_file.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "support/hive_heap_counter.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

using test_support::Heap;

constexpr std::size_t kMiB = 1024 * 1024;
constexpr const char* kKey = "HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0";

// The settings key with `padding` bytes of `filler` lines between two values.
std::string PaddedHive(std::size_t padding, const std::string& filler) {
    std::string text = "REGEDIT4\r\n\r\n[" + std::string(kKey) + "]\r\n\"GroupID\"=\"G1\"\r\n";
    text.reserve(text.size() + padding + filler.size() + 64);
    while (text.size() < padding) text += filler;
    return text + "\"Reread\"=dword:1e\r\n";
}

struct Cost {
    std::size_t allocations = 0;
    std::size_t peak = 0;
};

// Parse, the start-up's lookups and one edit of a document.
Cost CostOf(const std::string& file) {
    const std::size_t base = Heap().live;
    Heap().Reset();
    {
        HiveDocument doc = HiveDocument::Parse(file);
        EXPECT_EQ(doc.Fault(), "");
        for (int i = 0; i < 10; ++i) EXPECT_TRUE(doc.Find(kKey, "GroupID"));
        EXPECT_EQ(doc.Find(kKey, "Reread")->dword, 30u);
        EXPECT_TRUE(doc.SetString(kKey, "ClientID", "C1"));
        EXPECT_EQ(doc.Find(kKey, "ClientID")->text, "C1");
    }
    return {Heap().allocations.load(), Heap().PeakAbove(base)};
}

TEST(HiveSize, BlankLinesAndCommentsCostNothingPerLine) {
    for (const std::string filler : {"\n", "\r\n", "\r", "  \t\r\n", "; a comment\r\n"}) {
        SCOPED_TRACE(::testing::PrintToString(filler));
        const Cost small = CostOf(PaddedHive(64 * 1024, filler));
        const Cost mebibyte = CostOf(PaddedHive(kMiB, filler));
        const Cost four = CostOf(PaddedHive(4 * kMiB, filler));
        // The same allocations whatever the number of lines (up to 65 536 here):
        // nothing is kept or made per line.
        EXPECT_LE(mebibyte.allocations, small.allocations + 8);
        EXPECT_LE(four.allocations, small.allocations + 8);
        // The text itself and a copy while an edit builds the new one.
        EXPECT_LE(mebibyte.peak, 3 * kMiB + 64 * 1024);
        EXPECT_LE(four.peak, 3 * 4 * kMiB + 64 * 1024);
    }
}

TEST(HiveSize, Utf16HiveStaysWithinASmallMultipleOfItsSize) {
    const std::string file =
        test_support::kUtf16Bom + test_support::Utf16Le("Windows Registry Editor Version 5.00" +
                                                        PaddedHive(kMiB, "\r\n").substr(8));
    const Cost cost = CostOf(file);
    EXPECT_LE(cost.peak, 3 * file.size());
}

using HiveSizeOnDisk = test_support::HiveSandbox;

TEST_F(HiveSizeOnDisk, StartUpReadsOfAPaddedHiveStayWithinASmallMultipleOfIt) {
    WriteMachineKey("\"server1\"=\"http://a/rss\"\n\"Company\"=\"0\"\n");
    const std::string file = PaddedHive(4 * kMiB, "\n");
    test_support::WriteBytes(UserHive(), file);

    const std::size_t base = Heap().live;
    Heap().Reset();
    std::string text;
    std::uint32_t number = 0;
    for (const char* name : {settings::kGroupId, settings::kGroupPassword, settings::kClientId,
                             settings::kClientPassword, settings::kDeliveryNo})
        CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, name, text);
    EXPECT_EQ(CRegistryKey::ReadDword(RootKey::CurrentUser, kSettingsKey, "Reread", number),
              kRegOk);
    EXPECT_EQ(number, 30u);
    std::string channel;
    CRegistryKey::ReadUserOrMachineString(kSettingsKey, settings::kChannel, channel);
    EXPECT_LE(Heap().PeakAbove(base), 3 * file.size());
}

}  // namespace
}  // namespace velmora
