#include "core/popup/card_messages.h"

#include <gtest/gtest.h>

#include <string>

namespace velmora {
namespace {

TEST(CardMessagesTest, RoundTripsAnyBytesInPieces) {
    const std::string page("<html>\n\0\x83\x5C|N 3\n", 15);
    const std::string stream = EncodeCardMessage(kCardWrite, page) +
                               EncodeCardMessage(kCardNavigate, "about:blank") +
                               EncodeCardMessage(kCardLoaded, "");
    EXPECT_EQ(stream.substr(0, 5), "W 15\n");
    CardMessageReader reader;
    std::vector<CardMessage> got;
    // One byte at a time: nothing comes out before a message is whole.
    for (const char c : stream) {
        reader.Append(std::string_view(&c, 1));
        while (auto message = reader.Next()) got.push_back(*message);
    }
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[0].tag, kCardWrite);
    EXPECT_EQ(got[0].payload, page);
    EXPECT_EQ(got[1].tag, kCardNavigate);
    EXPECT_EQ(got[1].payload, "about:blank");
    EXPECT_EQ(got[2].tag, kCardLoaded);
    EXPECT_EQ(got[2].payload, "");
    EXPECT_FALSE(reader.Broken());
}

TEST(CardMessagesTest, BrokenHeadersStopTheStream) {
    for (const std::string bad :
         {"Wx12\nabc", "W 1a\nabc", "W \n", "hello world, no header at all", "W 99999999999\n"}) {
        CardMessageReader reader;
        reader.Append(bad);
        EXPECT_FALSE(reader.Next().has_value()) << bad;
        EXPECT_TRUE(reader.Broken()) << bad;
        // Nothing after a break is read, however good.
        reader.Append(EncodeCardMessage(kCardLoaded, "1"));
        EXPECT_FALSE(reader.Next().has_value());
    }
}

TEST(CardMessagesTest, OversizedPayloadIsRefused) {
    CardMessageReader reader;
    reader.Append("W " + std::to_string(kCardMessageLimit + 1) + "\n");
    EXPECT_FALSE(reader.Next().has_value());
    EXPECT_TRUE(reader.Broken());
    CardMessageReader atLimit;
    atLimit.Append("W " + std::to_string(kCardMessageLimit) + "\n");
    EXPECT_FALSE(atLimit.Next().has_value());
    EXPECT_FALSE(atLimit.Broken());
}

}  // namespace
}  // namespace velmora
