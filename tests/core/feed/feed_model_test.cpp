#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/feed/feed_item.h"

namespace velmora {
namespace {

struct Entry {
    std::string headline;
    std::string date;
    std::uint8_t read = 0;
};

void Fill(FeedChannel& channel, const std::vector<Entry>& entries) {
    FeedItem scratch(channel.Colors());
    for (const Entry& e : entries) {
        scratch.SetHeadline(e.headline);
        scratch.SetDate(e.date);
        channel.AppendCopy(scratch)->read = e.read;
    }
}

// The links agree both ways and with the count.
bool ItemsFollowTheList(const FeedChannel& channel) {
    std::vector<FeedItem*> linked, reversed;
    for (FeedItem* item = channel.First(); item; item = item->Next()) linked.push_back(item);
    for (FeedItem* item = channel.Last(); item; item = item->Prev())
        reversed.insert(reversed.begin(), item);
    return linked == reversed && static_cast<std::int32_t>(linked.size()) == channel.Count();
}

std::vector<int> ReadMarks(const FeedChannel& channel) {
    std::vector<int> marks;
    for (const FeedItem* item = channel.First(); item; item = item->Next()) {
        marks.push_back(item->read);
    }
    return marks;
}

TEST(UnescapeAmpersand, ReplacesEachEscapeOnceWithoutRescanning) {
    EXPECT_EQ(UnescapeAmpersand("page?x=1%26y=2"), "page?x=1&y=2");
    EXPECT_EQ(UnescapeAmpersand("%26amp;"), "&amp;");
    EXPECT_EQ(UnescapeAmpersand("%2526"), "%2526");
    EXPECT_EQ(UnescapeAmpersand("%26%26"), "&&");
    EXPECT_EQ(UnescapeAmpersand("%2"), "%2");
    EXPECT_EQ(UnescapeAmpersand(""), "");
}

TEST(UnescapeAmpersand, NeverStartsInsideADoubleByteCharacter) {
    // "ア" (83 41) before the escape: the escape still matches after it.
    EXPECT_EQ(UnescapeAmpersand("\x83\x41%26"), "\x83\x41&");
    // A lead byte takes the next byte with it, whatever it is.
    EXPECT_EQ(UnescapeAmpersand("\x81%26"), "\x81%26");
    // A lead byte at the very end is kept.
    EXPECT_EQ(UnescapeAmpersand("%26\x81"), "&\x81");
}

TEST(FeedItem, DefaultsComeFromTheGivenColours) {
    FeedItem item(ItemColors{0x112233, 0x445566});
    EXPECT_EQ(item.textColor, 0x112233u);
    EXPECT_EQ(item.readTextColor, 0x445566u);
    EXPECT_EQ(item.read, 0);

    FeedItem plain;
    EXPECT_EQ(plain.textColor, 0u);
    EXPECT_EQ(plain.readTextColor, 0xFFFFFFu);

    item.SetHeadline("h");
    item.SetLink("l");
    item.SetDetail("d");
    item.SetImage("i");
    item.SetDate("t");
    item.textColor = 255;
    item.readTextColor = 1;
    item.read = 1;
    item.Clear();
    EXPECT_EQ(item.Headline(), "");
    EXPECT_EQ(item.Link(), "");
    EXPECT_EQ(item.Detail(), "");
    EXPECT_EQ(item.Image(), "");
    EXPECT_EQ(item.DateText(), "");
    EXPECT_EQ(item.textColor, 0x112233u);
    EXPECT_EQ(item.readTextColor, 0x445566u);
    EXPECT_EQ(item.read, 0);
}

TEST(FeedItem, OnlyLinkAndImageAreUnescaped) {
    FeedItem item;
    item.SetHeadline("a%26b");
    item.SetDetail("a%26b");
    item.SetDate("a%26b");
    item.SetLink("a%26b");
    item.SetImage("a%26b");
    EXPECT_EQ(item.Headline(), "a%26b");
    EXPECT_EQ(item.Detail(), "a%26b");
    EXPECT_EQ(item.DateText(), "a%26b");
    EXPECT_EQ(item.Link(), "a&b");
    EXPECT_EQ(item.Image(), "a&b");
}

TEST(FeedItem, CloneCarriesTextsAndColoursButNotTheReadMark) {
    FeedItem item;
    item.SetHeadline("headline");
    item.SetLink("http://example.jp/?a=1%26b=2");
    item.SetDetail("detail");
    item.SetImage("http://example.jp/i.png");
    item.SetDate("2024-01-01");
    item.textColor = 255;
    item.readTextColor = 0x808080;
    item.read = 1;

    const auto clone = CloneItem(item);
    EXPECT_EQ(clone->Headline(), "headline");
    EXPECT_EQ(clone->Link(), "http://example.jp/?a=1&b=2");
    EXPECT_EQ(clone->Detail(), "detail");
    EXPECT_EQ(clone->Image(), "http://example.jp/i.png");
    EXPECT_EQ(clone->DateText(), "2024-01-01");
    EXPECT_EQ(clone->textColor, 255u);
    EXPECT_EQ(clone->readTextColor, 0x808080u);
    EXPECT_EQ(clone->read, 0);
    EXPECT_EQ(clone->Prev(), nullptr);
    EXPECT_EQ(clone->Next(), nullptr);
}

TEST(FeedChannel, AppendCopyBuildsTheListAndLeavesTheCursorOnTheNewItem) {
    FeedChannel channel(ItemColors{7, 8});
    FeedItem scratch(channel.Colors());
    scratch.textColor = 255;  // an emergency item keeps its red
    scratch.SetHeadline("one");
    FeedItem* first = channel.AppendCopy(scratch);
    EXPECT_EQ(channel.Cursor(), first);
    scratch.Clear();
    scratch.SetHeadline("two");
    FeedItem* second = channel.AppendCopy(scratch);
    EXPECT_EQ(channel.Cursor(), second);

    EXPECT_EQ(channel.Count(), 2);
    EXPECT_EQ(channel.First(), first);
    EXPECT_EQ(channel.Last(), second);
    EXPECT_EQ(first->Prev(), nullptr);
    EXPECT_EQ(first->Next(), second);
    EXPECT_EQ(second->Prev(), first);
    EXPECT_EQ(second->Next(), nullptr);
    EXPECT_EQ(first->textColor, 255u);
    EXPECT_EQ(second->textColor, 7u);
    EXPECT_EQ(second->readTextColor, 8u);
}

TEST(FeedChannel, WalkAndCurrentItemTexts) {
    FeedChannel channel;
    FeedItem scratch;
    for (const char* h : {"a", "b", "c"}) {
        scratch.SetHeadline(h);
        scratch.SetLink(std::string(h) + "%26");
        scratch.SetImage(std::string(h) + ".png");
        scratch.SetDetail(std::string(h) + "!");
        channel.AppendCopy(scratch);
    }
    std::string walked;
    for (channel.MoveFirst(); channel.Cursor(); channel.MoveNext()) {
        walked += channel.CurrentHeadline() + channel.CurrentLink() + channel.CurrentImage() +
                  channel.CurrentDetail() + ";";
    }
    EXPECT_EQ(walked, "aa&a.pnga!;bb&b.pngb!;cc&c.pngc!;");
    EXPECT_EQ(channel.MoveNext(), nullptr);
    EXPECT_EQ(channel.CurrentHeadline(), "");
}

TEST(FeedChannel, FindByHeadlineGivesTheFirstMatchAndLeavesTheCursor) {
    FeedChannel channel;
    Fill(channel, {{"x", "1"}, {"dup", "first"}, {"dup", "second"}});
    FeedItem* found = channel.FindByHeadline("dup");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->DateText(), "first");
    EXPECT_EQ(channel.Cursor(), found);
    EXPECT_EQ(channel.FindByHeadline("DUP"), nullptr);  // byte for byte
    EXPECT_EQ(channel.Cursor(), nullptr);
}

TEST(FeedChannel, ClearEmptiesEverythingButTheIdentity) {
    FeedChannel channel;
    channel.SetTitle("t");
    channel.SetLink("a%26b");
    channel.SetDescription("d");
    channel.SetDate("2024");
    channel.SetIssuedId("id");
    channel.SetIssuedKey("key");
    Fill(channel, {{"a", ""}, {"b", ""}});
    EXPECT_EQ(channel.Link(), "a&b");

    EXPECT_TRUE(ItemsFollowTheList(channel));
    channel.Clear();
    EXPECT_TRUE(ItemsFollowTheList(channel));
    EXPECT_EQ(channel.Title(), "");
    EXPECT_EQ(channel.Link(), "");
    EXPECT_EQ(channel.Description(), "");
    EXPECT_EQ(channel.DateText(), "");
    EXPECT_EQ(channel.Count(), 0);
    EXPECT_EQ(channel.First(), nullptr);
    EXPECT_EQ(channel.Last(), nullptr);
    EXPECT_EQ(channel.Cursor(), nullptr);
    EXPECT_EQ(channel.IssuedId(), "id");
    EXPECT_EQ(channel.IssuedKey(), "key");
}

TEST(FeedChannel, SwapAndMoveExchangeWholeFeeds) {
    FeedChannel current(ItemColors{1, 2});
    FeedChannel incoming(ItemColors{3, 4});
    Fill(current, {{"old", ""}});
    Fill(incoming, {{"new1", ""}, {"new2", ""}});
    incoming.SetIssuedId("id");
    swap(current, incoming);
    EXPECT_EQ(current.Count(), 2);
    EXPECT_EQ(current.First()->Headline(), "new1");
    EXPECT_EQ(current.IssuedId(), "id");
    EXPECT_EQ(current.Colors().text, 3u);
    EXPECT_EQ(incoming.Count(), 1);
    EXPECT_TRUE(ItemsFollowTheList(current));
    EXPECT_TRUE(ItemsFollowTheList(incoming));

    FeedChannel moved(std::move(current));
    EXPECT_EQ(moved.Count(), 2);
    EXPECT_EQ(moved.Last()->Headline(), "new2");
    EXPECT_TRUE(ItemsFollowTheList(moved));
    EXPECT_TRUE(ItemsFollowTheList(current));
    incoming = std::move(moved);
    EXPECT_EQ(incoming.Count(), 2);
    EXPECT_TRUE(ItemsFollowTheList(incoming));
    EXPECT_TRUE(ItemsFollowTheList(moved));
}

// Items and their texts travel with swaps and moves and stay writable, and
// emptying one feed must not touch another.
TEST(FeedChannel, ItemTextsLiveAsLongAsTheirFeed) {
    const std::string longText(300, 'x');
    FeedChannel a, b;
    Fill(a, {{longText + "1", longText}, {longText + "2", longText}});
    Fill(b, {{longText + "3", longText}});
    FeedItem* item = a.First();
    swap(a, b);
    FeedChannel moved(std::move(b));
    a.Clear();  // the other feed's storage goes; this item's must not
    EXPECT_EQ(item->Headline(), longText + "1");
    item->SetDetail(longText + longText);
    item->SetHeadline("short");
    EXPECT_EQ(moved.First()->Detail(), longText + longText);
    EXPECT_EQ(moved.First()->Headline(), "short");
    EXPECT_EQ(moved.Last()->DateText(), longText);

    moved.Clear();
    Fill(moved, {{"again", ""}});
    EXPECT_EQ(moved.Count(), 1);
    EXPECT_EQ(moved.First()->Headline(), "again");
}

TEST(MergeReadMarks, IdenticalFeedIsNotNewsAndKeepsEveryMark) {
    FeedChannel current, incoming;
    Fill(current, {{"a", "d1", 1}, {"b", "d2", 0}, {"c", "d3", 1}});
    Fill(incoming, {{"a", "d1"}, {"b", "d2"}, {"c", "d3"}});
    EXPECT_FALSE(MergeReadMarks(current, incoming));
    EXPECT_EQ(ReadMarks(incoming), (std::vector<int>{1, 0, 1}));
}

TEST(MergeReadMarks, ChangedDateTextMakesAKnownItemUnreadNews) {
    FeedChannel current, incoming;
    Fill(current, {{"a", "2024-01-01T09:00:00+09:00", 1}, {"b", "x", 1}});
    // The same moment written differently still counts as a change.
    Fill(incoming, {{"a", "2024-01-01T00:00:00Z"}, {"b", "x"}});
    EXPECT_TRUE(MergeReadMarks(current, incoming));
    EXPECT_EQ(ReadMarks(incoming), (std::vector<int>{0, 1}));
}

TEST(MergeReadMarks, UnknownHeadlineIsNewsAndMissingItemsAreNot) {
    FeedChannel current, shorter, longer;
    Fill(current, {{"a", "1", 1}, {"b", "2", 1}, {"c", "3", 1}});
    Fill(shorter, {{"c", "3"}});
    EXPECT_FALSE(MergeReadMarks(current, shorter));
    EXPECT_EQ(ReadMarks(shorter), (std::vector<int>{1}));

    Fill(longer, {{"a", "1"}, {"z", "9"}});
    longer.Last()->read = 1;  // a mark the incoming item had is not kept
    EXPECT_TRUE(MergeReadMarks(current, longer));
    EXPECT_EQ(ReadMarks(longer), (std::vector<int>{1, 0}));
}

TEST(MergeReadMarks, FirstOfTwoEqualCurrentHeadlinesDecides) {
    FeedChannel current, incoming;
    Fill(current, {{"dup", "1", 1}, {"dup", "2", 0}});
    Fill(incoming, {{"dup", "1"}});
    EXPECT_FALSE(MergeReadMarks(current, incoming));
    EXPECT_EQ(ReadMarks(incoming), (std::vector<int>{1}));

    FeedChannel other;
    Fill(other, {{"dup", "2"}});  // matches only the second: a change against the first
    EXPECT_TRUE(MergeReadMarks(current, other));
    EXPECT_EQ(ReadMarks(other), (std::vector<int>{0}));
}

TEST(MergeReadMarks, EmptyHeadlinesMatchEachOther) {
    FeedChannel current, incoming;
    Fill(current, {{"", "1", 1}});
    Fill(incoming, {{"", "1"}});
    EXPECT_FALSE(MergeReadMarks(current, incoming));
    EXPECT_EQ(ReadMarks(incoming), (std::vector<int>{1}));
}

TEST(MergeReadMarks, MemberFormLeavesCursorsWhereTheItemWalkWould) {
    FeedChannel current, incoming;
    Fill(current, {{"a", "1", 1}, {"b", "2", 1}});
    Fill(incoming, {{"b", "2"}, {"a", "1"}});
    EXPECT_FALSE(current.MergeReadMarks(incoming));
    EXPECT_EQ(incoming.Cursor(), nullptr);
    EXPECT_EQ(current.Cursor(), current.First());  // found "a" last

    FeedChannel unknownLast;
    Fill(unknownLast, {{"a", "1"}, {"q", "1"}});
    EXPECT_TRUE(current.MergeReadMarks(unknownLast));
    EXPECT_EQ(current.Cursor(), nullptr);
}

// The merge gives exactly what the item-by-item lookup gives.
TEST(MergeReadMarks, AgreesWithLookupPerItemOnRandomFeeds) {
    std::mt19937 random(12345);
    for (int round = 0; round < 200; ++round) {
        FeedChannel current, incoming, reference;
        std::vector<Entry> currentEntries, incomingEntries;
        const int headlines = 1 + static_cast<int>(random() % 8);
        for (int i = static_cast<int>(random() % 12); i > 0; --i) {
            currentEntries.push_back({"h" + std::to_string(random() % headlines),
                                      "d" + std::to_string(random() % 3),
                                      static_cast<std::uint8_t>(random() % 2)});
        }
        for (int i = static_cast<int>(random() % 12); i > 0; --i) {
            incomingEntries.push_back({"h" + std::to_string(random() % (headlines + 2)),
                                       "d" + std::to_string(random() % 3),
                                       static_cast<std::uint8_t>(random() % 2)});
        }
        Fill(current, currentEntries);
        Fill(incoming, incomingEntries);
        Fill(reference, incomingEntries);

        bool expected = false;
        for (FeedItem* p = reference.First(); p; p = p->Next()) {
            const FeedItem* q = current.FindByHeadline(p->Headline());
            p->read = q ? q->read : 0;
            if (!q || q->DateText() != p->DateText()) {
                p->read = 0;
                expected = true;
            }
        }
        EXPECT_EQ(MergeReadMarks(current, incoming), expected) << "round " << round;
        EXPECT_EQ(ReadMarks(incoming), ReadMarks(reference)) << "round " << round;
    }
}

}  // namespace
}  // namespace velmora
