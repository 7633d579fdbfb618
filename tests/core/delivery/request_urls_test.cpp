#include "core/delivery/request_urls.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "core/delivery/signing.h"
#include "core/settings/registry.h"
#include "core/text/cp932.h"
#include "support/fixed_clock.h"
#include "support/hex_matchers.h"
#include "support/hive_sandbox.h"

using namespace velmora;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;
using velmora::test_support::EndsWithLowerHexAfter;
using velmora::test_support::FixedClock;
using velmora::test_support::kSampleInstant;
using velmora::test_support::ScopedTimeZone;

namespace {

// kSampleInstant in Japan time, as the query carries it.
constexpr const char* kQuotedTime = "&time=\"2005-09-16T08:05:03%2B09:00\"&auth=";
const auto kEndsWithToken = EndsWithLowerHexAfter("&auth=", 32u);

// Tokens worked out with md5sum (see signing_test.cpp for the shell steps):
// ChainedToken(C123, secret, T), ChainedToken(G01, gpass, T) and
// TripleToken(md5(12345678 + "パス"(SJIS) + 7), md5(G01gpass), T).
constexpr const char* kChannelAuth = "da1c050f35fdb83f4d021271f0051503";
constexpr const char* kLoginAuth = "58f9f433f5bfa4a99b6843dfba7d034d";
constexpr const char* kRegistrationAuth = "dd2120e9fad645d510d7e2385da53f80";

// Every test gets its own empty user and machine settings under a temporary folder.
class RequestUrls : public velmora::test_support::HiveSandbox {
  protected:
    void SetUp() override {
        HiveSandbox::SetUp();
        identity_.groupId = "G01";
        identity_.groupPassword = "gpass";
        identity_.clientId = "C123";
        identity_.clientPassword = "secret";
    }

    std::string UserString(const char* name) {
        std::string value = "<absent>";
        CRegistryKey::ReadString(RootKey::CurrentUser, kSettingsKey, name, value);
        return value;
    }

    ScopedTimeZone zone_{"JST-9"};
    FixedClock clock_{kSampleInstant};
    RequestIdentity identity_;
};

TEST_F(RequestUrls, ChannelQueryHasThePiecesInOrder) {
    WriteMachineKey("\"Channel\"=\"7\"\n");
    const std::string query = BuildChannelQuery(identity_, clock_);
    EXPECT_EQ(query, std::string("?channelID=7&gid=G01&cid=C123") + kQuotedTime + kChannelAuth);
    EXPECT_EQ(identity_.channel, "7");
    EXPECT_EQ(clock_.reads, 1);
}

TEST_F(RequestUrls, ChannelQueryWithEmptyValues) {
    identity_ = RequestIdentity{};
    const std::string query = BuildChannelQuery(identity_, clock_);
    EXPECT_THAT(query, StartsWith(std::string("?channelID=&gid=&cid=") + kQuotedTime));
    EXPECT_THAT(query, kEndsWithToken);
    EXPECT_EQ(query.size(),
              std::string("?channelID=&gid=&cid=").size() + std::string(kQuotedTime).size() + 32);
}

TEST_F(RequestUrls, ChannelRemovedFromBothHivesReadsAsEmptyAndIsStoredEmpty) {
    WriteMachineKey("\"Channel\"=\"5\"\n");
    EXPECT_THAT(BuildChannelQuery(identity_, clock_), StartsWith("?channelID=5&gid="));

    WriteMachineKey("");
    WriteUserKey("");
    EXPECT_THAT(BuildChannelQuery(identity_, clock_), StartsWith("?channelID=&gid="));
    EXPECT_EQ(identity_.channel, "");
    EXPECT_EQ(UserString("Channel"), "");
    EXPECT_THAT(StoredUserSettings(), HasSubstr("\"Channel\"=\"\""));
}

TEST_F(RequestUrls, ChannelChangeIsPickedUpByTheNextQuery) {
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "Channel", "7"), kRegOk);
    identity_.channel = "stale";
    EXPECT_THAT(BuildChannelQuery(identity_, clock_), StartsWith("?channelID=7&gid="));
    EXPECT_EQ(identity_.channel, "7");

    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "Channel", "8"), kRegOk);
    EXPECT_THAT(BuildChannelQuery(identity_, clock_), StartsWith("?channelID=8&gid="));
    EXPECT_EQ(identity_.channel, "8");
}

TEST_F(RequestUrls, MachineOnlyChannelIsCopiedToTheUser) {
    WriteMachineKey("\"Channel\"=\"12\"\n");
    EXPECT_EQ(UserString("Channel"), "<absent>");
    EXPECT_THAT(BuildChannelQuery(identity_, clock_), StartsWith("?channelID=12&gid="));
    EXPECT_EQ(UserString("Channel"), "12");

    // The per-user copy is found first from now on.
    WriteMachineKey("\"Channel\"=\"99\"\n");
    EXPECT_THAT(BuildChannelQuery(identity_, clock_), StartsWith("?channelID=12&gid="));
}

// A value issued by the service must not add pieces to the query (gid=EVIL),
// nor be decoded into other bytes than those signed; blanks and CP932 bytes
// are the transfer's to encode.
TEST_F(RequestUrls, ValueBytesThatReadAsQuerySyntaxAreEncodedAndTheTokenSignsThemRaw) {
    const std::string sjisChannel = text::Utf8ToCp932("チャンネル");
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "Channel", sjisChannel), kRegOk);
    identity_.groupId = "G&1 x";
    identity_.clientId = "\x83\x65\x83\x58%41+&gid=EVIL;#";  // テス%41+... in Shift-JIS
    const std::string query = BuildChannelQuery(identity_, clock_);
    EXPECT_THAT(query, StartsWith("?channelID=" + sjisChannel +
                                  "&gid=G%261 x&cid=\x83\x65\x83\x58%2541%2B%26gid%3DEVIL%3B%23" +
                                  kQuotedTime));
    EXPECT_THAT(query,
                EndsWith(ChannelToken(identity_.clientId, "secret", "2005-09-16T08:05:03+09:00")));

    identity_.deliveryNo = "1&del=2";
    identity_.company = "=";
    std::string token;
    EXPECT_THAT(BuildRegistrationQuery(identity_, clock_, token),
                StartsWith("?com=%3D&del=1%26del%3D2&gid=G%261 x&time="));
}

TEST_F(RequestUrls, LoginQueryWithoutServiceLoginId) {
    std::string token;
    const std::string query = BuildLoginQuery(identity_, clock_, token);
    EXPECT_EQ(query, std::string("?gid=G01") + kQuotedTime + kLoginAuth);
    EXPECT_EQ(token, kLoginAuth);
    EXPECT_EQ(clock_.reads, 1);
}

TEST_F(RequestUrls, LoginQueryCarriesTheMachineWideServiceLoginId) {
    WriteMachineKey("\"LuMoLoginID\"=\"LM-01\"\n");
    std::string token;
    EXPECT_EQ(BuildLoginQuery(identity_, clock_, token),
              std::string("?gid=G01&lumoid=LM-01") + kQuotedTime + kLoginAuth);

    // Read anew for every request, converted to Shift-JIS like every setting.
    WriteMachineKey("\"LuMoLoginID\"=\"ログイン\"\n");
    EXPECT_THAT(BuildLoginQuery(identity_, clock_, token),
                StartsWith("?gid=G01&lumoid=" + text::Utf8ToCp932("ログイン") + "&time=\""));
}

TEST_F(RequestUrls, EmptyOrUnreadableServiceLoginIdDropsItsPiece) {
    std::string token;
    const std::string expected = std::string("?gid=G01") + kQuotedTime + kLoginAuth;

    WriteMachineKey("\"LuMoLoginID\"=\"\"\n");
    EXPECT_EQ(BuildLoginQuery(identity_, clock_, token), expected);

    WriteMachineKey("\"LuMoLoginID\"=dword:00000001\n");
    EXPECT_EQ(BuildLoginQuery(identity_, clock_, token), expected);

    // 200 bytes cannot be read.
    WriteMachineKey("\"LuMoLoginID\"=\"" + std::string(200, 'L') + "\"\n");
    EXPECT_EQ(BuildLoginQuery(identity_, clock_, token), expected);

    // A per-user value does not count: the setting is machine-wide.
    WriteMachineKey("");
    ASSERT_EQ(CRegistryKey::WriteUserString(kSettingsKey, "LuMoLoginID", "mine"), kRegOk);
    EXPECT_EQ(BuildLoginQuery(identity_, clock_, token), expected);
}

TEST_F(RequestUrls, RegistrationQueryHasThePiecesInOrder) {
    identity_.company = "7";
    identity_.deliveryNo = "12345678";
    identity_.deliveryPassword = "\x83\x70\x83\x58";  // パス in Shift-JIS
    std::string token;
    const std::string query = BuildRegistrationQuery(identity_, clock_, token);
    EXPECT_EQ(query, std::string("?com=7&del=12345678&gid=G01") + kQuotedTime + kRegistrationAuth);
    EXPECT_EQ(token, kRegistrationAuth);
    EXPECT_THAT(query, Not(HasSubstr(identity_.deliveryPassword)));
    EXPECT_EQ(clock_.reads, 1);

    WriteMachineKey("\"LuMoLoginID\"=\"LM-01\"\n");
    EXPECT_EQ(
        BuildRegistrationQuery(identity_, clock_, token),
        std::string("?com=7&del=12345678&gid=G01&lumoid=LM-01") + kQuotedTime + kRegistrationAuth);
}

TEST_F(RequestUrls, RegistrationQueryWithEmptyAndJapaneseValues) {
    identity_ = RequestIdentity{};
    std::string token;
    std::string query = BuildRegistrationQuery(identity_, clock_, token);
    EXPECT_EQ(query, std::string("?com=0&del=&gid=") + kQuotedTime + token);
    EXPECT_THAT(query, kEndsWithToken);

    identity_.deliveryNo = text::Utf8ToCp932("１２３");
    query = BuildRegistrationQuery(identity_, clock_, token);
    EXPECT_EQ(query, "?com=0&del=" + identity_.deliveryNo + "&gid=" + kQuotedTime + token);
}

TEST_F(RequestUrls, TokenFollowsTheClockSecond) {
    std::string first;
    std::string again;
    std::string later;
    BuildLoginQuery(identity_, clock_, first);
    BuildLoginQuery(identity_, clock_, again);
    clock_.Set(kSampleInstant + 1);
    const std::string query = BuildLoginQuery(identity_, clock_, later);
    EXPECT_EQ(first, again);
    EXPECT_NE(first, later);
    EXPECT_THAT(query, HasSubstr("&time=\"2005-09-16T08:05:04%2B09:00\"&auth="));
    EXPECT_THAT(query, EndsWith(later));
}

}  // namespace
