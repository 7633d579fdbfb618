#include "core/delivery/feed_fetcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/delivery/curl_transfer.h"
#include "core/platform/work_files.h"
#include "support/delivery_fakes.h"
#include "support/delivery_sandbox.h"

namespace velmora {
namespace {

using test_support::BodyAnswer;
using test_support::ChannelDocument;
using test_support::FailedAnswer;
using test_support::FakeTransfer;
using test_support::HeaderAnswer;
using ::testing::ElementsAre;
namespace fs = std::filesystem;

TransferAnswer RawHeaderBlock(std::string bytes) {
    TransferAnswer answer;
    answer.kind = TransferAnswer::Kind::HeaderBlock;
    answer.bytes = std::move(bytes);
    return answer;
}

struct ClassifyCase {
    const char* name;
    TransferAnswer answer;
    FetchResult result;
    std::int32_t code;  // -1: nothing reported
    std::int32_t detail;
};

void PrintTo(const ClassifyCase& c, std::ostream* out) {
    *out << c.name;
}

class ClassifyResponseTest : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(ClassifyResponseTest, GivesResultAndReportsOnce) {
    const ClassifyCase& c = GetParam();
    FakeTransfer transfer;
    ErrorState errors;
    errors.ReportError(82, 7);  // a stale error shows whether anything was reported
    FeedFetcher fetcher(transfer, errors, 0);

    EXPECT_EQ(fetcher.ClassifyResponse(c.answer), c.result);
    if (c.code < 0) {
        EXPECT_EQ(errors.Code(), 82);
        EXPECT_EQ(errors.Detail(), 7);
    } else {
        EXPECT_EQ(errors.Code(), c.code);
        EXPECT_EQ(errors.Detail(), c.detail);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, ClassifyResponseTest,
    ::testing::Values(
        ClassifyCase{"Document", BodyAnswer("<rdf:RDF/>"), FetchResult::Ok, -1, 0},
        // A news text about web servers is still news.
        ClassifyCase{"DocumentMentioningHttp11",
                     BodyAnswer("HTTP/1.1 404 Not Found is what the old server said"),
                     FetchResult::Ok, -1, 0},
        ClassifyCase{"EmptyBody", BodyAnswer(""), FetchResult::Failed, 58, 0},
        ClassifyCase{"TransportFailure", FailedAnswer(), FetchResult::Failed, 58, 0},
        ClassifyCase{"Redirect", HeaderAnswer(302, "Found"), FetchResult::Redirected, -1, 0},
        ClassifyCase{"Unauthorized", HeaderAnswer(401, "Unauthorized"), FetchResult::Failed, 401,
                     401},
        ClassifyCase{"NotFound", HeaderAnswer(404, "Not Found"), FetchResult::Failed, 404, 404},
        ClassifyCase{"ServerError", HeaderAnswer(500, "Internal Server Error"), FetchResult::Failed,
                     58, 0},
        ClassifyCase{"Forbidden", HeaderAnswer(403, "Forbidden"), FetchResult::Failed, 58, 0},
        // Characters 9..11 count, wherever "HTTP/1.1" stands.
        ClassifyCase{"StatusAtFixedPlace",
                     RawHeaderBlock("HTTP/1.0 401 Unauthorized\r\nVia: HTTP/1.1 proxy\r\n"),
                     FetchResult::Failed, 401, 401},
        ClassifyCase{"NoStatusLine", RawHeaderBlock("Location: /\r\n"), FetchResult::Failed, 58, 0},
        ClassifyCase{"CutShort", RawHeaderBlock("HTTP/1.1 40"), FetchResult::Failed, 58, 0},
        ClassifyCase{"ZeroByteEndsText",
                     RawHeaderBlock(std::string("HTTP/1.1 3\0"
                                                "02",
                                                13)),
                     FetchResult::Failed, 58, 0},
        ClassifyCase{"ZeroByteAfterStatus",
                     RawHeaderBlock(std::string("HTTP/1.1 404\0garbage", 20)), FetchResult::Failed,
                     404, 404}),
    [](const ::testing::TestParamInfo<ClassifyCase>& info) { return info.param.name; });

class FeedFetcherTest : public test_support::DeliverySandbox {
  protected:
    std::vector<std::string> WorkFilesNow() { return test_support::FolderEntries(TempDir()); }

    FakeTransfer transfer_;
    ErrorState errors_;
    FeedChannel channel_;
};

TEST_F(FeedFetcherTest, LoadsDocumentThroughAnEmptyFreshWorkFile) {
    transfer_.Answer("http://a/", BodyAnswer(ChannelDocument({{"one", "d1"}, {"two", "d2"}})));
    std::vector<std::string> seen;
    transfer_.during = [&](const std::string&) {
        seen = WorkFilesNow();
        ASSERT_EQ(seen.size(), 1u);
        ExpectFreshWorkFile(TempDir() / seen[0]);
    };
    FeedFetcher fetcher(transfer_, errors_, 0);

    EXPECT_EQ(fetcher.FetchFeed("http://a/rss?x=1", channel_), FetchResult::Ok);
    EXPECT_EQ(channel_.Count(), 2);
    EXPECT_EQ(errors_.Code(), 0);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_THAT(WorkFilesNow(), ::testing::IsEmpty());
}

TEST_F(FeedFetcherTest, HandsAddressAndTimeoutToTheTransferUnchanged) {
    transfer_.Answer("http://a/", HeaderAnswer(404, "Not Found"));
    FeedFetcher withoutLimit(transfer_, errors_, 0);
    FeedFetcher withLimit(transfer_, errors_, 45);

    withoutLimit.FetchFeed("http://a/rss?time=\"x\"", channel_);
    withLimit.FetchFeed("http://a/rss", channel_);
    ASSERT_EQ(transfer_.calls.size(), 2u);
    EXPECT_EQ(transfer_.calls[0].address, "http://a/rss?time=\"x\"");
    EXPECT_EQ(transfer_.calls[0].timeoutSeconds, 0u);
    EXPECT_EQ(transfer_.calls[1].timeoutSeconds, 45u);
}

TEST_F(FeedFetcherTest, FailuresAndRedirectsLoadNothingAndLeaveNoWorkFile) {
    transfer_.Answer("http://404/", HeaderAnswer(404, "Not Found"));
    transfer_.Answer("http://302/", HeaderAnswer(302, "Found"));
    transfer_.Answer("http://broken/", BodyAnswer("<rdf:RDF><item>"));
    transfer_.Answer("http://dead/", FailedAnswer());
    FeedFetcher fetcher(transfer_, errors_, 0);

    EXPECT_EQ(fetcher.FetchFeed("http://404/", channel_), FetchResult::Failed);
    EXPECT_EQ(errors_.Code(), 404);
    EXPECT_EQ(fetcher.FetchFeed("http://broken/", channel_), FetchResult::Failed);
    EXPECT_EQ(errors_.Code(), 58);
    EXPECT_EQ(fetcher.FetchFeed("http://dead/", channel_), FetchResult::Failed);
    EXPECT_EQ(errors_.Code(), 58);
    errors_.ReportError(0, 0);
    EXPECT_EQ(fetcher.FetchFeed("http://302/", channel_), FetchResult::Redirected);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(channel_.Count(), 0);
    EXPECT_THAT(WorkFilesNow(), ::testing::IsEmpty());
}

TEST_F(FeedFetcherTest, AGivenUpTransferIsNamedOnStderrWithoutItsQuery) {
    transfer_.Answer("http://slow/", FailedAnswer("Operation too slow"));
    FeedFetcher fetcher(transfer_, errors_, 0);

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fetcher.FetchFeed("http://slow/rss/channel.cgi?cid=C1&auth=0123", channel_),
              FetchResult::Failed);
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, "velmora: http://slow/rss/channel.cgi: Operation too slow; attempt given up\n");
}

TEST_F(FeedFetcherTest, WorkFileIsGoneEvenWhenTheTransferThrows) {
    transfer_.throwOnNextCall = true;
    FeedFetcher fetcher(transfer_, errors_, 0);
    EXPECT_THROW(fetcher.FetchFeed("http://a/", channel_), std::runtime_error);
    EXPECT_THAT(WorkFilesNow(), ::testing::IsEmpty());
}

TEST_F(FeedFetcherTest, MissingTemporaryFolderIsError82WithTheSystemError) {
    test_support::SetEnv(kTempVariable, platform::PathText(TempDir() / "missing"));
    FeedFetcher fetcher(transfer_, errors_, 0);

    EXPECT_EQ(fetcher.FetchFeed("http://a/", channel_), FetchResult::Failed);
    EXPECT_EQ(errors_.Code(), 82);
    EXPECT_EQ(errors_.Detail(), ENOENT);
    EXPECT_TRUE(transfer_.calls.empty());
}

TEST_F(FeedFetcherTest, DownloadWritesTheWholeAnswerZeroBytesIncluded) {
    const std::string bytes("<a>x</a>\0tail after zero", 24);
    transfer_.Answer("http://a/", BodyAnswer(bytes));
    FeedFetcher fetcher(transfer_, errors_, 0);
    const fs::path file = TempDir() / "answer.tmp";
    test_support::WriteBytes(file, "older and longer content that must go away entirely");

    EXPECT_EQ(fetcher.DownloadToFile("http://a/", file), FetchResult::Ok);
    EXPECT_EQ(test_support::ReadBytes(file), bytes);
    fs::remove(file);
}

TEST_F(FeedFetcherTest, UnwritableWorkFileIsError82) {
    transfer_.Answer("http://a/", BodyAnswer("<a/>"));
    FeedFetcher fetcher(transfer_, errors_, 0);

    EXPECT_EQ(fetcher.DownloadToFile("http://a/", TempDir() / "no" / "such.tmp"),
              FetchResult::Failed);
    EXPECT_EQ(errors_.Code(), 82);
    EXPECT_EQ(errors_.Detail(), ENOENT);
}

TEST_F(FeedFetcherTest, WorkFilesAreUnique) {
    std::error_code error = std::make_error_code(std::errc::io_error);
    fs::path a = platform::CreateWorkFile(error);
    fs::path b = platform::CreateWorkFile(error);
    EXPECT_FALSE(error);
    EXPECT_NE(a, b);
    EXPECT_EQ(a.parent_path(), TempDir());
    fs::remove(a);
    fs::remove(b);
}

TEST(EncodeUrlBytes, EncodesOnlyBytesThatCannotStandInAnAddressOrWouldChangeIt) {
    EXPECT_EQ(EncodeUrlBytes("http://h:8/p?a=1&t=\"2005-09-16T08:05:03%2B09:00\"&c=A#1?x"),
              "http://h:8/p?a=1&t=%222005-09-16T08:05:03%2B09:00%22&c=A%231?x");
    EXPECT_EQ(EncodeUrlBytes("?g=a b\x82\xA0|\x7F\x01"), "?g=a%20b%82%A0%7C%7F%01");
    EXPECT_EQ(EncodeUrlBytes("<>\\^`{}"), "%3C%3E%5C%5E%60%7B%7D");
}

TEST(HeaderBlock, RewritesTheStatusLineAndKeepsTheHeaders) {
    EXPECT_EQ(HeaderBlock(404, "HTTP/1.0 404 Nicht gefunden\r\nA: b\r\n\r\n"),
              "HTTP/1.1 404 Nicht gefunden\r\nA: b\r\n\r\n");
    EXPECT_EQ(HeaderBlock(302, "HTTP/2 302\r\nlocation: /x\r\n\r\n"),
              "HTTP/1.1 302 Found\r\nlocation: /x\r\n\r\n");
    EXPECT_EQ(HeaderBlock(500, ""), "HTTP/1.1 500 Internal Server Error\r\n");
}

}  // namespace
}  // namespace velmora
