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
        service_ = std::make_unique<demo::DemoService>(config_);
        ASSERT_TRUE(service_->Start());
    }
    void TearDown() override { service_->Stop(); }

    TransferAnswer Get(const std::string& address, std::uint32_t timeout = 0) {
        return curl_.Get(address, timeout);
    }

    test_support::ScopedEnv savedNoProxy_{"no_proxy"};
    demo::DemoConfig config_;
    std::unique_ptr<demo::DemoService> service_;
    CurlTransfer curl_{TransferLimits{5, 1, 2, kMaxAnswerBytes}};
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
    // A 404 page echoes nothing, so use a path the service answers: the request
    // must reach it at all despite the quote, the blank and the CP932 bytes.
    TransferAnswer answer = Get(service_->BaseUrl() + "/images/2.png?time=\"2005 \x82\xA0\"&x=%2B");
    EXPECT_EQ(answer.kind, Kind::Body);
}

TEST_F(CurlTransferTest, AStopRequestEndsASlowTransfer) {
    service_->SetFault(Fault::Slow);
    std::stop_source stop;
    std::thread stopper([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        stop.request_stop();
    });
    CurlTransfer patient{TransferLimits{5, 1, 30, kMaxAnswerBytes}};
    const auto start = std::chrono::steady_clock::now();
    TransferAnswer answer = patient.Get(service_->ChannelUrl(), 0, stop.get_token());
    stopper.join();
    EXPECT_EQ(answer.kind, Kind::Failed);
    EXPECT_EQ(answer.failure, "cancelled");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace velmora
