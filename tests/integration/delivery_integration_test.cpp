// The delivery cycle with the real transfer against the demo service on 127.0.0.1.

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <thread>

#include "core/delivery/curl_transfer.h"
#include "core/delivery/delivery_cycle.h"
#include "core/delivery/signing.h"
#include "core/delivery/threaded_transfer.h"
#include "core/feed/item_store.h"
#include "core/text/cp932.h"
#include "demo_service.h"
#include "support/delivery_fakes.h"
#include "support/delivery_sandbox.h"

namespace velmora {
namespace {

using demo::DemoService;
using demo::Fault;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// An address on which nothing listens: bound once, then closed again.
std::string RefusingAddress() {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length);
    ::close(fd);
    return "http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/rss/channel.cgi";
}

std::string Line(const char* name, const std::string& value) {
    return std::string("\"") + name + "\"=\"" + value + "\"\n";
}

class DeliveryIntegrationTest : public test_support::DeliverySandbox {
  protected:
    void SetUp() override {
        DeliverySandbox::SetUp();
        setenv("no_proxy", "*", 1);
        config_.clients = {{"C100", "client-password"}};
        config_.groups = {{"G001", "grouppass"}, {"グループ", "パス"}, {"G #1", "gp"}};
        config_.slowSeconds = 30;
        Start(config_);
    }
    void TearDown() override {
        cycle_.reset();
        service_->Stop();
        DeliverySandbox::TearDown();
    }

    void Start(const demo::DemoConfig& config) {
        if (service_) service_->Stop();
        service_ = std::make_unique<DemoService>(config);
        ASSERT_TRUE(service_->Start());
    }

    // The installation's settings; `server2`/`server4` only when given.
    void Install(const std::string& company, const std::string& server1,
                 const std::string& server2 = "", const std::string& machineExtra = "") {
        std::string machine = Line("server1", server1) + Line("server3", service_->AccountUrl()) +
                              Line("Company", company) + machineExtra;
        if (!server2.empty()) machine += Line("server2", server2);
        WriteMachineKey(machine);
        WriteUserKey(Line("GroupID", "G001") + Line("GroupPWD", "grouppass"));
    }
    void Subscribe(const std::string& server1, const std::string& server2 = "",
                   const std::string& machineExtra = "") {
        Install("0", server1, server2, machineExtra);
        WriteUserKey(Line("GroupID", "G001") + Line("GroupPWD", "grouppass") +
                     Line("ClientID", "C100") + Line("ClientPWD", "client-password"));
    }

    DeliveryCycle& Cycle() {
        if (!cycle_) {
            cycle_ = std::make_unique<DeliveryCycle>(ui_, errors_, threaded_, clock_,
                                                     ReadDeliverySettings());
        }
        return *cycle_;
    }
    void MarkAllRead() {
        for (FeedItem* item = Cycle().Current().First(); item; item = item->Next()) item->read = 1;
    }

    std::string TimeoutLine(std::uint32_t seconds) {
        char line[64];
        std::snprintf(line, sizeof line, "\"timeout\"=dword:%08x\n", seconds);
        return line;
    }

    // The bounds for `timeout` 0, short enough for a test.
    static constexpr TransferLimits kLimits{
        .connectSeconds = 2, .lowSpeedSeconds = 2, .overallSeconds = 4};

    demo::DemoConfig config_;
    std::unique_ptr<DemoService> service_;
    test_support::ScopedEnv savedNoProxy_{"no_proxy"};
    CurlTransfer curl_{kLimits};
    BlockingWaiter waiter_;
    ThreadedTransfer threaded_{curl_, waiter_};
    SystemClock clock_;
    test_support::RecordingDeliveryUi ui_;
    ErrorState errors_;
    std::unique_ptr<DeliveryCycle> cycle_;
};

TEST_F(DeliveryIntegrationTest, LoginThenFetchWithAnIdentityTheServiceAccepts) {
    Install("0", service_->ChannelUrl());

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    const std::string id = UserValue("ClientID");
    ASSERT_THAT(id, StartsWith("C"));
    bool known = false;
    for (const demo::Identity& client : service_->Clients()) {
        if (client.id == id) known = client.password == UserValue("ClientPWD");
    }
    EXPECT_TRUE(known) << "the service derived another client password";
    EXPECT_TRUE(ui_.timerRunning);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_EQ(errors_.Code(), 0);
    const std::vector<std::string> headlines = service_->Headlines();
    ASSERT_EQ(Cycle().Current().Count(), static_cast<int>(headlines.size()));
    FeedItem* item = Cycle().Current().First();
    for (const std::string& headline : headlines) {
        EXPECT_EQ(item->Headline(), text::Utf8ToCp932(headline));
        item = item->Next();
    }
    // The emergency item is red; a headline about HTTP/1.1 did not spoil the feed.
    ASSERT_NE(Cycle().Current().First(), nullptr);
    EXPECT_EQ(Cycle().Current().First()->textColor, 255u);
    EXPECT_NE(Cycle().Current().FindByHeadline(
                  text::Utf8ToCp932("ウェブサーバーの HTTP/1.1 対応が全店で完了")),
              nullptr);
    EXPECT_THAT(Cycle().Current().Description(), HasSubstr("|"));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
}

TEST_F(DeliveryIntegrationTest, LoginWithAJapaneseGroupIdGoesThroughEncoded) {
    Install("0", service_->ChannelUrl());
    WriteUserKey(Line("GroupID", "グループ") + Line("GroupPWD", "パス"));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_THAT(UserValue("ClientID"), StartsWith("C"));
}

TEST_F(DeliveryIntegrationTest, ValuesHoldingHashOrBlankReachTheServiceWhole) {
    Install("0", service_->ChannelUrl());
    WriteUserKey(Line("GroupID", "G #1") + Line("GroupPWD", "gp"));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(service_->LastQueryValue("gid"), "G #1");
    const std::string clientId = UserValue("ClientID");
    EXPECT_THAT(clientId, StartsWith("C"));

    for (const char* channel : {"A#1", "A 1", "#", "50%"}) {
        ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "Channel", channel), kRegOk);
        EXPECT_NE(Cycle().RunDeliveryCycle(), CycleResult::Failed) << channel;
        EXPECT_EQ(errors_.Code(), 0) << channel;
        EXPECT_EQ(service_->LastQueryValue("channelID"), channel);
        EXPECT_EQ(service_->LastQueryValue("cid"), clientId) << channel;
    }
    EXPECT_EQ(Cycle().Current().Count(), 6);
}

TEST_F(DeliveryIntegrationTest, AnIssuedIdHoldingQuerySyntaxIsSentAsOneValueAndVerifies) {
    const std::string id = "C&gid=EVIL+1%41;x=";
    config_.clients = {{id, "client-password"}};
    Start(config_);
    Install("0", service_->ChannelUrl());
    WriteUserKey(Line("GroupID", "G001") + Line("ClientID", id) +
                 Line("ClientPWD", "client-password"));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(service_->LastQueryValue("cid"), id);
    EXPECT_EQ(service_->LastQueryValue("gid"), "G001");
}

TEST_F(DeliveryIntegrationTest, ATypedDeliveryNumberHoldingHashRegisters) {
    config_.deliveryNumbers = {{"D#1 2", "pw", "C01"}};
    Start(config_);
    Install("C01", service_->ChannelUrl());
    ui_.Accept("D#1 2", "pw");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(service_->LastQueryValue("del"), "D#1 2");
    EXPECT_EQ(UserValue("DeliveryNo"), "D#1 2");
    EXPECT_THAT(UserValue("ClientID"), StartsWith("C"));
}

TEST_F(DeliveryIntegrationTest, RegistrationAccepted) {
    Install("C01", service_->ChannelUrl());
    ui_.Accept("D1001", "delipass");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(UserValue("DeliveryNo"), "D1001");
    EXPECT_THAT(UserValue("ClientID"), StartsWith("C"));
    EXPECT_THAT(test_support::ReadBytes(UserHive()), ::testing::Not(HasSubstr("delipass")));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
}

TEST_F(DeliveryIntegrationTest, RegistrationRejectedPostsTheClick) {
    Install("C01", service_->ChannelUrl());
    ui_.Accept("D1001", "not-the-password");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 1000);
    EXPECT_EQ(ui_.clicks, 1);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, FindErrorEntry(401).title);
    EXPECT_EQ(UserValue("ClientID"), "<absent>");

    ui_.Accept("D1001", "delipass");
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(ui_.prompts.back(), WrongDeliveryNumberPrompt());
}

TEST_F(DeliveryIntegrationTest, RegistrationCancelled) {
    Install("C01", service_->ChannelUrl());

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 1000);
    EXPECT_EQ(ui_.tip, text::Utf8ToCp932("認証エラー"));
    EXPECT_EQ(service_->ServiceRequests(), 0);
}

TEST_F(DeliveryIntegrationTest, RegistrationFailingWith58) {
    Install("C01", service_->ChannelUrl());
    WriteMachineKey(Line("server3", RefusingAddress()) + Line("Company", "C01"));
    ui_.Accept("D1001", "delipass");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 58);
    EXPECT_EQ(errors_.Detail(), 0);
    EXPECT_EQ(ui_.clicks, 0);
    EXPECT_FALSE(Cycle().Busy());
}

TEST_F(DeliveryIntegrationTest, FailsOverFromA404ServerToAGoodOne) {
    Subscribe(service_->BaseUrl() + "/missing/channel.cgi", service_->ChannelUrl());

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(Cycle().Current().Count(), 6);
}

TEST_F(DeliveryIntegrationTest, RedirectIsSuccessAndKeepsTheFeedAndItsReadMarks) {
    Subscribe(service_->ChannelUrl());
    ASSERT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    MarkAllRead();

    service_->SetFault(Fault::Redirect);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(errors_.Code(), 0);
    ASSERT_EQ(Cycle().Current().Count(), 6);
    EXPECT_EQ(Cycle().Current().First()->read, 1);
    EXPECT_TRUE(ui_.timerRunning);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    ASSERT_EQ(Cycle().Current().Count(), 6);
    EXPECT_EQ(Cycle().Current().First()->read, 1);
}

TEST_F(DeliveryIntegrationTest, ErrorStatusesWithBodiesOverTheCapAreDecidedByTheStatus) {
    config_.errorBodyBytes = kMaxAnswerBytes + 1024u * 1024u;
    Start(config_);
    Subscribe(service_->ChannelUrl(), service_->ChannelUrl());
    ASSERT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    MarkAllRead();

    // The redirect still ends the server list and keeps the feed.
    const int before = service_->ServiceRequests();
    service_->SetFault(Fault::Redirect);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(service_->ServiceRequests(), before + 1);
    EXPECT_EQ(errors_.Code(), 0);
    ASSERT_EQ(Cycle().Current().Count(), 6);
    EXPECT_EQ(Cycle().Current().First()->read, 1);

    service_->SetFault(Fault::NotFound, 2);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 404);
    EXPECT_EQ(errors_.Detail(), 404);

    service_->SetFault(Fault::Unauthorized, 2);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 401);
}

TEST_F(DeliveryIntegrationTest, NoChannelServerEmptiesTheFeedAndTheStore) {
    Subscribe(service_->ChannelUrl());
    ASSERT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    const std::filesystem::path store = TempDir().parent_path() / "VELMORA.dat";
    ASSERT_TRUE(SaveItemStore(store, Cycle().Current()));

    // What the sheet reads at start when neither server1 nor server2 is set.
    WriteMachineKey(Line("server3", service_->AccountUrl()));
    cycle_.reset();
    FeedChannel stored;
    ASSERT_TRUE(LoadItemStore(store, stored));
    ASSERT_EQ(stored.Count(), 6);
    Cycle().Current().swap(stored);
    const int before = service_->ServiceRequests();

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(service_->ServiceRequests(), before);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(Cycle().Current().Count(), 0);
    ASSERT_TRUE(SaveItemStore(store, Cycle().Current()));
    FeedChannel reloaded;
    ASSERT_TRUE(LoadItemStore(store, reloaded));
    EXPECT_EQ(reloaded.Count(), 0);
    std::filesystem::remove(store);
}

TEST_F(DeliveryIntegrationTest, WithATimeoutSetItIsTheOnlyLimit) {
    // Silent for longer than every bound of `timeout` 0, shorter than the timeout.
    config_.slowSeconds = kLimits.overallSeconds + 1;
    Start(config_);
    Subscribe(service_->ChannelUrl(), "", TimeoutLine(kLimits.overallSeconds + 3));
    service_->SetFault(Fault::Slow);

    // The only server: any earlier limit would have failed the cycle.
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_EQ(Cycle().Current().Count(), 6);
}

TEST_F(DeliveryIntegrationTest, FirstFetchFailureIsSwallowedALaterOneReported) {
    Subscribe(service_->ChannelUrl());
    service_->SetFault(Fault::NotFound, 0);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_TRUE(ui_.timerRunning);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 404);
    EXPECT_EQ(ui_.tip, FindErrorEntry(404).title);
    EXPECT_FALSE(ui_.timerRunning);

    service_->SetFault(Fault::None);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
}

TEST_F(DeliveryIntegrationTest, BadTokenIs401) {
    Subscribe(service_->ChannelUrl());
    WriteUserKey(Line("ClientID", "C100") + Line("ClientPWD", "wrong"));
    Cycle().RunDeliveryCycle();
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 401);
    EXPECT_EQ(errors_.Detail(), 401);
}

TEST_F(DeliveryIntegrationTest, SameFeedTwiceThenAChangedDate) {
    Subscribe(service_->ChannelUrl());
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    MarkAllRead();
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);

    ASSERT_TRUE(service_->RedateItem(2));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    int index = 0;
    for (FeedItem* item = Cycle().Current().First(); item; item = item->Next(), ++index) {
        EXPECT_EQ(item->read, index == 2 ? 0 : 1) << "item " << index;
    }

    service_->AddItems(1);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    ASSERT_EQ(Cycle().Current().Count(), 7);
    EXPECT_EQ(Cycle().Current().First()->read, 0);
}

struct TransportCase {
    const char* name;
    Fault fault;             // None: server1 itself is unreachable
    const char* badAddress;  // "refused" or a literal address
    std::uint32_t timeout;   // the timeout setting
    unsigned trickleBytesPerSecond = 2;
};

void PrintTo(const TransportCase& c, std::ostream* out) {
    *out << c.name;
}

class TransportFailureTest : public DeliveryIntegrationTest,
                             public ::testing::WithParamInterface<TransportCase> {
  protected:
    void SetUp() override {
        DeliveryIntegrationTest::SetUp();
        config_.trickleBytesPerSecond = GetParam().trickleBytesPerSecond;
        Start(config_);
    }
    std::string FaultyServer() {
        const TransportCase& c = GetParam();
        if (c.fault != Fault::None) return service_->ChannelUrl();
        return std::string(c.badAddress) == "refused" ? RefusingAddress() : c.badAddress;
    }
    std::string Timeout() { return TimeoutLine(GetParam().timeout); }
};

TEST_P(TransportFailureTest, IsAFailedAttemptAndTheNextServerIsTried) {
    const std::string faulty = FaultyServer();
    Subscribe(faulty, service_->ChannelUrl(), Timeout());
    service_->SetFault(GetParam().fault, 1);

    const int before = service_->ServiceRequests();
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    // The news came from the second server: the faulty answer was given up on.
    EXPECT_EQ(service_->ServiceRequests() - before, GetParam().fault != Fault::None ? 2 : 1);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_FALSE(Cycle().Busy());
}

TEST_P(TransportFailureTest, IsReportedAs58WhenNoServerIsLeft) {
    const std::string faulty = FaultyServer();
    Subscribe(faulty, "", Timeout());
    // The first fetch after start is swallowed either way; the one under test comes later.
    Cycle().RunDeliveryCycle();
    service_->SetFault(GetParam().fault, 1);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 58);
    EXPECT_EQ(errors_.Detail(), 0);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, FindErrorEntry(58).title);
    EXPECT_FALSE(Cycle().Busy());
    EXPECT_FALSE(ui_.timerRunning);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TransportFailureTest,
    ::testing::Values(TransportCase{"Refused", Fault::None, "refused", 0},
                      TransportCase{"Unresolvable", Fault::None, "http://velmora-test.invalid/rss",
                                    0},
                      TransportCase{"Dropped", Fault::Drop, nullptr, 0},
                      TransportCase{"TimedOut", Fault::Slow, nullptr, 1},
                      TransportCase{"StalledWithoutTimeout", Fault::Slow, nullptr, 0},
                      TransportCase{"TooLong", Fault::Huge, nullptr, 0},
                      // Under the low-speed limit: ended by it.
                      TransportCase{"Trickle", Fault::Trickle, nullptr, 0, 2},
                      // Over the low-speed limit: ended by the overall bound.
                      TransportCase{"SteadyTrickle", Fault::Trickle, nullptr, 0, 1000},
                      TransportCase{"BrokenXml", Fault::BrokenXml, nullptr, 0},
                      TransportCase{"ServerError", Fault::ServerError, nullptr, 0}),
    [](const ::testing::TestParamInfo<TransportCase>& info) { return info.param.name; });

}  // namespace
}  // namespace velmora
