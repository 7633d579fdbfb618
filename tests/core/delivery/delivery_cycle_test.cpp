#include "core/delivery/delivery_cycle.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "core/delivery/signing.h"
#include "core/text/cp932.h"
#include "support/delivery_fakes.h"
#include "support/delivery_sandbox.h"
#include "support/fixed_clock.h"

namespace velmora {
namespace {

using test_support::BodyAnswer;
using test_support::ChannelDocument;
using test_support::FailedAnswer;
using test_support::HeaderAnswer;
using test_support::IdentityDocument;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::StartsWith;

constexpr const char* kServers =
    "\"server1\"=\"http://s1/rss\"\n\"server2\"=\"http://s2/rss\"\n"
    "\"server3\"=\"http://s3/acc\"\n\"server4\"=\"http://s4/acc\"\n";
constexpr const char* kGroup = "\"GroupID\"=\"G01\"\n\"GroupPWD\"=\"gp\"\n";
constexpr const char* kClient = "\"ClientID\"=\"C5\"\n\"ClientPWD\"=\"cp\"\n";

std::string Title(std::int32_t code) {
    return FindErrorEntry(code).title;
}

class DeliveryCycleTest : public test_support::DeliverySandbox {
  protected:
    DeliveryCycle& Cycle() {
        if (!cycle_) {
            cycle_ = std::make_unique<DeliveryCycle>(ui_, errors_, transfer_, clock_,
                                                     ReadDeliverySettings());
        }
        return *cycle_;
    }
    // An installation that holds a client identity.
    void Subscribed(const std::string& extraUser = "") {
        WriteMachineKey(kServers);
        WriteUserKey(std::string(kGroup) + kClient + extraUser);
    }
    std::vector<std::string> Addresses() const {
        std::vector<std::string> out;
        for (const auto& call : transfer_.calls) out.push_back(call.address);
        return out;
    }
    // The read mark of the current item with `headline`; -1 when there is none.
    int ReadMark(const std::string& headline) {
        const FeedItem* item = Cycle().Current().FindByHeadline(headline);
        return item ? item->read : -1;
    }

    test_support::RecordingDeliveryUi ui_;
    ErrorState errors_;
    test_support::FakeTransfer transfer_;
    test_support::FixedClock clock_{test_support::kSampleInstant};
    std::unique_ptr<DeliveryCycle> cycle_;
};

TEST(PollInterval, StaysBetweenOneMinuteAndWhat32BitMillisecondsHold) {
    EXPECT_EQ(PollIntervalMs(30), 1800000u);
    EXPECT_EQ(PollIntervalMs(0), 60000u);
    EXPECT_EQ(PollIntervalMs(71582), 71582u * 60000u);
    EXPECT_EQ(PollIntervalMs(71583), 71582u * 60000u);
    EXPECT_EQ(PollIntervalMs(0xFFFFFFFFu), 71582u * 60000u);
}

TEST_F(DeliveryCycleTest, ReadsTheSettingsTheSheetHolds) {
    WriteMachineKey(std::string(kServers) +
                    "\"Company\"=\"C01\"\n\"timeout\"=dword:0000001e\n\"Channel\"=\"7\"\n");
    WriteUserKey(std::string(kGroup) + kClient +
                 "\"DeliveryNo\"=\"D9\"\n\"Reread\"=dword:0000000f\n");
    DeliverySettings s = ReadDeliverySettings();
    EXPECT_EQ(s.identity.company, "C01");
    EXPECT_EQ(s.identity.channel, "7");
    EXPECT_EQ(s.identity.groupId, "G01");
    EXPECT_EQ(s.identity.groupPassword, "gp");
    EXPECT_EQ(s.identity.clientId, "C5");
    EXPECT_EQ(s.identity.clientPassword, "cp");
    EXPECT_EQ(s.identity.deliveryNo, "D9");
    EXPECT_EQ(s.identity.deliveryPassword, "");
    EXPECT_EQ(s.pollMinutes, 15u);
    EXPECT_EQ(s.timeoutSeconds, 30u);
    EXPECT_THAT(s.channelServers, ElementsAre("http://s1/rss", "http://s2/rss"));
}

TEST_F(DeliveryCycleTest, DefaultsWhenNothingIsStored) {
    DeliverySettings s = ReadDeliverySettings();
    EXPECT_EQ(s.identity.company, "0");
    EXPECT_EQ(s.pollMinutes, 60u);
    EXPECT_EQ(s.timeoutSeconds, 0u);
    EXPECT_THAT(s.channelServers, ElementsAre("", ""));
}

TEST_F(DeliveryCycleTest, LoginStoresTheIdentityAndStartsThePollTimer) {
    WriteMachineKey(kServers);
    WriteUserKey(kGroup);
    transfer_.Answer("http://s3/", BodyAnswer(IdentityDocument("C77", "K9")));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    ASSERT_EQ(transfer_.calls.size(), 1u);
    const std::string& address = transfer_.calls[0].address;
    EXPECT_THAT(address, StartsWith("http://s3/acc?gid=G01&time=\""));
    const std::string token = address.substr(address.size() - 32);
    EXPECT_EQ(UserValue("ClientID"), "C77");
    EXPECT_EQ(UserValue("ClientPWD"), ClientPassword("C77", "K9", token));
    EXPECT_EQ(Cycle().Settings().identity.clientId, "C77");
    EXPECT_THAT(ui_.images, ElementsAre(TrayImage::Communicating, TrayImage::Normal));
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_EQ(ui_.interval, 3600000u);
    EXPECT_FALSE(Cycle().Busy());
    EXPECT_TRUE(Cycle().FirstFetch());

    // The next trigger fetches the channel with the new identity.
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}})));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_THAT(transfer_.calls.back().address, HasSubstr("&cid=C77&"));
}

TEST_F(DeliveryCycleTest, LoginAnswerWithoutIdStoresNothing) {
    WriteMachineKey(kServers);
    WriteUserKey(kGroup);
    transfer_.Answer("http://s3/", BodyAnswer("<?xml version=\"1.0\"?><LuMoClient/>"));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(UserValue("ClientID"), "<absent>");
    EXPECT_FALSE(ui_.timerRunning);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
}

// Stored, such an identity would read back as absent: every start would log
// in again and be issued yet another one.
TEST_F(DeliveryCycleTest, IssuedIdTheSettingsCannotGiveBackIsNotStoredAndTheLoginFails) {
    WriteMachineKey(kServers);
    WriteUserKey(kGroup);
    const std::string longId(200, 'C');
    transfer_.Answer("http://s3/", BodyAnswer(IdentityDocument(longId, "K9")));

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    const std::string told = ::testing::internal::GetCapturedStderr();
    // Told once, naming where the settings live (a file or a registry key).
    EXPECT_EQ(told.rfind("velmora: ", 0), 0u);
    EXPECT_EQ(told.find("velmora: ", 1), std::string::npos);
    EXPECT_NE(told.find(": the service issued a client identity of 200 bytes that the settings "
                        "cannot give back whole (at most 199 bytes, no zero byte); it is not "
                        "stored and the login counts as failed\n"),
              std::string::npos);
    EXPECT_EQ(errors_.Code(), kErrorServerNotFound);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, Title(kErrorServerNotFound));
    EXPECT_FALSE(ui_.timerRunning);
    EXPECT_EQ(Cycle().Settings().identity.clientId, "");
    EXPECT_EQ(UserValue("ClientID"), "<absent>");

    // One byte shorter is an identity like any other.
    transfer_.Replace("http://s3/", BodyAnswer(IdentityDocument(longId.substr(1), "K9")));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(UserValue("ClientID"), longId.substr(1));
    EXPECT_EQ(errors_.Code(), 0);
}

TEST_F(DeliveryCycleTest, LoginRedirectGivesTwoAndRefusalShowsTheError) {
    WriteMachineKey(kServers);
    WriteUserKey(kGroup);
    transfer_.Answer("http://s3/", HeaderAnswer(302, "Found"));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Redirected);
    EXPECT_EQ(ui_.image, TrayImage::Normal);

    transfer_.Replace("http://s3/", HeaderAnswer(401, "Unauthorized"));
    transfer_.Answer("http://s4/", HeaderAnswer(401, "Unauthorized"));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 401);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, Title(401));
    EXPECT_FALSE(ui_.timerRunning);
    EXPECT_FALSE(Cycle().Busy());
    EXPECT_EQ(UserValue("ClientID"), "<absent>");
}

TEST_F(DeliveryCycleTest, RegistrationStoresNumberAndIdentityButNeverThePassword) {
    WriteMachineKey(std::string(kServers) + "\"Company\"=\"C01\"\n");
    WriteUserKey(std::string(kGroup) + "\"DeliveryNo\"=\"D0\"\n");
    transfer_.Answer("http://s3/", BodyAnswer(IdentityDocument("C8", "K8")));
    ui_.Accept("D1001", "secret-delivery-pass");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_THAT(ui_.prompts, ElementsAre(DeliveryNumberPrompt()));
    EXPECT_THAT(ui_.prefilled, ElementsAre("D0"));
    ASSERT_EQ(transfer_.calls.size(), 1u);
    EXPECT_THAT(transfer_.calls[0].address, StartsWith("http://s3/acc?com=C01&del=D1001&gid=G01"));
    EXPECT_THAT(transfer_.calls[0].address, ::testing::Not(HasSubstr("secret")));
    EXPECT_EQ(UserValue("DeliveryNo"), "D1001");
    EXPECT_EQ(UserValue("ClientID"), "C8");
    EXPECT_EQ(UserValue("ClientPWD").size(), 32u);
    EXPECT_THAT(StoredUserSettings(), ::testing::Not(HasSubstr("secret")));
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_EQ(ui_.clicks, 0);
}

TEST_F(DeliveryCycleTest, RejectedRegistrationAsksAgainWithTheWrongNumberPrompt) {
    WriteMachineKey(std::string(kServers) + "\"Company\"=\"C01\"\n");
    WriteUserKey(kGroup);
    transfer_.Answer("http://s3/", HeaderAnswer(401, "Unauthorized"));
    transfer_.Answer("http://s4/", HeaderAnswer(401, "Unauthorized"));
    ui_.Accept("D1", "p");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 1000);
    EXPECT_EQ(ui_.clicks, 1);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, Title(401));  // the tooltip keeps the error reported first
    EXPECT_EQ(UserValue("DeliveryNo"), "<absent>");
    EXPECT_EQ(UserValue("ClientID"), "<absent>");

    // The click brings the dialog back, now with the other prompt and the typed number.
    Cycle().RunDeliveryCycle();
    EXPECT_THAT(ui_.prompts, ElementsAre(DeliveryNumberPrompt(), WrongDeliveryNumberPrompt()));
    EXPECT_EQ(ui_.prefilled.back(), "D1");
}

TEST_F(DeliveryCycleTest, CancelledDialogIsAnAuthenticationError) {
    WriteMachineKey(std::string(kServers) + "\"Company\"=\"C01\"\n");
    WriteUserKey(kGroup);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_TRUE(transfer_.calls.empty());
    EXPECT_EQ(errors_.Code(), 1000);
    EXPECT_EQ(errors_.Detail(), 0);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, text::Utf8ToCp932("認証エラー"));
    EXPECT_EQ(ui_.clicks, 0);
    EXPECT_FALSE(Cycle().Busy());
}

TEST_F(DeliveryCycleTest, RegistrationWithoutAnyServerKeepsError58AndDoesNotAskAgain) {
    WriteMachineKey(std::string(kServers) + "\"Company\"=\"C01\"\n");
    WriteUserKey(kGroup);
    transfer_.Answer("http://s3/", FailedAnswer("Connection refused"));
    transfer_.Answer("http://s4/", FailedAnswer("Connection timed out"));
    ui_.Accept("D1", "p");

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_THAT(Addresses(), ElementsAre(StartsWith("http://s3/"), StartsWith("http://s4/")));
    EXPECT_EQ(errors_.Code(), 58);
    EXPECT_EQ(ui_.clicks, 0);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(UserValue("DeliveryNo"), "<absent>");
}

TEST_F(DeliveryCycleTest, ChannelFetchMergesSwapsAndRestartsTheTimer) {
    Subscribed("\"Reread\"=dword:0000001e\n");
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "1"}})));
    std::vector<bool> busyDuring;
    transfer_.during = [&](const std::string&) {
        busyDuring.push_back(Cycle().Busy());
        EXPECT_EQ(ui_.image, TrayImage::Communicating);
        EXPECT_FALSE(ui_.timerRunning);
    };
    ui_.timerRunning = true;

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_THAT(busyDuring, ElementsAre(true));
    EXPECT_THAT(Addresses(), ElementsAre(StartsWith("http://s1/rss?channelID=&gid=G01&cid=C5")));
    EXPECT_EQ(Cycle().Current().Count(), 2);
    EXPECT_EQ(Cycle().Incoming().Count(), 0);
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_EQ(ui_.interval, 1800000u);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_TRUE(ui_.tips.empty());
    EXPECT_FALSE(Cycle().Busy());
    EXPECT_FALSE(Cycle().FirstFetch());
}

TEST_F(DeliveryCycleTest, SameFeedTwiceThenAChangedDate) {
    Subscribed();
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "1"}})));
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "1"}})));
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "2"}})));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    for (FeedItem* item = Cycle().Current().First(); item; item = item->Next()) item->read = 1;
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(ReadMark("a"), 1);
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_EQ(ReadMark("a"), 1);
    EXPECT_EQ(ReadMark("b"), 0);
    ASSERT_NE(Cycle().Current().FindByHeadline("b"), nullptr);
    EXPECT_EQ(Cycle().Current().FindByHeadline("b")->DateText(), "2");
}

TEST_F(DeliveryCycleTest, FirstFailedFetchIsSwallowedALaterOneIsShown) {
    Subscribed();
    transfer_.Answer("http://s1/", HeaderAnswer(404, "Not Found"));
    transfer_.Answer("http://s2/", HeaderAnswer(404, "Not Found"));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_FALSE(Cycle().FirstFetch());

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::Failed);
    EXPECT_EQ(errors_.Code(), 404);
    EXPECT_EQ(errors_.Detail(), 404);
    EXPECT_EQ(ui_.image, TrayImage::Error);
    EXPECT_EQ(ui_.tip, Title(404));
    EXPECT_FALSE(ui_.timerRunning);
    EXPECT_FALSE(Cycle().Busy());
}

TEST_F(DeliveryCycleTest, FailsOverToTheNextServerAndResetsTheError) {
    Subscribed();
    transfer_.Answer("http://s1/", HeaderAnswer(404, "Not Found"));
    transfer_.Answer("http://s2/", BodyAnswer(ChannelDocument({{"a", "1"}})));

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_THAT(Addresses(), ElementsAre(StartsWith("http://s1/"), StartsWith("http://s2/")));
    EXPECT_EQ(errors_.Code(), 0);
}

TEST_F(DeliveryCycleTest, TransportFailureOrExceptionIsJustAFailedAttempt) {
    Subscribed();
    transfer_.Answer("http://s1/", FailedAnswer("Connection reset by peer"));
    transfer_.Answer("http://s2/", BodyAnswer(ChannelDocument({{"a", "1"}})));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    EXPECT_EQ(transfer_.calls.size(), 2u);

    transfer_.throwOnNextCall = true;
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);  // server2 answered
    EXPECT_EQ(transfer_.calls.size(), 4u);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_FALSE(Cycle().Busy());
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_TRUE(ui_.timerRunning);
}

TEST_F(DeliveryCycleTest, RedirectKeepsTheCurrentFeedAndItsReadMarks) {
    Subscribed();
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "1"}})));
    transfer_.Answer("http://s1/", HeaderAnswer(302, "Found"));
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "1"}})));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    ASSERT_NE(Cycle().Current().FindByHeadline("a"), nullptr);
    Cycle().Current().FindByHeadline("a")->read = 1;
    errors_.ReportError(404, 404);

    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(Cycle().Current().Count(), 2);
    EXPECT_EQ(ReadMark("a"), 1);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_EQ(transfer_.calls.size(), 2u);  // the redirect ends the list

    // The next real fetch finds nothing new: the old news is not announced again.
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(ReadMark("a"), 1);
}

TEST_F(DeliveryCycleTest, NoServerAddressEmptiesTheFeedAndCountsAsSuccess) {
    Subscribed();
    transfer_.Answer("http://", BodyAnswer(ChannelDocument({{"a", "1"}, {"b", "1"}})));
    ASSERT_EQ(Cycle().RunDeliveryCycle(), CycleResult::News);
    ASSERT_EQ(Cycle().Current().Count(), 2);
    ui_.StopPollTimer();

    // As read at start when neither server1 nor server2 is set.
    Cycle().Settings().channelServers = {"", ""};
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(transfer_.calls.size(), 1u);
    EXPECT_EQ(Cycle().Current().Count(), 0);
    EXPECT_EQ(Cycle().Current().First(), nullptr);
    EXPECT_EQ(errors_.Code(), 0);
    EXPECT_EQ(ui_.image, TrayImage::Normal);
    EXPECT_TRUE(ui_.timerRunning);
    EXPECT_FALSE(Cycle().Busy());
}

TEST_F(DeliveryCycleTest, StoredRereadOfZeroDoesNotSpin) {
    Subscribed("\"Reread\"=dword:00000000\n");
    transfer_.Answer("http://s1/", BodyAnswer(ChannelDocument({{"a", "1"}})));
    Cycle().RunDeliveryCycle();
    EXPECT_EQ(ui_.interval, 60000u);
    EXPECT_EQ(Cycle().Settings().pollMinutes, 0u);  // what the settings page shows
}

TEST_F(DeliveryCycleTest, ChannelFetchNeverTalksToTheAccountServers) {
    Subscribed();
    transfer_.Answer("http://s1/", BodyAnswer(IdentityDocument("X", "Y")));
    EXPECT_EQ(Cycle().RunDeliveryCycle(), CycleResult::NothingNew);
    EXPECT_EQ(UserValue("ClientID"), "C5");
    EXPECT_THAT(Addresses(), ElementsAre(StartsWith("http://s1/")));
}

}  // namespace
}  // namespace velmora
