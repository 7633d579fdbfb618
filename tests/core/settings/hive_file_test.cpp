#include "core/settings/hive_file.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/hive_sandbox.h"

namespace velmora {
namespace {

constexpr const char* kKey = "HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0";

std::optional<std::string> StringOf(const HiveDocument& doc, std::string_view name,
                                    std::string_view key = kKey) {
    auto value = doc.Find(key, name);
    if (!value || value->type != HiveValueType::String) return std::nullopt;
    return value->text;
}

std::optional<std::uint32_t> DwordOf(const HiveDocument& doc, std::string_view name,
                                     std::string_view key = kKey) {
    auto value = doc.Find(key, name);
    if (!value || value->type != HiveValueType::Dword) return std::nullopt;
    return value->dword;
}

// A hive with everything the program itself never writes: comments, another
// key, other value types, continuation lines, broken and truncated lines.
const std::string kMixedHive =
    "\xEF\xBB\xBFREGEDIT4\r\n"
    "; provisioned by the installer\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Other]\r\n"
    "\"Channel\"=\"not ours\"\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
    "\"Blob\"=hex:01,02,03,\\\r\n"
    "  04,05\r\n"
    "\"Path\"=hex(2):25,00,48,00\r\n"
    "\"Channel\"=\"news\"\r\n"
    "this line means nothing\r\n"
    "\"Bad\"=dword:0000zz01\r\n"
    "\"Reread\"=dword:0000003c\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Later]\r\n"
    "\"Cut\"=\"no end";

TEST(HiveDocument, ReadsStringsAndDwordsOfTheKeyOnly) {
    HiveDocument doc = HiveDocument::Parse(kMixedHive);
    EXPECT_EQ(StringOf(doc, "Channel"), "news");
    EXPECT_EQ(DwordOf(doc, "Reread"), 60u);
    EXPECT_EQ(StringOf(doc, "Channel", "HKEY_CURRENT_USER\\Software\\Other"), "not ours");
    EXPECT_FALSE(doc.Find(kKey, "Bad"));
    EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\Software\\Later", "Cut"));
    EXPECT_EQ(doc.Find(kKey, "Blob")->type, HiveValueType::Other);
    EXPECT_EQ(doc.Find(kKey, "Path")->type, HiveValueType::Other);
}

TEST(HiveDocument, NamesAndKeysIgnoreCase) {
    HiveDocument doc = HiveDocument::Parse(kMixedHive);
    EXPECT_EQ(StringOf(doc, "CHANNEL", "hkey_current_user\\software\\velmora\\CLIENT\\1.0"),
              "news");
    EXPECT_TRUE(doc.HasKey("HKEY_CURRENT_USER\\SOFTWARE"));
    EXPECT_FALSE(doc.HasKey("HKEY_CURRENT_USER\\SOFT"));
    EXPECT_FALSE(doc.HasKey("HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0"));

    doc.SetDword(kKey, "REREAD", 5);
    EXPECT_EQ(DwordOf(doc, "Reread"), 5u);
    // The stored name keeps its first spelling, as the registry does.
    EXPECT_THAT(doc.Serialize(), ::testing::HasSubstr("\"Reread\"=dword:00000005\r\n"));
}

TEST(HiveDocument, UnchangedDocumentIsWrittenBackByteForByte) {
    EXPECT_EQ(HiveDocument::Parse(kMixedHive).Serialize(), kMixedHive);
    const std::string odd = "\n\n[\n\"a\"=hex:\\\n\\\n\\";
    EXPECT_EQ(HiveDocument::Parse(odd).Serialize(), odd);
}

TEST(HiveDocument, EditChangesOnlyTheLineOfTheValue) {
    HiveDocument doc = HiveDocument::Parse(kMixedHive);
    doc.SetString(kKey, "Channel", "sports");
    std::string expected = kMixedHive;
    expected.replace(expected.find("\"Channel\"=\"news\""), 16, "\"Channel\"=\"sports\"");
    EXPECT_EQ(doc.Serialize(), expected);
}

TEST(HiveDocument, NewValueGoesAtTheEndOfItsKeyWithTheFilesLineBreaks) {
    HiveDocument doc = HiveDocument::Parse(kMixedHive);
    doc.SetString(kKey, "ClientID", "C1");
    doc.SetDword(kKey, "popup", 0);
    std::string expected = kMixedHive;
    expected.insert(expected.find("\"Reread\"=dword:0000003c\r\n") + 25,
                    "\"ClientID\"=\"C1\"\r\n\"popup\"=dword:00000000\r\n");
    EXPECT_EQ(doc.Serialize(), expected);
    EXPECT_EQ(StringOf(doc, "ClientID"), "C1");
    EXPECT_EQ(DwordOf(doc, "popup"), 0u);
}

TEST(HiveDocument, NewKeyIsAppendedAfterAFileWithoutFinalLineBreak) {
    HiveDocument doc = HiveDocument::Parse(kMixedHive);
    doc.SetString("HKEY_CURRENT_USER\\New", "a", "b");
    EXPECT_EQ(doc.Serialize(), kMixedHive + "\r\n\r\n[HKEY_CURRENT_USER\\New]\r\n\"a\"=\"b\"\r\n");
    // The cut-off line stays cut off: its text is not completed by the new line.
    EXPECT_FALSE(doc.Find("HKEY_CURRENT_USER\\Software\\Later", "Cut"));
}

TEST(HiveDocument, FileCutBetweenCarriageReturnAndLineFeed) {
    HiveDocument doc = HiveDocument::Parse("REGEDIT4\r\n[K]\r");
    doc.SetString("K", "a", "b");
    EXPECT_EQ(doc.Serialize(), "REGEDIT4\r\n[K]\r\n\"a\"=\"b\"\r\n");
    EXPECT_EQ(StringOf(doc, "a", "K"), "b");
}

TEST(HiveDocument, EmptyDocumentGetsAHeader) {
    HiveDocument doc;
    doc.SetString(kKey, "Channel", "x");
    EXPECT_EQ(doc.Serialize(),
              "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\n"
              "\"Channel\"=\"x\"\n");
}

TEST(HiveDocument, QuotesBackslashesAndJapaneseSurviveARoundTrip) {
    const std::string texts[] = {
        "C:\\Program Files\\\"VELMORA\"\\",
        "\\\\server\\share\\",
        "\"",
        "\xE3\x83\xB4\xE3\x82\xA7\xE3\x83\xAB\xE3\x83\xA2\xE3\x83\xA9 \xE2\x80\x9C\\\xE2\x80\x9D",
        "",
        "trailing space ",
    };
    HiveDocument doc;
    int i = 0;
    for (const std::string& text : texts) doc.SetString(kKey, "v" + std::to_string(i++), text);
    HiveDocument reread = HiveDocument::Parse(doc.Serialize());
    i = 0;
    for (const std::string& text : texts)
        EXPECT_EQ(StringOf(reread, "v" + std::to_string(i++)), text);
    EXPECT_THAT(doc.Serialize(), ::testing::HasSubstr("\"v2\"=\"\\\"\"\n"));
    EXPECT_THAT(doc.Serialize(), ::testing::HasSubstr("\"v1\"=\"\\\\\\\\server\\\\share\\\\\"\n"));
}

TEST(HiveDocument, QuotedNamesAndTheDefaultValue) {
    HiveDocument doc = HiveDocument::Parse(
        "[K]\n\"a\\\"b\"=\"1\"\n@=\"default\"\n \"spaced\" = dword:0000000A \n");
    EXPECT_EQ(StringOf(doc, "a\"b", "K"), "1");
    EXPECT_EQ(StringOf(doc, "", "K"), "default");
    EXPECT_EQ(DwordOf(doc, "spaced", "K"), 10u);
}

TEST(HiveDocument, BrokenLinesReadAsAbsentAndTheRestStillLoads) {
    const std::string broken =
        "REGEDIT4\n"
        "[K]\n"
        "\"short\"=dword:3c\n"
        "\"long\"=dword:000000001\n"
        "\"sign\"=dword:-0000001\n"
        "\"empty\"=dword:\n"
        "\"escape\"=\"a\\nb\"\n"  // only \\ and \" are escapes
        "\"after\"=\"x\" junk\n"
        "\"latin1\"=\"caf\xE9\"\n"  // not UTF-8
        "\"over\"=\"\xC0\xAF\"\n"   // overlong form
        "\"noequals\" \"x\"\n"
        "\"good\"=\"kept\"\n"
        "[K2\n"  // a cut header: its values belong to no key
        "\"stray\"=\"x\"\n"
        "[K]\n"
        "\"last\"=dword:FFFFFFFF\n";
    HiveDocument doc = HiveDocument::Parse(broken);
    for (const char* name :
         {"long", "sign", "empty", "escape", "after", "latin1", "over", "noequals", "stray"})
        EXPECT_FALSE(doc.Find("K", name)) << name;
    EXPECT_EQ(StringOf(doc, "good", "K"), "kept");
    EXPECT_EQ(DwordOf(doc, "last", "K"), 0xFFFFFFFFu);
    EXPECT_FALSE(doc.HasKey("K2"));
    // Each broken line is counted; the file as a whole is still a hive.
    EXPECT_EQ(doc.Fault(), "");
    EXPECT_EQ(doc.BadLines(), 9u);
    EXPECT_EQ(doc.FirstBadLine(), 4u);

    // Setting a value whose line is broken adds a good line and keeps the broken one.
    doc.SetDword("K", "long", 60);
    EXPECT_EQ(DwordOf(doc, "long", "K"), 60u);
    std::string expected = broken + "\"long\"=dword:0000003c\n";
    EXPECT_EQ(doc.Serialize(), expected);
}

TEST(HiveDocument, DwordsOfOneToEightDigitsAreRead) {
    HiveDocument doc = HiveDocument::Parse(
        "REGEDIT4\n[K]\n\"a\"=dword:1e\n\"b\"=dword:0\n\"c\"=DWORD:0001e\n"
        "\"d\"=dword:7fffffff \n\"nine\"=dword:00000001e\n\"none\"=dword:\n"
        "\"q\"=hex(b):1e,00,00,00,00,00,00,00\n");
    EXPECT_EQ(DwordOf(doc, "a", "K"), 30u);
    EXPECT_EQ(DwordOf(doc, "b", "K"), 0u);
    EXPECT_EQ(DwordOf(doc, "c", "K"), 30u);
    EXPECT_EQ(DwordOf(doc, "d", "K"), 0x7FFFFFFFu);
    EXPECT_FALSE(doc.Find("K", "nine"));
    EXPECT_FALSE(doc.Find("K", "none"));
    EXPECT_EQ(doc.Find("K", "q")->type, HiveValueType::Other);  // a QWORD is no DWORD
    EXPECT_EQ(doc.BadLines(), 2u);
}

TEST(HiveDocument, HexFourIsADwordOnlyWithFourBytes) {
    HiveDocument doc = HiveDocument::Parse(
        "[K]\n\"four\"=hex(4):3c,00,00,01\n\"three\"=hex(4):3c,00,00\n"
        "\"split\"=hex(4):01,02,\\\n  03,04\n\"five\"=hex(4):01,02,03,04,05\n");
    EXPECT_EQ(DwordOf(doc, "four", "K"), 0x0100003Cu);
    EXPECT_EQ(DwordOf(doc, "split", "K"), 0x04030201u);
    EXPECT_EQ(doc.Find("K", "three")->type, HiveValueType::Other);
    EXPECT_EQ(doc.Find("K", "five")->type, HiveValueType::Other);
}

TEST(HiveDocument, ContinuationLinesBelongToTheirValue) {
    HiveDocument doc = HiveDocument::Parse(
        "[K]\n\"bin\"=hex:01,\\\n  \"fake\"=\"inside\"\n\"real\"=\"outside\"\n");
    EXPECT_FALSE(doc.Find("K", "fake"));
    EXPECT_EQ(StringOf(doc, "real", "K"), "outside");

    // Replacing a continued value replaces all of its lines.
    doc.SetString("K", "bin", "text");
    EXPECT_EQ(doc.Serialize(), "[K]\n\"bin\"=\"text\"\n\"real\"=\"outside\"\n");
}

TEST(HiveDocument, ValueAddedAfterACutOffContinuationIsNotSwallowed) {
    const std::string cut = "[K]\n\"bin\"=hex:01,\\";
    HiveDocument doc = HiveDocument::Parse(cut);
    doc.SetString("K", "new", "v");
    HiveDocument reread = HiveDocument::Parse(doc.Serialize());
    EXPECT_EQ(StringOf(reread, "new", "K"), "v");
    EXPECT_EQ(doc.Serialize().substr(0, cut.size()), cut);
}

TEST(HiveDocument, LastDefinitionWinsAndIsTheOneReplaced) {
    HiveDocument doc = HiveDocument::Parse("[K]\n\"a\"=\"1\"\n[K]\n\"A\"=\"2\"\n\"a\"=dword:\n");
    EXPECT_EQ(StringOf(doc, "a", "K"), "2");
    doc.SetString("K", "a", "3");
    EXPECT_EQ(doc.Serialize(), "[K]\n\"a\"=\"1\"\n[K]\n\"A\"=\"3\"\n\"a\"=dword:\n");
}

TEST(HiveDocument, WrongTypeIsReportedAsSuch) {
    HiveDocument doc = HiveDocument::Parse("[K]\n\"n\"=\"60\"\n\"s\"=dword:0000003c\n\"d\"=-\n");
    EXPECT_EQ(doc.Find("K", "n")->type, HiveValueType::String);
    EXPECT_EQ(doc.Find("K", "s")->type, HiveValueType::Dword);
    EXPECT_EQ(doc.Find("K", "d")->type, HiveValueType::Other);
    doc.SetDword("K", "n", 1);  // a write replaces whatever type was stored
    EXPECT_EQ(DwordOf(doc, "n", "K"), 1u);
}

// As the registry editor of the other platform exports it: UTF-16LE with a
// byte order mark, CR LF line ends.
const std::string kVersion5Text =
    "Windows Registry Editor Version 5.00\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\r\n"
    "\"GroupID\"=\"\xE3\x82\xB0\xE3\x83\xAB\xE3\x83\xBC\xE3\x83\x97\"\r\n"  // グループ
    "\"Icons\"=hex(2):25,00,41,00,00,00\r\n"
    "\"Emoji\"=\"\xF0\x9F\x93\xB0\"\r\n"  // beyond the BMP: a surrogate pair
    "\"Reread\"=dword:1e\r\n"
    "\r\n";

TEST(HiveVersion5, Utf16FileIsReadAndWrittenBackInUtf16) {
    const std::string file = test_support::kUtf16Bom + test_support::Utf16Le(kVersion5Text);
    HiveDocument doc = HiveDocument::Parse(file);
    EXPECT_EQ(doc.Fault(), "");
    EXPECT_EQ(doc.BadLines(), 0u);
    EXPECT_EQ(doc.Encoding(), HiveEncoding::Utf16Le);
    EXPECT_EQ(StringOf(doc, "GroupID"), "\xE3\x82\xB0\xE3\x83\xAB\xE3\x83\xBC\xE3\x83\x97");
    EXPECT_EQ(StringOf(doc, "Emoji"), "\xF0\x9F\x93\xB0");
    EXPECT_EQ(DwordOf(doc, "Reread"), 30u);
    EXPECT_EQ(doc.Serialize(), file);

    ASSERT_TRUE(doc.SetString(kKey, "ClientID", "C1"));
    ASSERT_TRUE(doc.SetDword(kKey, "Reread", 60));
    std::string expected = kVersion5Text;
    expected.replace(expected.find("dword:1e"), 8, "dword:0000003c");
    expected.insert(expected.find("\r\n\r\n", 40) + 2, "\"ClientID\"=\"C1\"\r\n");
    // One encoding throughout: the new lines are UTF-16LE like the old ones.
    EXPECT_EQ(doc.Serialize(), test_support::kUtf16Bom + test_support::Utf16Le(expected));
}

TEST(HiveVersion5, HeaderIsAlsoAcceptedInUtf8AndStaysUtf8) {
    HiveDocument doc = HiveDocument::Parse(kVersion5Text);
    EXPECT_EQ(doc.Fault(), "");
    EXPECT_EQ(doc.Encoding(), HiveEncoding::Utf8);
    ASSERT_TRUE(doc.SetString(kKey, "ClientID", "C1"));
    EXPECT_THAT(doc.Serialize(), ::testing::StartsWith("Windows Registry Editor Version 5.00\r\n"));
    EXPECT_THAT(doc.Serialize(), ::testing::HasSubstr("\"ClientID\"=\"C1\"\r\n"));

    HiveDocument bom = HiveDocument::Parse("\xEF\xBB\xBF" + kVersion5Text);
    EXPECT_EQ(bom.Encoding(), HiveEncoding::Utf8Bom);
    EXPECT_EQ(DwordOf(bom, "Reread"), 30u);
}

TEST(HiveVersion5, EmptyUtf16FileGetsTheVersion5Header) {
    HiveDocument doc = HiveDocument::Parse(test_support::kUtf16Bom);
    EXPECT_EQ(doc.Fault(), "");
    ASSERT_TRUE(doc.SetString(kKey, "a", "b"));
    EXPECT_EQ(doc.Serialize(),
              test_support::kUtf16Bom +
                  test_support::Utf16Le("Windows Registry Editor Version 5.00\n\n"
                                        "[HKEY_CURRENT_USER\\SOFTWARE\\VELMORA\\Client\\1.0]\n"
                                        "\"a\"=\"b\"\n"));
}

TEST(HiveFault, WhatIsNoHiveIsToldAndKeptByteForByte) {
    const std::string utf16 = test_support::kUtf16Bom + test_support::Utf16Le(kVersion5Text);
    const struct {
        std::string bytes;
        const char* fault;
    } cases[] = {
        {utf16.substr(0, utf16.size() - 1), "is not valid UTF-16LE text"},   // odd length
        {utf16 + std::string("\x00\xD8", 2), "is not valid UTF-16LE text"},  // lone surrogate
        {utf16 + std::string("\x00\xDC\x41\x00", 4), "is not valid UTF-16LE text"},
        {test_support::Utf16Le(kVersion5Text), "header"},  // UTF-16 without its mark
        {"\x7F"
         "ELF\x02\x01\x01\x00\x00\x00\n[K]\n",
         "header"},
        {"\n[K]\n\"a\"=\"b\"\n", "header"},  // the header must be the first line
        {"REGEDIT5\n[K]\n", "header"},
        {" \n", "header"},
    };
    for (const auto& c : cases) {
        HiveDocument doc = HiveDocument::Parse(c.bytes);
        EXPECT_THAT(doc.Fault(), ::testing::HasSubstr(c.fault))
            << ::testing::PrintToString(c.bytes);
        EXPECT_EQ(doc.Serialize(), c.bytes);
        // Bytes that are no text cannot take a line of text.
        if (doc.Fault().find("UTF-16") != std::string::npos) {
            EXPECT_FALSE(doc.SetString(kKey, "a", "b"));
        }
    }
    EXPECT_EQ(HiveDocument::Parse("").Fault(), "");
    EXPECT_EQ(HiveDocument::Parse("\xEF\xBB\xBF").Fault(), "");
    EXPECT_EQ(HiveDocument::Parse("REGEDIT4").Fault(), "");
}

TEST(HiveDocument, EveryKindOfLineEndSeparatesLines) {
    for (const std::string nl : {"\n", "\r\n", "\r"}) {
        const std::string text = "REGEDIT4" + nl + nl + "[K]" + nl + "\"a\"=\"1\"" + nl + "junk" +
                                 nl + "\"b\"=dword:2" + nl;
        HiveDocument doc = HiveDocument::Parse(text);
        EXPECT_EQ(StringOf(doc, "a", "K"), "1");
        EXPECT_EQ(DwordOf(doc, "b", "K"), 2u);
        EXPECT_EQ(doc.FirstBadLine(), 5u);
        ASSERT_TRUE(doc.SetString("K", "c", "3"));
        // New lines take the file's own line end.
        EXPECT_EQ(doc.Serialize(), text + "\"c\"=\"3\"" + nl);
    }
}

TEST(HiveDocument, TextsThatCannotBeStoredChangeNothing) {
    HiveDocument doc = HiveDocument::Parse(kMixedHive);
    EXPECT_FALSE(doc.SetString(kKey, "Channel", "two\nlines"));
    EXPECT_FALSE(doc.SetString(kKey, "Channel", "caf\xE9"));
    EXPECT_FALSE(doc.SetString(kKey, "bad\rname", "x"));
    EXPECT_FALSE(doc.SetDword("K\n", "a", 1));
    EXPECT_EQ(doc.Serialize(), kMixedHive);
}

}  // namespace
}  // namespace velmora
