// The libcurl transfer's contract, checked against the demo service on 127.0.0.1.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "core/delivery/curl_transfer.h"
#include "demo_service.h"
#include "support/hive_sandbox.h"

namespace velmora {
namespace {

using demo::Fault;
using ::testing::HasSubstr;
using ::testing::StartsWith;
using Kind = TransferAnswer::Kind;

class CurlTransferTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("no_proxy", "*", 1);
        config_.slowSeconds = 30;
        config_.hugeBytes = 9u * 1024u * 1024u;
        Restart();
    }
    void TearDown() override { service_->Stop(); }

    // A fresh service with what config_ holds now.
    void Restart() {
        if (service_) service_->Stop();
        service_ = std::make_unique<demo::DemoService>(config_);
        ASSERT_TRUE(service_->Start());
    }

    TransferAnswer Get(const std::string& address, std::uint32_t timeout = 0) {
        return curl_.Get(address, timeout);
    }

    test_support::ScopedEnv savedNoProxy_{"no_proxy"};
    demo::DemoConfig config_;
    std::unique_ptr<demo::DemoService> service_;
    CurlTransfer curl_{TransferLimits{.connectSeconds = 5, .lowSpeedSeconds = 2}};
};

TEST_F(CurlTransferTest, SuccessGivesTheBodyBytes) {
    TransferAnswer answer = Get(service_->BaseUrl() + "/images/1.png");
    EXPECT_EQ(answer.kind, Kind::Body);
    EXPECT_EQ(answer.status, 200);
    EXPECT_THAT(answer.bytes, StartsWith("\x89PNG"));
}

TEST_F(CurlTransferTest, ErrorStatusesGiveTheHeaderBlockWithAnHttp11StatusLine) {
    TransferAnswer missing = Get(service_->BaseUrl() + "/nothing/here");
    EXPECT_EQ(missing.kind, Kind::HeaderBlock);
    EXPECT_EQ(missing.status, 404);
    EXPECT_THAT(missing.bytes, StartsWith("HTTP/1.1 404 Not Found\r\n"));
    EXPECT_THAT(missing.bytes, HasSubstr("Content-Length:"));

    TransferAnswer refused = Get(service_->ChannelUrl() + "?cid=C1&auth=0");
    EXPECT_THAT(refused.bytes, StartsWith("HTTP/1.1 401 Unauthorized\r\n"));
    EXPECT_THAT(refused.bytes, ::testing::Not(HasSubstr("bad client")));  // no body

    service_->SetFault(Fault::ServerError);
    EXPECT_THAT(Get(service_->ChannelUrl()).bytes,
                StartsWith("HTTP/1.1 500 Internal Server Error\r\n"));
}

TEST_F(CurlTransferTest, RedirectIsNotFollowed) {
    service_->SetFault(Fault::Redirect);
    TransferAnswer answer = Get(service_->ChannelUrl());
    EXPECT_EQ(answer.kind, Kind::HeaderBlock);
    EXPECT_THAT(answer.bytes, StartsWith("HTTP/1.1 302 Found\r\n"));
    EXPECT_THAT(answer.bytes, HasSubstr("/portal.html"));
    EXPECT_EQ(service_->ServiceRequests(), 1);
}

TEST_F(CurlTransferTest, AnErrorStatusDecidesWhateverLengthItsBodyAnnounces) {
    config_.errorBodyBytes = kMaxAnswerBytes + 1024u * 1024u;
    Restart();
    const struct {
        Fault fault;
        long status;
        const char* statusLine;
    } cases[] = {{Fault::Redirect, 302, "HTTP/1.1 302 Found\r\n"},
                 {Fault::Unauthorized, 401, "HTTP/1.1 401 Unauthorized\r\n"},
                 {Fault::NotFound, 404, "HTTP/1.1 404 Not Found\r\n"}};
    for (const auto& c : cases) {
        service_->SetFault(c.fault);
        TransferAnswer answer = Get(service_->ChannelUrl());
        EXPECT_EQ(answer.kind, Kind::HeaderBlock) << c.status << ": " << answer.failure;
        EXPECT_EQ(answer.status, c.status);
        EXPECT_THAT(answer.bytes, StartsWith(c.statusLine));
        EXPECT_THAT(answer.bytes, HasSubstr(std::to_string(config_.errorBodyBytes)));
        EXPECT_THAT(answer.bytes, ::testing::Not(HasSubstr("xxxx")));  // the body is not read
    }
}

TEST_F(CurlTransferTest, AnswersOverTheCapFail) {
    service_->SetFault(Fault::Huge);
    TransferAnswer answer = Get(service_->ChannelUrl());
    EXPECT_EQ(answer.kind, Kind::Failed);
    EXPECT_TRUE(answer.bytes.empty());
}

TEST_F(CurlTransferTest, OnlyHttpAndHttpsAreFetched) {
    EXPECT_EQ(Get("file:///etc/hostname").kind, Kind::Failed);
    EXPECT_EQ(Get("ftp://127.0.0.1/").kind, Kind::Failed);
    EXPECT_EQ(Get("").kind, Kind::Failed);
}

TEST_F(CurlTransferTest, RawQueryBytesArriveEncodedAndIntact) {
    // The request must reach the service at all despite the quote, the blank
    // and the CP932 bytes, and every value must arrive whole: a '#' would
    // otherwise start a fragment and cut off the rest of the query.
    TransferAnswer answer =
        Get(service_->ChannelUrl() + "?channelID=A#1&gid=G 1&time=\"2005 \x82\xA0\"&x=%2B&auth=0");
    EXPECT_EQ(answer.status, 401);  // no such client, but the query got there
    EXPECT_EQ(service_->LastQueryValue("channelID"), "A#1");
    EXPECT_EQ(service_->LastQueryValue("gid"), "G 1");
    EXPECT_EQ(service_->LastQueryValue("time"), "\"2005 \x82\xA0\"");
    EXPECT_EQ(service_->LastQueryValue("x"), "+");
    EXPECT_EQ(service_->LastQueryValue("auth"), "0");
}

TEST_F(CurlTransferTest, WithoutATimeoutATrickleEndsAtALimitThatSaysWhich) {
    CurlTransfer bounded{
        TransferLimits{.connectSeconds = 5, .lowSpeedSeconds = 2, .overallSeconds = 4}};
    service_->SetFault(Fault::Trickle);
    TransferAnswer slow = bounded.Get(service_->ChannelUrl(), 0);
    EXPECT_EQ(slow.kind, Kind::Failed);
    EXPECT_THAT(slow.failure, HasSubstr("64 bytes/sec"));

    config_.trickleBytesPerSecond = 1000;
    Restart();
    service_->SetFault(Fault::Trickle);
    TransferAnswer steady = bounded.Get(service_->ChannelUrl(), 0);
    EXPECT_EQ(steady.kind, Kind::Failed);
    EXPECT_THAT(steady.failure, HasSubstr("timed out"));
}

TEST_F(CurlTransferTest, AStopRequestEndsASlowTransfer) {
    service_->SetFault(Fault::Slow);
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.request_stop();
    });
    CurlTransfer patient{TransferLimits{.connectSeconds = 5, .lowSpeedSeconds = 30}};
    // The service stays silent far longer than the stop takes to come.
    TransferAnswer answer = patient.Get(service_->ChannelUrl(), 0, stop.get_token());
    stopper.join();
    EXPECT_EQ(answer.kind, Kind::Failed);
    EXPECT_EQ(answer.failure, "cancelled");
}

}  // namespace
}  // namespace velmora
