#include "core/feed/feed_document.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <algorithm>
#include <string>
#include <vector>

#include "core/feed/feed_channel.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using test_support::TempFolder;
using test_support::WriteFile;

constexpr const char* kRss10 = R"(<?xml version="1.0" encoding="UTF-8"?>
<rdf:RDF xmlns:rdf="http://www.w3.org/1999/02/22-rdf-syntax-ns#"
         xmlns="http://purl.org/rss/1.0/" xmlns:dc="http://purl.org/dc/elements/1.1/">
  <channel rdf:about="http://news.example.jp/">
    <title>Example News</title>
    <link>http://news.example.jp/?a=1%26b=2</link>
    <description>All the news</description>
    <dc:date>2024-05-01T09:00:00+09:00</dc:date>
  </channel>
  <item rdf:about="http://news.example.jp/1">
    <dc.subject>First</dc.subject>
    <link>http://news.example.jp/1?x=1%26y=2</link>
    <title>Detail one</title>
    <dc:date>2024-05-01T08:00:00+09:00</dc:date>
    <dc.coverage>http://news.example.jp/1.png?s=1%26t=2</dc.coverage>
  </item>
  <item><dc.subject>Second</dc.subject><dc:date>d2</dc:date></item>
  <item><dc.subject>Third</dc.subject><dc:date>d3</dc:date></item>
</rdf:RDF>
)";

class FeedDocument : public ::testing::Test {
  protected:
    DocumentLoad Load(std::string_view bytes) {
        WriteFile(work_, bytes);
        return LoadFeedDocument(work_, channel_);
    }

    // A channel document holding one item with these children.
    DocumentLoad LoadItem(const std::string& children) {
        return Load("<RDF><item>" + children + "</item></RDF>");
    }

    std::vector<std::string> Headlines() const {
        std::vector<std::string> out;
        for (const FeedItem* item = channel_.First(); item; item = item->Next()) {
            out.emplace_back(item->Headline());
        }
        return out;
    }

    void ExpectFailed(DocumentLoad result) {
        EXPECT_EQ(result, DocumentLoad::Unreadable);
        EXPECT_EQ(channel_.Count(), 0);
        EXPECT_EQ(channel_.First(), nullptr);
        EXPECT_EQ(channel_.Title(), "");
    }

    TempFolder folder_;
    std::filesystem::path work_ = folder_ / "LUM1A2B.tmp";
    FeedChannel channel_{ItemColors{0x10, 0x20}};
};

TEST_F(FeedDocument, Rss10WithPrefixesGivesChannelAndItemsInOrder) {
    ASSERT_EQ(Load(kRss10), DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "Example News");
    EXPECT_EQ(channel_.Link(), "http://news.example.jp/?a=1&b=2");
    EXPECT_EQ(channel_.Description(), "All the news");
    EXPECT_EQ(channel_.DateText(), "2024-05-01T09:00:00+09:00");
    ASSERT_EQ(channel_.Count(), 3);
    EXPECT_EQ(Headlines(), (std::vector<std::string>{"First", "Second", "Third"}));

    const FeedItem* first = channel_.First();
    EXPECT_EQ(first->Link(), "http://news.example.jp/1?x=1&y=2");
    EXPECT_EQ(first->Detail(), "Detail one");
    EXPECT_EQ(first->DateText(), "2024-05-01T08:00:00+09:00");
    EXPECT_EQ(first->Image(), "http://news.example.jp/1.png?s=1&t=2");
    for (const FeedItem* item = first; item; item = item->Next()) {
        EXPECT_EQ(item->read, 0);
        EXPECT_EQ(item->textColor, 0x10u);
        EXPECT_EQ(item->readTextColor, 0x20u);
    }
}

TEST_F(FeedDocument, EmergencySubjectTurnsTheItemRed) {
    ASSERT_EQ(Load(R"(<r:RDF xmlns:r="urn:r" xmlns:dc="urn:dc">
        <item><dc:subject>emergency</dc:subject></item>
        <item><subject>Emergency</subject><dc.subject>calm</dc.subject></item>
        <item><dc:subject>emergency </dc:subject></item>
        <item><dc:subject>other</dc:subject><dc:subject>emergency</dc:subject></item>
      </r:RDF>)"),
              DocumentLoad::Loaded);
    ASSERT_EQ(channel_.Count(), 4);
    const FeedItem* item = channel_.First();
    EXPECT_EQ(item->textColor, 255u);
    EXPECT_EQ(item->Headline(), "");  // dc:subject is not the headline dc.subject
    item = item->Next();
    EXPECT_EQ(item->textColor, 0x10u);
    EXPECT_EQ(item->Headline(), "calm");
    EXPECT_EQ(item->Next()->textColor, 0x10u);
    EXPECT_EQ(item->Next()->Next()->textColor, 0x10u);  // only the first subject counts
}

TEST_F(FeedDocument, FirstChildOfEachNameWinsInItemAndChannel) {
    ASSERT_EQ(Load(R"(<RDF>
        <channel><title>T1</title><title>T2</title><link>L1</link><link>L2</link></channel>
        <item><link>first</link><link>second</link><dc.subject>h</dc.subject>
              <dc.subject>h2</dc.subject><title>d</title><title>d2</title>
              <date>1</date><date>2</date><dc.coverage>i</dc.coverage><dc.coverage>j</dc.coverage>
        </item></RDF>)"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "T1");
    EXPECT_EQ(channel_.Link(), "L1");
    ASSERT_EQ(channel_.Count(), 1);
    const FeedItem* item = channel_.First();
    EXPECT_EQ(item->Link(), "first");
    EXPECT_EQ(item->Headline(), "h");
    EXPECT_EQ(item->Detail(), "d");
    EXPECT_EQ(item->DateText(), "1");
    EXPECT_EQ(item->Image(), "i");
}

TEST_F(FeedDocument, EachChannelElementIsReadInTurn) {
    ASSERT_EQ(Load("<RDF><channel><title>A</title><date>1</date></channel>"
                   "<channel><title>B</title></channel></RDF>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "B");
    EXPECT_EQ(channel_.DateText(), "1");
}

TEST_F(FeedDocument, ItemsOutsideTheRootLevelAreIgnored) {
    // Items inside the channel: the channel's fields and no items.
    ASSERT_EQ(Load("<RDF><channel><title>T</title><item><dc.subject>x</dc.subject></item>"
                   "</channel><wrap><item/></wrap></RDF>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "T");
    EXPECT_EQ(channel_.Count(), 0);
}

TEST_F(FeedDocument, Rss20DocumentIsAnEmptyChannel) {
    ASSERT_EQ(Load(R"(<?xml version="1.0"?><rss version="2.0"><channel><title>T</title>
        <item><title>x</title></item></channel></rss>)"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "");
    EXPECT_EQ(channel_.Count(), 0);
}

TEST_F(FeedDocument, IdentityDocumentSetsIdAndKeyLastWins) {
    ASSERT_EQ(Load("<LuMoClient><id>first</id><key>k1</key><id>C0001</id><key>K9</key>"
                   "<other>x</other></LuMoClient>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.IssuedId(), "C0001");
    EXPECT_EQ(channel_.IssuedKey(), "K9");
    EXPECT_EQ(channel_.Count(), 0);

    // A later channel document without an identity keeps it.
    ASSERT_EQ(Load(kRss10), DocumentLoad::Loaded);
    EXPECT_EQ(channel_.IssuedId(), "C0001");
    EXPECT_EQ(channel_.IssuedKey(), "K9");
    EXPECT_EQ(channel_.Count(), 3);
}

TEST_F(FeedDocument, LoadReplacesWhatTheChannelHeld) {
    ASSERT_EQ(Load(kRss10), DocumentLoad::Loaded);
    ASSERT_EQ(Load("<RDF><item><dc.subject>only</dc.subject></item></RDF>"), DocumentLoad::Loaded);
    EXPECT_EQ(Headlines(), (std::vector<std::string>{"only"}));
    EXPECT_EQ(channel_.Title(), "");
}

TEST_F(FeedDocument, MissingDateIsEmptyAndALaterDateIsNews) {
    ASSERT_EQ(LoadItem("<dc.subject>h</dc.subject>"), DocumentLoad::Loaded);
    ASSERT_EQ(channel_.Count(), 1);
    EXPECT_EQ(channel_.First()->DateText(), "");
    channel_.First()->read = 1;

    FeedChannel incoming;
    WriteFile(work_, "<RDF><item><dc.subject>h</dc.subject><date>now</date></item></RDF>");
    ASSERT_EQ(LoadFeedDocument(work_, incoming), DocumentLoad::Loaded);
    EXPECT_TRUE(MergeReadMarks(channel_, incoming));
    EXPECT_EQ(incoming.First()->read, 0);
}

TEST_F(FeedDocument, TextIsAllDescendantTextWithLineBreaksFolded) {
    ASSERT_EQ(
        LoadItem(
            "<dc.subject>Big <b>news</b> <![CDATA[<today>]]>&amp; more<!-- c --></dc.subject>"
            "<title>line1\r\nline2\nline3&#13;line4&#13;&#10;end</title>"
            // "ニュース" then a break: in UTF-8 the byte before it looks
            // like a CP932 lead byte.
            "<link>\xe3\x83\x8b\xe3\x83\xa5\xe3\x83\xbc\xe3\x82\xb9\n\xe3\x83\x8b\r\nx</link>"),
        DocumentLoad::Loaded);
    EXPECT_EQ(channel_.First()->Headline(), "Big news <today>& more");
    EXPECT_EQ(channel_.First()->Detail(), "line1 line2 line3 line4 end");
    EXPECT_EQ(channel_.First()->Link(), "\x83\x6a\x83\x85\x81\x5b\x83\x58 \x83\x6a x");
}

TEST_F(FeedDocument, InternalEntitiesExpandInText) {
    ASSERT_EQ(Load(R"(<?xml version="1.0"?>
<!DOCTYPE RDF [ <!ENTITY co "Velmora &amp; Co"> <!ENTITY two "&co;/&co;"> ]>
<RDF><channel><title>&two;</title></channel></RDF>)"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "Velmora & Co/Velmora & Co");
}

TEST_F(FeedDocument, TextsAreConvertedToCp932) {
    // UTF-8 "ニュース①" and a character CP932 cannot hold.
    ASSERT_EQ(LoadItem("<dc.subject>\xe3\x83\x8b\xe3\x83\xa5\xe3\x83\xbc\xe3\x82\xb9\xe2\x91\xa0"
                       "</dc.subject><title>\xf0\x9f\x98\x80!</title>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.First()->Headline(), "\x83\x6a\x83\x85\x81\x5b\x83\x58\x87\x40");
    EXPECT_EQ(channel_.First()->Detail(), "?!");
}

TEST_F(FeedDocument, ShiftJisDocumentDecodesAsCp932) {
    // "ニュース", ① (NEC special), 纊 (NEC-selected IBM) and ⅰ (IBM extension):
    // a strict Shift_JIS decoder rejects the last three.
    ASSERT_EQ(
        Load("<?xml version=\"1.0\" encoding=\"Shift_JIS\"?>\n<RDF><item><dc.subject>"
             "\x83\x6a\x83\x85\x81\x5b\x83\x58\x87\x40\xed\x40\xfa\x40</dc.subject></item></RDF>"),
        DocumentLoad::Loaded);
    ASSERT_EQ(channel_.Count(), 1);
    // 纊 comes back in its IBM form, as the platform's own conversion gives it.
    EXPECT_EQ(channel_.First()->Headline(),
              "\x83\x6a\x83\x85\x81\x5b\x83\x58\x87\x40\xfa\x5c\xfa\x40");

    ASSERT_EQ(Load("<?xml version='1.0' encoding='shift-jis'?><RDF><channel><title>\x87\x40"
                   "</title></channel></RDF>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "\x87\x40");
}

TEST_F(FeedDocument, EucJpAndUtf16DocumentsDecode) {
    ASSERT_EQ(Load("<?xml version=\"1.0\" encoding=\"EUC-JP\"?><RDF><channel><title>"
                   "\xa5\xcb\xa5\xe5\xa1\xbc\xa5\xb9</title></channel></RDF>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "\x83\x6a\x83\x85\x81\x5b\x83\x58");

    std::string utf16 = "\xff\xfe";
    for (char c : std::string("<RDF><channel><title>")) utf16 += std::string{c, '\0'};
    utf16 += std::string("\xcb\x30\xe5\x30\xfc\x30\xb9\x30", 8);
    for (char c : std::string("</title></channel></RDF>")) utf16 += std::string{c, '\0'};
    ASSERT_EQ(Load(utf16), DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "\x83\x6a\x83\x85\x81\x5b\x83\x58");
}

TEST_F(FeedDocument, ExternalEntitiesAndDtdsAreNeverLoaded) {
    WriteFile(folder_ / "secret.txt", "TOP-SECRET");
    // With forward slashes: "C:\..." is no URI, and an entity naming one
    // makes the document malformed before anything could be loaded.
    const std::string secret = (folder_ / "secret.txt").generic_string();
    const std::string doc =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE RDF [\n"
        "  <!ENTITY local SYSTEM \"" +
        secret +
        "\">\n"
        "  <!ENTITY passwd SYSTEM \"file:///etc/passwd\">\n"
        "  <!ENTITY remote SYSTEM \"http://127.0.0.1:9/x\">\n"
        "  <!ENTITY % pe SYSTEM \"" +
        secret +
        "\"> %pe;\n"
        "]>\n<RDF><channel><title>[&local;][&passwd;][&remote;]</title>"
        "</channel></RDF>";
    ASSERT_EQ(Load(doc), DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "[][][]");

    ASSERT_EQ(Load("<?xml version=\"1.0\"?>\n<!DOCTYPE RDF SYSTEM \"" + secret +
                   "\">\n<RDF><channel><title>t</title></channel></RDF>"),
              DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), "t");
}

TEST_F(FeedDocument, BillionLaughsIsRefused) {
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE RDF [\n<!ENTITY l0 \"lol\">\n";
    for (int i = 1; i <= 10; ++i) {
        doc += "<!ENTITY l" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) doc += "&l" + std::to_string(i - 1) + ";";
        doc += "\">\n";
    }
    doc += "]>\n<RDF><channel><title>&l10;</title></channel></RDF>";
    ExpectFailed(Load(doc));
}

// Flat expansion that the parser lets through: 100 references to a 100 kB
// entity would make a 10 MB title out of a 100 kB file.
TEST_F(FeedDocument, WideEntityExpansionIsBounded) {
    std::string doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE RDF [<!ENTITY big \"" +
                      std::string(100000, 'x') + "\">]>\n<RDF><channel><title>";
    for (int i = 0; i < 100; ++i) doc += "&big;";
    doc += "</title></channel></RDF>";
    ExpectFailed(Load(doc));

    // A modest use of the same entity is fine.
    doc = "<?xml version=\"1.0\"?>\n<!DOCTYPE RDF [<!ENTITY big \"" + std::string(1000, 'x') +
          "\">]>\n<RDF><channel><title>&big;&big;</title></channel></RDF>";
    ASSERT_EQ(Load(doc), DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Title(), std::string(2000, 'x'));
}

TEST_F(FeedDocument, UnreadableOrMalformedInputReports58) {
    FeedItem scratch;
    auto prefill = [&] {
        channel_.SetTitle("old");
        channel_.AppendCopy(scratch);
    };

    prefill();
    ExpectFailed(Load(""));
    prefill();
    ExpectFailed(Load("<RDF><item><dc.subject>cut"));
    prefill();
    ExpectFailed(Load("<RDF></rdf>"));
    prefill();
    ExpectFailed(Load(std::string("\x00\x01\x02\xff\xfe\x00<\x00", 8)));
    prefill();
    ExpectFailed(Load("<RDF><item>ok</item></RDF><RDF/>"));
    prefill();
    ExpectFailed(LoadFeedDocument(folder_ / "missing.tmp", channel_));
    prefill();
    ExpectFailed(LoadFeedDocument(folder_.path(), channel_));  // a folder
#ifndef _WIN32
    prefill();
    const auto fifo = folder_ / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);  // would block a plain open
    ExpectFailed(LoadFeedDocument(fifo, channel_));
#endif
}

TEST_F(FeedDocument, DeeplyNestedDocumentIsRefused) {
    std::string doc = "<RDF><item><dc.subject>";
    for (int i = 0; i < 100000; ++i) doc += "<a>";
    doc += "x";
    for (int i = 0; i < 100000; ++i) doc += "</a>";
    doc += "</dc.subject></item></RDF>";
    ExpectFailed(Load(doc));
}

TEST_F(FeedDocument, FiftyMegabyteDocumentsEndCleanly) {
    // One 50 MB text: taken whole or refused, depending on the parser's limits.
    std::string doc = "<RDF><item><dc.subject>";
    doc.append(50u << 20, 'x');
    doc += "</dc.subject></item></RDF>";
    const DocumentLoad huge = Load(doc);
    if (huge == DocumentLoad::Unreadable) {
        ExpectFailed(huge);
    } else {
        ASSERT_EQ(channel_.Count(), 1);
        EXPECT_EQ(channel_.First()->Headline().size(), 50u << 20);
    }

    // 50 MB of ordinary items keeps the first ones.
    doc = "<RDF>";
    const std::string item = "<item><dc.subject>headline</dc.subject><title>" +
                             std::string(400, 'd') + "</title><date>d</date></item>\n";
    std::size_t items = 0;
    for (; doc.size() < (50u << 20); ++items) doc += item;
    doc += "</RDF>";
    ASSERT_GT(items, kMaxFeedItems);
    ASSERT_EQ(Load(doc), DocumentLoad::Loaded);
    EXPECT_EQ(channel_.Count(), static_cast<std::int32_t>(kMaxFeedItems));
}

TEST_F(FeedDocument, AFeedKeepsItsFirstTenThousandItemsAndSaysSo) {
    const auto document = [](std::size_t items) {
        std::string doc = "<RDF>";
        for (std::size_t i = 0; i < items; ++i) {
            doc += "<item><dc.subject>h" + std::to_string(i) + "</dc.subject></item>";
        }
        // A channel element after the items is still read.
        return doc + "<channel><title>late title</title></channel></RDF>";
    };

    ::testing::internal::CaptureStderr();
    ASSERT_EQ(Load(document(kMaxFeedItems)), DocumentLoad::Loaded);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(channel_.Count(), 10000);

    ::testing::internal::CaptureStderr();
    ASSERT_EQ(Load(document(kMaxFeedItems + 2345)), DocumentLoad::Loaded);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find(work_.string()), std::string::npos) << said;
    EXPECT_NE(said.find("12345 items; kept the first 10000"), std::string::npos) << said;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1);
    ASSERT_EQ(channel_.Count(), 10000);
    EXPECT_EQ(channel_.First()->Headline(), "h0");
    EXPECT_EQ(channel_.Last()->Headline(), "h9999");
    EXPECT_EQ(channel_.Title(), "late title");
}

// Real-world feeds of every kind: whatever they hold, the loader ends with
// one of its two results and a consistent channel.
TEST_F(FeedDocument, CorpusLoadsWithoutCrashing) {
    const std::filesystem::path corpus = std::filesystem::path(VELMORA_SHARED_DIR) / "corpus";
    if (!std::filesystem::is_directory(corpus)) GTEST_SKIP() << "no corpus at " << corpus;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(corpus)) {
        if (!entry.is_regular_file()) continue;
        ++files;
        const DocumentLoad result = LoadFeedDocument(entry.path(), channel_);
        ASSERT_TRUE(result == DocumentLoad::Loaded || result == DocumentLoad::Unreadable)
            << entry.path();
        if (result == DocumentLoad::Unreadable) {
            EXPECT_EQ(channel_.Count(), 0) << entry.path();
        }
        std::int32_t walked = 0;
        for (const FeedItem* item = channel_.First(); item; item = item->Next()) ++walked;
        EXPECT_EQ(walked, channel_.Count()) << entry.path();
    }
    EXPECT_GT(files, 0);
}

}  // namespace
}  // namespace velmora
