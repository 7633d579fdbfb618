#include "core/feed/item_store.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <ctime>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/feed/feed_document.h"
#include "core/feed/profile_file.h"
#include "support/hive_sandbox.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test_support::ReadFile;
using test_support::TempFolder;
using test_support::WriteFile;

struct Stored {
    Stored(std::string headline, std::string link = {}, std::string detail = {},
           std::string date = {}, std::string image = {}, std::uint8_t read = 0,
           std::uint32_t textColor = 0, std::uint32_t readTextColor = 0xFFFFFF)
        : headline(std::move(headline)),
          link(std::move(link)),
          detail(std::move(detail)),
          date(std::move(date)),
          image(std::move(image)),
          read(read),
          textColor(textColor),
          readTextColor(readTextColor) {}

    std::string headline, link, detail, date, image;
    std::uint8_t read;
    std::uint32_t textColor, readTextColor;
};

void Append(FeedChannel& channel, const Stored& s) {
    FeedItem scratch(channel.Colors());
    scratch.SetHeadline(s.headline);
    scratch.SetLink(s.link);
    scratch.SetDetail(s.detail);
    scratch.SetDate(s.date);
    scratch.SetImage(s.image);
    scratch.textColor = s.textColor;
    scratch.readTextColor = s.readTextColor;
    channel.AppendCopy(scratch)->read = s.read;
}

std::vector<std::string> Headlines(const FeedChannel& channel) {
    std::vector<std::string> out;
    for (const FeedItem* item = channel.First(); item; item = item->Next()) {
        out.emplace_back(item->Headline());
    }
    return out;
}

class ItemStore : public ::testing::Test {
  protected:
    FeedChannel Reload() {
        FeedChannel loaded(ItemColors{0x123456, 0x654321});
        EXPECT_TRUE(LoadItemStore(file_, loaded));
        return loaded;
    }

    TempFolder folder_;
    std::filesystem::path file_ = folder_ / "VELMORA.dat";
};

TEST_F(ItemStore, MissingFileOrSectionLoadsAnEmptyChannel) {
    FeedChannel channel = Reload();
    EXPECT_EQ(channel.Count(), 0);
    WriteFile(file_, "[Other]\nTitle=x\nTitle1=y\n");
    channel = Reload();
    EXPECT_EQ(channel.Count(), 0);
    EXPECT_EQ(channel.Title(), "");
    EXPECT_EQ(channel.Link(), "");
    EXPECT_EQ(channel.DateText(), "");
}

TEST_F(ItemStore, SaveWritesTheKeysInOrder) {
    FeedChannel channel;
    channel.SetTitle("Channel");
    channel.SetLink("http://x/?a=1%26b=2");
    channel.SetDate("2024-05-01");
    channel.SetDescription("not stored");
    channel.SetIssuedId("not stored either");
    Append(channel, {"One", "http://x/1?p=1&q=2", "Detail", "d1", "http://x/1.png", 1, 255, 0});
    Append(channel, {"Two", "", "", "", "", 0, 0xFFFFFFFF, 0xFFFFFF});
    ASSERT_TRUE(SaveItemStore(file_, channel));
    EXPECT_EQ(ReadFile(file_),
              "[Subscription]\r\nTitle=Channel\r\nURL=http://x/?a=1&b=2\r\nDateStr=2024-05-01\r\n"
              "Title1=One\r\nURL1=http://x/1?p=1&q=2\r\nDescription1=Detail\r\nDateStr1=d1\r\n"
              "Readed1=1\r\nTextColor1=255\r\nReadTextColor1=0\r\nIMAGE1=http://x/1.png\r\n"
              "Title2=Two\r\nURL2=\r\nDescription2=\r\nDateStr2=\r\nReaded2=0\r\n"
              "TextColor2=-1\r\nReadTextColor2=16777215\r\nIMAGE2=\r\n");
}

TEST_F(ItemStore, RoundTripKeepsEveryStoredField) {
    FeedChannel channel;
    channel.SetTitle("\x83\x6a\x83\x85\x81\x5b\x83\x58");
    channel.SetLink("http://x/?a=1&b=2");
    channel.SetDate("2024-05-01T09:00:00+09:00");
    Append(channel,
           {"Emergency", "http://x/1?p=1&q=2", "Detail", "d1", "http://x/i?a&b", 0, 255, 0xFFFFFF});
    Append(channel, {"Read", "l", "d", "d2", "i", 1, 0x00FF00, 0x808080});
    Append(channel, {"Negative", "", "", "", "", 1, 0xFFFFFFFF, 0x80000000});
    ASSERT_TRUE(SaveItemStore(file_, channel));

    const FeedChannel loaded = Reload();
    EXPECT_EQ(loaded.Title(), channel.Title());
    EXPECT_EQ(loaded.Link(), "http://x/?a=1&b=2");
    EXPECT_EQ(loaded.DateText(), channel.DateText());
    ASSERT_EQ(loaded.Count(), 3);
    for (const FeedItem *a = channel.First(), *b = loaded.First(); a;
         a = a->Next(), b = b->Next()) {
        EXPECT_EQ(b->Headline(), a->Headline());
        EXPECT_EQ(b->Link(), a->Link());
        EXPECT_EQ(b->Detail(), a->Detail());
        EXPECT_EQ(b->DateText(), a->DateText());
        EXPECT_EQ(b->Image(), a->Image());
        EXPECT_EQ(b->read, a->read);
        EXPECT_EQ(b->textColor, a->textColor);
        EXPECT_EQ(b->readTextColor, a->readTextColor);
    }
}

TEST_F(ItemStore, ListEndsAtTheFirstAbsentTitle) {
    WriteFile(file_,
              "[Subscription]\nTitle1=a\nTitle2=b\nTitle4=d\n");  // item 3 missing
    FeedChannel channel = Reload();
    EXPECT_EQ(Headlines(channel), (std::vector<std::string>{"a", "b"}));

    // Saved before any fetch: only the two loaded items are written.
    ASSERT_TRUE(SaveItemStore(file_, channel));
    EXPECT_EQ(ReadFile(file_).find("Title4"), std::string::npos);
    EXPECT_EQ(Headlines(Reload()), (std::vector<std::string>{"a", "b"}));
}

TEST_F(ItemStore, EmptyHeadlineIsAnItemLikeAnyOther) {
    WriteFile(file_, "[Subscription]\nTitle1=a\nTitle2=\nReaded2=1\nTitle3=c\n");
    EXPECT_EQ(Headlines(Reload()), (std::vector<std::string>{"a", "", "c"}));

    FeedChannel channel;
    Append(channel, {"", "l1", "", "", "", 1});
    Append(channel, {"after", "l2", "", "", "", 0});
    ASSERT_TRUE(SaveItemStore(file_, channel));
    const FeedChannel loaded = Reload();
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.First()->Link(), "l1");
    EXPECT_EQ(loaded.First()->read, 1);
    EXPECT_EQ(loaded.Last()->Headline(), "after");
}

TEST_F(ItemStore, MissingKeysGiveUnreadAndBlackNotTheApplicationColours) {
    WriteFile(file_, "[Subscription]\nTitle1=a\nTitle2=b\nReaded2=7x\nTextColor2=12abc\n");
    const FeedChannel channel = Reload();
    ASSERT_EQ(channel.Count(), 2);
    const FeedItem* a = channel.First();
    EXPECT_EQ(a->read, 0);
    EXPECT_EQ(a->textColor, 0u);
    EXPECT_EQ(a->readTextColor, 0u);
    const FeedItem* b = a->Next();
    EXPECT_EQ(b->read, 1);  // conversion stops at the first non-digit
    EXPECT_EQ(b->textColor, 12u);
}

TEST_F(ItemStore, NamesAreReadWithoutRegardToCaseAndLinksAreUnescaped) {
    WriteFile(file_,
              "[subscription]\r\ntitle = T \r\nurl=a%26b\r\nTITLE1=x\r\nurl1=p%26q\r\n"
              "image1=i%26j\r\nREADED1=1\r\n");
    const FeedChannel channel = Reload();
    EXPECT_EQ(channel.Title(), "T");
    EXPECT_EQ(channel.Link(), "a&b");
    ASSERT_EQ(channel.Count(), 1);
    EXPECT_EQ(channel.First()->Link(), "p&q");
    EXPECT_EQ(channel.First()->Image(), "i&j");
    EXPECT_EQ(channel.First()->read, 1);
}

TEST_F(ItemStore, HeadlinesWithOuterBlanksOrQuotesKeepTheirReadMarks) {
    const std::vector<std::string> headlines = {" leading", "trailing ", "\"quoted\"", "'single'",
                                                "\"open",   "x\"",       "\t"};
    FeedChannel current;
    for (const auto& h : headlines) Append(current, {h, "", "", "date", "", 1});
    ASSERT_TRUE(SaveItemStore(file_, current));

    FeedChannel restored = Reload();
    EXPECT_EQ(Headlines(restored), headlines);

    // The next fetch brings the same items: nothing is news, every mark stays.
    FeedChannel incoming;
    for (const auto& h : headlines) Append(incoming, {h, "", "", "date", "", 0});
    EXPECT_FALSE(MergeReadMarks(restored, incoming));
    for (const FeedItem* item = incoming.First(); item; item = item->Next()) {
        EXPECT_EQ(item->read, 1) << item->Headline();
    }
}

TEST_F(ItemStore, LineBreaksInTextsBecomeOneSpaceAndKeepLaterKeys) {
    FeedChannel channel;
    channel.SetTitle("two\r\nlines");
    Append(channel, {"head\nline", "l", "a\r\nb\rc\nd", "d", "i", 1});
    Append(channel, {"second", "l2", "", "", "", 0});
    ASSERT_TRUE(SaveItemStore(file_, channel));
    const FeedChannel loaded = Reload();
    EXPECT_EQ(loaded.Title(), "two lines");
    ASSERT_EQ(loaded.Count(), 2);
    EXPECT_EQ(loaded.First()->Headline(), "head line");
    EXPECT_EQ(loaded.First()->Detail(), "a b c d");
    EXPECT_EQ(loaded.First()->Image(), "i");
    EXPECT_EQ(loaded.First()->read, 1);
    EXPECT_EQ(loaded.Last()->Link(), "l2");
}

TEST_F(ItemStore, LongValuesAreCutAt1023BytesOnReading) {
    FeedChannel channel;
    std::string detail;
    for (int i = 0; i < 700; ++i) detail += "\x83\x6a";  // byte 1023 is a lead byte
    Append(channel, {std::string(3000, 'h'), "", detail, "", ""});
    ASSERT_TRUE(SaveItemStore(file_, channel));
    EXPECT_NE(ReadFile(file_).find(std::string(3000, 'h')), std::string::npos);  // written whole
    const FeedChannel loaded = Reload();
    ASSERT_EQ(loaded.Count(), 1);
    EXPECT_EQ(loaded.First()->Headline(), std::string(1023, 'h'));
    EXPECT_EQ(loaded.First()->Detail(), detail.substr(0, 1022));
}

TEST_F(ItemStore, SaveKeepsOtherSectionsAndEmptyChannelKeepsThreeKeys) {
    const std::string before = "; kept\n[Before]\nA = 1\n\n";
    const std::string after = "[After]\r\nB=\"2\"\r\n";
    WriteFile(file_, before + "[Subscription]\nTitle1=old\nTitle2=old2\n" + after);
    ASSERT_TRUE(SaveItemStore(file_, FeedChannel()));
    EXPECT_EQ(ReadFile(file_), before + after + "[Subscription]\r\nTitle=\r\nURL=\r\nDateStr=\r\n");
    EXPECT_EQ(Reload().Count(), 0);
}

TEST_F(ItemStore, SaveDoesNotReplaceAFileItCannotRead) {
    const auto folderTarget = folder_ / "a-folder";
    std::filesystem::create_directory(folderTarget);
    FeedChannel channel;
    Append(channel, {"x"});
    EXPECT_FALSE(SaveItemStore(folderTarget, channel));
    EXPECT_TRUE(std::filesystem::is_directory(folderTarget));
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"a-folder"});
    EXPECT_FALSE(LoadItemStore(folderTarget, channel));
}

// A store is capped like a fetched feed: the first items are kept, and a
// file too large to read is set aside whole by the next save, never cut.
TEST_F(ItemStore, OversizeStoreIsCappedAndNeverCut) {
    FeedChannel many;
    for (std::size_t n = 0; n <= kMaxFeedItems; ++n) Append(many, {"item " + std::to_string(n)});
    ASSERT_TRUE(SaveItemStore(file_, many));
    const FeedChannel capped = Reload();
    ASSERT_EQ(capped.Count(), static_cast<int>(kMaxFeedItems));
    EXPECT_EQ(capped.Last()->Headline(), "item 9999");

    std::string huge = "[Subscription]\r\nTitle=old\r\nTitle1=kept aside\r\n[Junk]\r\n";
    huge.resize(kMaxItemStoreBytes + 1, 'j');
    WriteFile(file_, huge);
    FeedChannel channel;
    EXPECT_FALSE(LoadItemStore(file_, channel));
    EXPECT_EQ(channel.Count(), 0);

    // One set aside by an earlier start gives way to the newer one.
    auto aside = file_;
    aside += ".too-large";
    WriteFile(aside, "older");
    Append(channel, {"fresh"});
    ASSERT_TRUE(SaveItemStore(file_, channel));
    EXPECT_EQ(Headlines(Reload()), std::vector<std::string>{"fresh"});
    EXPECT_EQ(ReadFile(aside), huge);
}

#ifndef _WIN32
// FIFOs, file size limits and modes: what POSIX alone has.
TEST_F(ItemStore, SomethingOtherThanAFileIsNeitherReadNorReplaced) {
    ASSERT_EQ(::mkfifo(file_.c_str(), 0600), 0);  // would block a plain open
    FeedChannel channel;
    EXPECT_FALSE(LoadItemStore(file_, channel));
    EXPECT_FALSE(SaveItemStore(file_, channel));
    struct stat st {};
    ASSERT_EQ(::lstat(file_.c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"VELMORA.dat"});
}

// A write that fails for real (the file size limit in a child process): the
// old file stays as it was and no temporary file is left behind.
TEST_F(ItemStore, FailedWriteLeavesThePreviousFileIntact) {
    FeedChannel old;
    old.SetTitle("previous");
    Append(old, {"kept", "", "", "", "", 1});
    ASSERT_TRUE(SaveItemStore(file_, old));
    const std::string previous = ReadFile(file_);

    FeedChannel big;
    for (int i = 0; i < 2000; ++i)
        Append(big, {"item " + std::to_string(i), std::string(200, 'l')});

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);  // a write past the limit fails with EFBIG instead
        const rlimit limit{64 * 1024, 64 * 1024};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        ::_exit(SaveItemStore(file_, big) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << "the save should have reported its failure";

    EXPECT_EQ(ReadFile(file_), previous);
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"VELMORA.dat"});
    const FeedChannel loaded = Reload();
    EXPECT_EQ(loaded.Title(), "previous");
    EXPECT_EQ(Headlines(loaded), std::vector<std::string>{"kept"});
}

// A folder the process may not write to: the save fails cleanly.
TEST_F(ItemStore, FolderWithoutWriteAccessFailsCleanly) {
    FeedChannel old;
    Append(old, {"kept"});
    ASSERT_TRUE(SaveItemStore(file_, old));
    const std::string previous = ReadFile(file_);
    ASSERT_EQ(::chmod(folder_.path().c_str(), 0555), 0);
    ASSERT_EQ(::chmod(file_.c_str(), 0644), 0);
    if (::geteuid() == 0) {
        // Denied before it reaches the folder, the save would fail for another reason.
        if (const std::string why = test_support::WhyNobodyCannotUse(folder_.path());
            !why.empty()) {
            ::chmod(folder_.path().c_str(), 0700);
            GTEST_SKIP() << why;
        }
    }

    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Root may write anywhere: drop to an ordinary user first.
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(2);
        FeedChannel channel;
        Append(channel, {"new"});
        ::_exit(SaveItemStore(file_, channel) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ::chmod(folder_.path().c_str(), 0700);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(ReadFile(file_), previous);
    EXPECT_EQ(folder_.Names(), std::vector<std::string>{"VELMORA.dat"});
}

#endif  // _WIN32

// The store is read in one pass over the section; what it gives must be what
// looking up "Title" + n, "URL" + n ... one key at a time gives, on files in
// any order, with repeated keys, odd numbers, other cases and a second section.
TEST_F(ItemStore, ReadsWhatKeyByKeyLookupsWouldOnShuffledFiles) {
    const char* const names[] = {"Title",  "URL",       "Description",   "DateStr",
                                 "Readed", "TextColor", "ReadTextColor", "IMAGE"};
    std::mt19937 random(7);
    for (int round = 0; round < 200; ++round) {
        std::vector<std::string> lines;
        const int items = static_cast<int>(random() % 6);
        for (int n = 0; n <= items + 1; ++n) {
            for (const char* name : names) {
                if (random() % 5 == 0) continue;  // a gap
                std::string key = name;
                if (random() % 4 == 0) key[0] = static_cast<char>(key[0] ^ 0x20);  // other case
                if (n > 0) key += (random() % 15 == 0 ? "0" : "") + std::to_string(n);
                if (random() % 20 == 0) key = "Title0";
                lines.push_back(key + "=" + std::to_string(random() % 3) + "v" + std::to_string(n));
                if (random() % 4 == 0) lines.push_back(key + "=repeated");
            }
        }
        if (random() % 10 == 0) lines.push_back("Title99999999999=x");
        std::shuffle(lines.begin(), lines.end(), random);
        std::string text = "[Subscription]\n";
        for (const std::string& line : lines) text += line + "\n";
        text += "[subscription]\nTitle1=second section\n";
        WriteFile(file_, text);

        // The lookups the store makes, one key at a time.
        const ProfileFile profile = ProfileFile::Parse(text);
        const auto get = [&](const std::string& key) {
            return profile.Get(kItemStoreSection, key);
        };
        const FeedChannel loaded = Reload();
        SCOPED_TRACE(text);
        EXPECT_EQ(loaded.Title(), get("Title"));
        EXPECT_EQ(loaded.DateText(), get("DateStr"));
        const FeedItem* item = loaded.First();
        int n = 1;
        for (; profile.Find(kItemStoreSection, "Title" + std::to_string(n)); ++n) {
            const std::string number = std::to_string(n);
            ASSERT_NE(item, nullptr);
            EXPECT_EQ(item->Headline(), get("Title" + number));
            EXPECT_EQ(item->Detail(), get("Description" + number));
            EXPECT_EQ(item->DateText(), get("DateStr" + number));
            const std::string readed = get("Readed" + number);  // "2v1" is read, "0v1" not
            EXPECT_EQ(item->read, !readed.empty() && readed[0] >= '1' && readed[0] <= '9');
            item = item->Next();
        }
        EXPECT_EQ(loaded.Count(), n - 1);
    }
}

// Whatever ends its lines, a store loads in time linear in its size: 32 000
// items with bare CR ends took half a minute when a line's end was looked for
// through the rest of the file.
TEST_F(ItemStore, EveryKindOfLineEndLoadsTheSameInLinearTime) {
    constexpr int kItems = 32000;
    FeedChannel channel;
    for (int n = 0; n < kItems; ++n) Append(channel, {"headline " + std::to_string(n), "url"});
    ASSERT_TRUE(SaveItemStore(file_, channel));
    const std::string crlf = ReadFile(file_);
    for (const std::string end : {"\n", "\r", "\r\n"}) {
        std::string text;
        for (std::size_t at = 0;;) {
            const std::size_t next = crlf.find("\r\n", at);
            text.append(crlf, at, next == std::string::npos ? std::string::npos : next - at);
            if (next == std::string::npos) break;
            text += end;
            at = next + 2;
        }
        WriteFile(file_, text);
        const std::clock_t start = std::clock();
        const FeedChannel loaded = Reload();
        const double seconds = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
        // A bound that a sanitizer build on a busy machine keeps; the quadratic
        // scan needed well over ten times it.
        EXPECT_LT(seconds, 3.0) << "line end " << static_cast<int>(end.back());
        ASSERT_EQ(loaded.Count(), static_cast<int>(kMaxFeedItems));
        EXPECT_EQ(loaded.Last()->Headline(), "headline 9999");
        EXPECT_EQ(loaded.Last()->Link(), "url");
    }
}

}  // namespace
}  // namespace velmora
