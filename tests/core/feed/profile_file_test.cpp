#include "core/feed/profile_file.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_folder.h"

namespace velmora {
namespace {

using test_support::ReadFile;
using test_support::TempFolder;
using test_support::WriteFile;

TEST(ProfileFile, NamesCompareWithoutCaseAndBlanksAroundAreIgnored) {
    const ProfileFile profile = ProfileFile::Parse(
        "[ Subscription ]\r\n  TITLE1  =  first value  \r\nurl1=x\r\n[Other]\r\ntitle1=other\r\n");
    EXPECT_EQ(profile.Find("subscription", "Title1"), "first value");
    EXPECT_EQ(profile.Find("subscription", " title1 "), "first value");
    EXPECT_EQ(profile.Find("SUBSCRIPTION", "URL1"), "x");
    EXPECT_EQ(profile.Find("other", "TITLE1"), "other");
    EXPECT_TRUE(profile.HasSection("subSCRIPTION"));
    EXPECT_FALSE(profile.HasSection("Missing"));
}

TEST(ProfileFile, MissingKeyOrSectionGivesTheDefault) {
    const ProfileFile profile = ProfileFile::Parse("key=before any section\n[S]\na=1\nnot a key\n");
    EXPECT_EQ(profile.Find("S", "b"), std::nullopt);
    EXPECT_EQ(profile.Find("T", "a"), std::nullopt);
    EXPECT_EQ(profile.Find("S", "not a key"), std::nullopt);
    EXPECT_EQ(profile.Get("S", "b", "0"), "0");
    EXPECT_EQ(profile.Get("S", "b"), "");
    EXPECT_EQ(profile.Get("S", "a", "0"), "1");
}

TEST(ProfileFile, MatchingQuotesAreRemovedOnce) {
    const ProfileFile profile = ProfileFile::Parse(
        "[S]\na=\"quoted\"\nb='single'\nc=\"mixed'\nd=\"\"twice\"\"\ne=\"  inside  \"\nf=\"\n"
        "g=\"\"\n");
    EXPECT_EQ(profile.Get("S", "a"), "quoted");
    EXPECT_EQ(profile.Get("S", "b"), "single");
    EXPECT_EQ(profile.Get("S", "c"), "\"mixed'");
    EXPECT_EQ(profile.Get("S", "d"), "\"twice\"");
    EXPECT_EQ(profile.Get("S", "e"), "  inside  ");
    EXPECT_EQ(profile.Get("S", "f"), "\"");
    EXPECT_EQ(profile.Get("S", "g"), "");
}

TEST(ProfileFile, FirstOfTwoEqualKeysAndFirstSectionWin) {
    const ProfileFile profile =
        ProfileFile::Parse("[S]\nkey=one\nKEY=two\n[s]\nkey=three\nother=four\n");
    EXPECT_EQ(profile.Get("S", "key"), "one");
    EXPECT_EQ(profile.Find("S", "other"), std::nullopt);
}

TEST(ProfileFile, CaseFoldingLeavesDoubleByteCharactersAlone) {
    // "ア" is 83 41 and "ャ" is 83 61: their trail bytes look like 'A' and 'a'.
    const ProfileFile profile = ProfileFile::Parse("[S]\n\x83\x41=upper\n\x83\x61=lower\n");
    EXPECT_EQ(profile.Get("S", "\x83\x41"), "upper");
    EXPECT_EQ(profile.Get("S", "\x83\x61"), "lower");
}

TEST(ProfileFile, ValuesReadBackAtMost1023BytesWithoutSplittingACharacter) {
    const std::string ascii(2000, 'a');
    std::string wide;  // byte 1023 is the lead byte of a character
    for (int i = 0; i < 600; ++i) wide += "\x83\x41";
    const ProfileFile profile = ProfileFile::Parse("[S]\nascii=" + ascii + "\nwide=" + wide +
                                                   "\nexact=" + std::string(1023, 'b') + "\n");
    EXPECT_EQ(profile.Get("S", "ascii"), std::string(1023, 'a'));
    const std::string cut = profile.Get("S", "wide");
    EXPECT_EQ(cut.size(), 1022u);
    EXPECT_EQ(cut, wide.substr(0, 1022));
    EXPECT_EQ(profile.Get("S", "exact"), std::string(1023, 'b'));
}

TEST(ProfileFile, LineEndsOfEveryKindSplitLines) {
    const ProfileFile profile = ProfileFile::Parse("[S]\ra=1\nb=2\r\nc=3");
    EXPECT_EQ(profile.Get("S", "a"), "1");
    EXPECT_EQ(profile.Get("S", "b"), "2");
    EXPECT_EQ(profile.Get("S", "c"), "3");
}

TEST(ProfileFile, DeletingASectionKeepsTheRestByteForByte) {
    const std::string head = "; comment\n[First]\nkeep = as is  \n\n";
    const std::string tail = "[Last]\r\nx=\"y\"\r\n  odd line without equals\r\nend=1";
    ProfileFile profile =
        ProfileFile::Parse(head + "[Gone]\r\nk=v\r\n\r\n" + tail + "\n[gone]\nk=w\n");
    profile.DeleteSection("GONE");
    EXPECT_EQ(profile.Text(), head + tail + "\n");
    EXPECT_FALSE(profile.HasSection("Gone"));
}

TEST(ProfileFile, SetReplacesTheFirstKeyOrAppendsToTheSection) {
    ProfileFile profile = ProfileFile::Parse("[A]\nx=1\nX=2\n\n[B]\ny=1");
    profile.Set("a", "X", "new");
    profile.Set("A", "z", "added");
    profile.Set("B", "w", "more");
    profile.Set("C", "k", "v");
    EXPECT_EQ(profile.Text(), "[A]\nX=new\nX=2\nz=added\r\n\n[B]\ny=1\r\nw=more\r\n[C]\r\nk=v\r\n");
    EXPECT_EQ(profile.Get("A", "x"), "new");
}

TEST(ProfileFile, AppendedSectionStartsOnItsOwnLine) {
    ProfileFile profile = ProfileFile::Parse("[A]\nx=1");
    ProfileSectionText section("S");
    section.Add("k", "v");
    section.Add("K", "second of the same key");
    profile.AppendSection(std::move(section));
    EXPECT_EQ(profile.Text(), "[A]\nx=1\r\n[S]\r\nk=v\r\nK=second of the same key\r\n");
    EXPECT_EQ(profile.Get("s", "K"), "v");
    EXPECT_EQ(profile.Get("A", "x"), "1");
}

TEST(ProfileFile, WrittenValuesReadBackExactly) {
    ProfileFile profile;
    const std::string values[] = {
        "plain", "  outer blanks  ", "\"quoted\"", "'single'",       "\"", "tail\"", "\t",
        "",      "in \"mid\"",       "a=b=c",      "; not a comment"};
    int n = 0;
    for (const std::string& v : values) profile.Set("S", "k" + std::to_string(++n), v);
    const ProfileFile reread = ProfileFile::Parse(profile.Text());
    n = 0;
    for (const std::string& v : values) {
        EXPECT_EQ(reread.Get("S", "k" + std::to_string(++n)), v) << "value [" << v << "]";
    }
}

TEST(ProfileFile, LineBreaksInAValueBecomeOneSpace) {
    ProfileFile profile;
    profile.Set("S", "a", "one\r\ntwo\nthree\rfour");
    profile.Set("S", "b", "after");
    const ProfileFile reread = ProfileFile::Parse(profile.Text());
    EXPECT_EQ(reread.Get("S", "a"), "one two three four");
    EXPECT_EQ(reread.Get("S", "b"), "after");
}

TEST(ProfileFile, LoadAndSaveWholeFiles) {
    TempFolder folder;
    const auto file = folder / "VELMORA.dat";
    auto missing = ProfileFile::Load(file);
    ASSERT_TRUE(missing.has_value());
    EXPECT_EQ(missing->Text(), "");

    WriteFile(file, "[S]\nk=v\n");
    auto loaded = ProfileFile::Load(file);
    ASSERT_TRUE(loaded.has_value());
    loaded->Set("S", "k2", "v2");
    ASSERT_TRUE(loaded->Save(file));
    EXPECT_EQ(ReadFile(file), "[S]\nk=v\nk2=v2\r\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"VELMORA.dat"});

    EXPECT_FALSE(ProfileFile::Load(folder.path()).has_value());  // a folder cannot be read
}

}  // namespace
}  // namespace velmora
