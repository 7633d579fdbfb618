#include "core/text/cp932.h"

#include <gtest/gtest.h>

using namespace velmora::text;

TEST(Cp932Conversion, RoundTripsJapaneseAndAscii) {
    const std::string utf8 = "ヴェルモラ abc ①髙";
    std::string sjis = Utf8ToCp932(utf8);
    // ヴ is 0x83 0x94 in CP932; ① (NEC row 13) and 髙 (IBM extension) exist only in CP932.
    EXPECT_EQ(sjis.substr(0, 2), "\x83\x94");
    EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(Cp932Conversion, UnrepresentableAndBrokenInputBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToCp932("a\xF0\x9F\x98\x80"
                          "b"),
              "a?b");                              // emoji
    EXPECT_EQ(Utf8ToCp932("a\xC3\xA9z"), "a?z");   // é has no CP932 form
    EXPECT_EQ(Utf8ToCp932("a\xFF\xFEz"), "a??z");  // invalid UTF-8
    EXPECT_EQ(Utf8ToCp932("ab\xE3\x81"), "ab?");   // truncated sequence
    EXPECT_EQ(Utf8ToCp932(""), "");
}

TEST(Cp932Conversion, BrokenCp932BecomesReplacementCharacter) {
    EXPECT_EQ(Cp932ToUtf8("a\x81"), "a\xEF\xBF\xBD");
    EXPECT_EQ(Cp932ToUtf8(std::string("\x00z", 2)), std::string("\x00z", 2));
}

TEST(Cp932Conversion, LongTextCrossesTheInternalBuffer) {
    std::string utf8;
    for (int i = 0; i < 5000; ++i) utf8 += "あ";
    std::string sjis = Utf8ToCp932(utf8);
    EXPECT_EQ(sjis.size(), 10000u);
    EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(Cp932Bytes, LeadByteRanges) {
    EXPECT_FALSE(IsLeadByte(0x80));
    EXPECT_TRUE(IsLeadByte(0x81));
    EXPECT_TRUE(IsLeadByte(0x9F));
    EXPECT_FALSE(IsLeadByte(0xA0));
    EXPECT_FALSE(IsLeadByte(0xDF));  // half-width katakana are single bytes
    EXPECT_TRUE(IsLeadByte(0xE0));
    EXPECT_TRUE(IsLeadByte(0xFC));
    EXPECT_FALSE(IsLeadByte(0xFD));
    EXPECT_FALSE(IsLeadByte('A'));
}

TEST(Cp932Bytes, CutNeverSplitsADoubleByteCharacter) {
    const std::string s = "a\x82\xa0\x82\xa2";  // a, あ, い
    EXPECT_EQ(CutToBytes(s, 0), "");
    EXPECT_EQ(CutToBytes(s, 1), "a");
    EXPECT_EQ(CutToBytes(s, 2), "a");
    EXPECT_EQ(CutToBytes(s, 3), "a\x82\xa0");
    EXPECT_EQ(CutToBytes(s, 4), "a\x82\xa0");
    EXPECT_EQ(CutToBytes(s, 5), s);
    EXPECT_EQ(CutToBytes(s, 99), s);
    // A trail byte that looks like a lead byte does not confuse the walk: 0x8181 then 'x'.
    EXPECT_EQ(CutToBytes("\x81\x81x", 2), "\x81\x81");
    EXPECT_EQ(CutToBytes("\xb1\x81\x81", 2), "\xb1");  // half-width katakana, then a pair
}

TEST(Cp932Bytes, FoldLineBreaksMakesOneSpacePerBreak) {
    EXPECT_EQ(FoldLineBreaks("a\r\nb\nc\rd"), "a b c d");
    EXPECT_EQ(FoldLineBreaks("\r\n\r\n"), "  ");
    EXPECT_EQ(FoldLineBreaks("\n\r"), "  ");
    EXPECT_EQ(FoldLineBreaks("\x82\xa0x"), "\x82\xa0x");
    // A lone lead byte never hides the break after it.
    EXPECT_EQ(FoldLineBreaks("a\x82\nb\x83\r\nc"), "a\x82 b\x83 c");
}
