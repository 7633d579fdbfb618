#include "core/text/bulk_cp932.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

#include "core/text/cp932.h"

namespace velmora::text {
namespace {

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

TEST(BulkUtf8ToCp932, KnownCharacters) {
    // "ニュース", ①, 纊 (given in its IBM form), a half-width katakana and an emoji.
    EXPECT_EQ(BulkUtf8ToCp932("\xe3\x83\x8b\xe3\x83\xa5\xe3\x83\xbc\xe3\x82\xb9\xe2\x91\xa0"
                              "\xe7\xba\x8a\xef\xbd\xb1\xf0\x9f\x98\x80."),
              "\x83\x6a\x83\x85\x81\x5b\x83\x58\x87\x40\xfa\x5c\xb1?.");
    EXPECT_EQ(BulkUtf8ToCp932(""), "");
    EXPECT_EQ(BulkUtf8ToCp932(std::string("a\0b", 3)), std::string("a\0b", 3));
}

// The blocks that CP932 draws from, and a sample of everything else, come out
// as the reference conversion gives them (all 65 536 would take seconds: the
// reference is slow on each character CP932 does not hold).
TEST(BulkUtf8ToCp932, AgreesWithTheReferenceCharacterByCharacter) {
    std::string all;
    const auto add = [&](char32_t from, char32_t to) {
        for (char32_t c = from; c <= to; ++c) AppendUtf8(all, c);
    };
    add(0x0000, 0x00FF);  // ASCII and Latin-1 (¥, ¬, ¦ have special mappings)
    add(0x0391, 0x045F);  // Greek and Cyrillic
    add(0x2010, 0x2312);  // punctuation, symbols, arrows, mathematics
    add(0x2460, 0x25FF);  // circled numbers, box drawing, shapes
    add(0x3000, 0x30FF);  // CJK punctuation, kana
    add(0x3231, 0x33CD);  // parenthesised and squared words
    add(0x4E00, 0x5400);  // a slice of the kanji
    add(0x7E8A, 0x7E8A);  // 纊, given in its IBM form
    add(0xF929, 0xFA2D);  // compatibility kanji of the IBM extensions
    add(0xFF01, 0xFFE5);  // full-width and half-width forms
    for (char32_t c = 0x100; c < 0x10000; c += 97) {
        if (c < 0xD800 || c > 0xDFFF) AppendUtf8(all, c);
    }
    for (char32_t c : {0x10000u, 0x1F600u, 0x10FFFFu}) AppendUtf8(all, c);
    EXPECT_EQ(BulkUtf8ToCp932(all), Utf8ToCp932(all));
}

TEST(BulkUtf8ToCp932, AgreesWithTheReferenceOnBrokenInput) {
    const std::string broken[] = {
        "\x80",
        "abc\xc3",
        "\xc0\xaf",
        "\xe0\x80\xaf",
        "\xed\xa0\x80",
        "\xf4\x90\x80\x80",
        "\xf8\x88\x80\x80\x80",
        "\xe3\x83",
        "x\xe3\x83\x8b\xff y",
    };
    for (const std::string& s : broken) {
        EXPECT_EQ(BulkUtf8ToCp932(s), Utf8ToCp932(s)) << "input of " << s.size() << " bytes";
    }
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        std::string s;
        for (int i = static_cast<int>(random() % 40); i > 0; --i) {
            if (random() % 4 == 0) {
                s += static_cast<char>(random() % 256);
            } else {
                AppendUtf8(s, static_cast<char32_t>(random() % 0x3000 + (random() % 2) * 0x4E00));
            }
        }
        EXPECT_EQ(BulkUtf8ToCp932(s), Utf8ToCp932(s)) << "round " << round;
    }
}

}  // namespace
}  // namespace velmora::text
