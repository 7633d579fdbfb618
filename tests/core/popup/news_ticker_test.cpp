#include "core/popup/news_ticker.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace velmora {
namespace {

using Pieces = std::vector<std::string>;

TEST(SplitAtBarTest, KeepsEmptyPieces) {
    EXPECT_EQ(SplitAtBar("a|b|c"), (Pieces{"a", "b", "c"}));
    EXPECT_EQ(SplitAtBar("a||c"), (Pieces{"a", "", "c"}));
    EXPECT_EQ(SplitAtBar("a|"), (Pieces{"a", ""}));
    EXPECT_EQ(SplitAtBar("|a"), (Pieces{"", "a"}));
    EXPECT_EQ(SplitAtBar("whole"), (Pieces{"whole"}));
    EXPECT_EQ(SplitAtBar(""), (Pieces{""}));
    EXPECT_EQ(SplitAtBar("|"), (Pieces{"", ""}));
}

TEST(TickerMessagesTest, PairsTextsWithLinks) {
    const std::vector<CardRecord> messages =
        TickerMessages("first|second", "http://a/1|http://a/2");
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[0].headline, "first");
    EXPECT_EQ(messages[0].link, "http://a/1");
    EXPECT_EQ(messages[1].headline, "second");
    EXPECT_EQ(messages[1].link, "http://a/2");
    EXPECT_TRUE(messages[1].detail.empty());
    EXPECT_TRUE(messages[1].image.empty());
}

TEST(TickerMessagesTest, DifferentLengthsSwitchTheTickerOff) {
    EXPECT_TRUE(TickerMessages("first|second", "http://a/1").empty());
    // Empty description and link: one empty message each, so one message.
    EXPECT_EQ(TickerMessages("", "").size(), 1u);
}

// Steps until the text changes, counting the silent ticks before it.
int SilentTicksBeforeText(NewsTicker& ticker) {
    int silent = 0;
    while (!ticker.Step()) {
        if (++silent > 10000) return -1;
    }
    return silent;
}

TEST(NewsTickerTest, MessageScrollsInRestsAndMakesWay) {
    NewsTicker ticker;
    ticker.SetMessages(TickerMessages("AB|CD", "l1|l2"));
    ticker.Reset();
    EXPECT_EQ(ticker.Current(), nullptr);

    // First tick: "*" is never shown, message 0 starts at once.
    EXPECT_FALSE(ticker.Step());
    ASSERT_NE(ticker.Current(), nullptr);
    EXPECT_EQ(ticker.Current()->link, "l1");

    // 80 ticks bring it in one space at a time; one leading space stays.
    for (int i = 0; i < 80; ++i) {
        ASSERT_TRUE(ticker.Step()) << i;
        EXPECT_EQ(ticker.ShownText(), std::string(80 - i, ' ') + "AB");
    }
    EXPECT_EQ(ticker.ShownText(), " AB");

    // Then it rests for 50 ticks; on the 50th the next message starts.
    for (int i = 0; i < 49; ++i) {
        EXPECT_FALSE(ticker.Step());
        EXPECT_EQ(ticker.Current()->link, "l1");
    }
    EXPECT_FALSE(ticker.Step());
    EXPECT_EQ(ticker.Current()->link, "l2");
    EXPECT_TRUE(ticker.Step());
    EXPECT_EQ(ticker.ShownText(), std::string(80, ' ') + "CD");

    // After the last message it wraps to the first.
    EXPECT_EQ(SilentTicksBeforeText(ticker), 0);
    for (int i = 0; i < 78; ++i) ticker.Step();
    EXPECT_EQ(ticker.ShownText(), " CD");
    EXPECT_EQ(SilentTicksBeforeText(ticker), 50);
    EXPECT_EQ(ticker.Current()->link, "l1");
}

TEST(NewsTickerTest, OnlySingleByteSpacesAreSkipped) {
    // A full-width space (0x81 0x40) starts the message: it is not skipped,
    // and a message with its own leading blank shows it.
    NewsTicker ticker;
    ticker.SetMessages(TickerMessages("\x81\x40X|  Y", "a|b"));
    ticker.Reset();
    ticker.Step();
    std::string last;
    while (ticker.Step()) last = ticker.ShownText();
    EXPECT_EQ(last, " \x81\x40X");

    for (int i = 0; i < 49; ++i) ticker.Step();
    while (ticker.Step()) last = ticker.ShownText();
    EXPECT_EQ(last, " Y");
}

TEST(NewsTickerTest, EmptyMessageScrollsOutAndWaits) {
    NewsTicker ticker;
    ticker.SetMessages(TickerMessages("", ""));
    ticker.Reset();
    ticker.Step();
    int shown = 0;
    while (ticker.Step()) ++shown;
    EXPECT_EQ(shown, 80);
    EXPECT_EQ(ticker.ShownText(), " ");
    EXPECT_EQ(SilentTicksBeforeText(ticker), 49);
}

TEST(NewsTickerTest, NoMessagesDoesNothing) {
    NewsTicker ticker;
    ticker.SetMessages({});
    ticker.Reset();
    for (int i = 0; i < 500; ++i) EXPECT_FALSE(ticker.Step());
    EXPECT_EQ(ticker.Current(), nullptr);
    EXPECT_TRUE(ticker.ShownText().empty());
}

TEST(NewsTickerTest, ResetStartsOverAtTheFirstMessage) {
    NewsTicker ticker;
    ticker.SetMessages(TickerMessages("A|B", "1|2"));
    ticker.Reset();
    for (int i = 0; i < 200; ++i) ticker.Step();
    EXPECT_EQ(ticker.Current()->link, "2");
    ticker.Reset();
    EXPECT_EQ(ticker.Current(), nullptr);
    EXPECT_FALSE(ticker.Step());
    EXPECT_EQ(ticker.Current()->link, "1");
}

// What the ticker shows and which message is on show.
std::pair<std::string, std::string> Seen(const NewsTicker& ticker) {
    return {ticker.ShownText(), ticker.Current() ? ticker.Current()->link : "-"};
}

TEST(NewsTickerTest, AdvanceLeavesWhatSingleStepsLeave) {
    const std::vector<CardRecord> messages = TickerMessages(
        "AB|  CD||\x81\x40"
        "E",
        "1|2|3|4");
    for (const std::uint64_t ticks :
         {0ull, 1ull, 2ull, 80ull, 81ull, 131ull, 132ull, 500ull, 1001ull, 4321ull, 12345ull}) {
        NewsTicker stepped, advanced;
        for (NewsTicker* t : {&stepped, &advanced}) {
            t->SetMessages(messages);
            t->Reset();
        }
        bool anyChange = false;
        for (std::uint64_t i = 0; i < ticks; ++i) anyChange = stepped.Step() || anyChange;
        EXPECT_EQ(advanced.Advance(ticks), anyChange) << ticks;
        EXPECT_EQ(Seen(advanced), Seen(stepped)) << ticks;
        // From anywhere in the round as well.
        stepped.Step();
        for (int i = 0; i < 37; ++i) stepped.Step();
        advanced.Advance(1);
        advanced.Advance(37);
        EXPECT_EQ(Seen(advanced), Seen(stepped)) << ticks;
    }
}

TEST(NewsTickerTest, LongPauseSkipsWholeRounds) {
    // One round: each message's 80 leading spaces and own leading blanks, then its rest.
    const std::vector<CardRecord> messages = TickerMessages("AB|  CD", "1|2");
    const std::uint64_t round = (80 + 50) + (82 + 50);
    for (const std::uint64_t into : {0ull, 5ull, 130ull, 200ull, 261ull}) {
        NewsTicker near, far;
        for (NewsTicker* t : {&near, &far}) {
            t->SetMessages(messages);
            t->Reset();
        }
        for (std::uint64_t i = 0; i < 1 + round + into; ++i) near.Step();
        // About three thousand years of ticks, in one call.
        far.Advance(1 + round * 3'000'000'000ull + into);
        EXPECT_EQ(Seen(far), Seen(near)) << into;
        for (int i = 0; i < 300; ++i) {
            ASSERT_EQ(far.Step(), near.Step()) << into << " " << i;
            ASSERT_EQ(Seen(far), Seen(near)) << into << " " << i;
        }
    }
}

}  // namespace
}  // namespace velmora
