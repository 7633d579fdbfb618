#include "core/delivery/signing.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "support/hex_matchers.h"

// Expected digests below were computed outside the code under test with
// coreutils, e.g. `printf '%s' abc | md5sum`, and chained by hand on the shell:
//   d1=$(printf '%s' C123secret | md5sum | cut -d' ' -f1)
//   printf '%s%s' $d1 2005-09-16T08:05:03+09:00 | md5sum

using namespace velmora;
using velmora::test_support::IsLowerHex;

namespace {

constexpr const char* kT = "2005-09-16T08:05:03+09:00";
const auto kDigestText = IsLowerHex(32u);

TEST(DigestHex, MatchesTheRfc1321TestSuite) {
    EXPECT_EQ(DigestHex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(DigestHex("a"), "0cc175b9c0f1b6a831c399e269772661");
    EXPECT_EQ(DigestHex("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(DigestHex("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
    EXPECT_EQ(DigestHex("abcdefghijklmnopqrstuvwxyz"), "c3fcd3d76192e4007dfb496cca67e13b");
    EXPECT_EQ(DigestHex("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"),
              "d174ab98d277d9f5a5611c2c9f419d9f");
    EXPECT_EQ(DigestHex("1234567890123456789012345678901234567890"
                        "1234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
}

TEST(DigestHex, TakesBytesAsTheyAre) {
    // Shift-JIS "あ" (82 A0): printf '\x82\xa0' | md5sum
    EXPECT_EQ(DigestHex("\x82\xa0"), "8f03c3a6dbec1d0f1a5af60947b7b052");
    // Not the UTF-8 form of the same character: printf 'あ' | md5sum
    EXPECT_NE(DigestHex("\x82\xa0"), "8c0c3027e3cfc3d644caab3847a505b0");
    // An embedded zero byte is data, not a terminator.
    EXPECT_NE(DigestHex(std::string("a\0b", 3)), DigestHex("a"));
}

TEST(DigestHex, DigestsInputsBeyondTheOldBufferWhole) {
    // head -c 300 /dev/zero | tr '\0' x | md5sum
    EXPECT_EQ(DigestHex(std::string(300, 'x')), "8a4876ea55d998a5d91ed59db796af28");
    // head -c 1000000 /dev/zero | tr '\0' a | md5sum
    EXPECT_EQ(DigestHex(std::string(1000000, 'a')), "7707d6ae4e027c70eea2a935c2296f21");
    // A long part of a token is not cut: the 256th byte still counts.
    const std::string longId(255, 'i');
    EXPECT_NE(PairToken(longId, "p"), PairToken(longId, "q"));
    EXPECT_THAT(TripleToken(longId, longId, longId), kDigestText);
}

TEST(TokenShapes, ConcatenateWithoutSeparator) {
    EXPECT_EQ(PairToken("ab", "cd"), PairToken("a", "bcd"));
    EXPECT_EQ(PairToken("ab", "cd"), DigestHex("abcd"));
    EXPECT_EQ(TripleToken("a", "", "bc"), DigestHex("abc"));
    EXPECT_EQ(TripleToken("", "", ""), DigestHex(""));
}

TEST(TokenShapes, ChainedFeedsTheInnerHexTextNotTheTripleConcatenation) {
    // printf '%s' C123secret2005-09-16T08:05:03+09:00 | md5sum
    EXPECT_EQ(TripleToken("C123", "secret", kT), "322b4506011d3dfe69d9fc769d9d8bbe");
    EXPECT_EQ(ChainedToken("C123", "secret", kT), "da1c050f35fdb83f4d021271f0051503");
    EXPECT_NE(ChainedToken("a", "b", "c"), TripleToken("a", "b", "c"));
    EXPECT_EQ(ChainedToken("a", "b", "c"), DigestHex(DigestHex("ab") + "c"));
}

TEST(Recipes, ChannelTokenChainsClientIdPasswordAndTime) {
    // d1 = md5(C123secret) = e952e3cdc6dbc8bc1bba0eb42aa79051; md5(d1 + T)
    EXPECT_EQ(ChannelToken("C123", "secret", kT), "da1c050f35fdb83f4d021271f0051503");
    // Empty password: md5(md5(C123) + T)
    EXPECT_EQ(ChannelToken("C123", "", kT), "1b305fc721aad4cbfb416410ca97b7ed");
    // One second later: md5(d1 + 2005-09-16T08:05:04+09:00)
    EXPECT_EQ(ChannelToken("C123", "secret", "2005-09-16T08:05:04+09:00"),
              "a4cd121ab64312aec49fd200749f3726");
}

TEST(Recipes, LoginTokenChainsGroupIdPasswordAndTime) {
    // md5(md5(G01gpass) + T), md5(G01gpass) = c151217d2a44a7b468985d9c32795ddd
    EXPECT_EQ(LoginToken("G01", "gpass", kT), "58f9f433f5bfa4a99b6843dfba7d034d");
}

TEST(Recipes, RegistrationTokenDigestsDeliveryThenGroupThenTime) {
    // Password "パス" in Shift-JIS (83 70 83 58), company 7:
    //   a=$(printf '12345678\x83\x70\x83\x587' | md5sum)   -> d65ea7dccfd557ece6a4c919eabb3d35
    //   b=$(printf '%s' G01gpass | md5sum)                  -> c151217d2a44a7b468985d9c32795ddd
    //   printf '%s%s%s' $a $b $T | md5sum
    EXPECT_EQ(RegistrationToken("12345678", "\x83\x70\x83\x58", "7", "G01", "gpass", kT),
              "dd2120e9fad645d510d7e2385da53f80");
    // Swapping the delivery password and the company code changes the token.
    EXPECT_NE(RegistrationToken("12345678", "7", "\x83\x70\x83\x58", "G01", "gpass", kT),
              "dd2120e9fad645d510d7e2385da53f80");
}

TEST(Recipes, ClientPasswordChainsIssuedIdentityWithTheSentToken) {
    // d=$(printf '%s' ID9KEY9 | md5sum); printf '%s%s' $d <token> | md5sum
    EXPECT_EQ(ClientPassword("ID9", "KEY9", "58f9f433f5bfa4a99b6843dfba7d034d"),
              "dc4fa46b4f8428d81fc8293518498720");
    EXPECT_EQ(ClientPassword("ID9", "KEY9", "dd2120e9fad645d510d7e2385da53f80"),
              "3c384aaa8a5f9b9e0feb71e1351aed96");
}

TEST(Recipes, EveryTokenIs32LowercaseHexDigits) {
    const std::string jp = "\x93\xfa\x96\x7b";  // 日本 in Shift-JIS
    EXPECT_THAT(ChannelToken("", "", ""), kDigestText);
    EXPECT_THAT(ChannelToken(jp, "PASS", kT), kDigestText);
    EXPECT_THAT(LoginToken("GROUP", jp, kT), kDigestText);
    EXPECT_THAT(RegistrationToken(jp, jp, "0", "G", "P", kT), kDigestText);
    EXPECT_THAT(ClientPassword("ID", "KEY", ""), kDigestText);
    for (int i = 0; i < 64; ++i) {
        EXPECT_THAT(DigestHex(std::string(i, static_cast<char>(0xA0 + i))), kDigestText);
    }
}

}  // namespace
