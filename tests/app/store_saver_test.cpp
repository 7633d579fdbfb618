// The store saver's timer: a change the cycle does not make (a read mark) is
// written once the interval has passed. When to write is the core's
// StoreSchedule, tested there.

#include "app/store_saver.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <vector>

#include "core/feed/feed_item.h"
#include "sheet_fixture.h"
#include "support/temp_folder.h"

using namespace velmora;
using namespace velmora::test_support;

TEST(StoreSaver, ReadMarkIsWrittenOnceTheIntervalHasPassed) {
    TestApp();
    TempFolder folder;
    const std::filesystem::path file = folder / "VELMORA.dat";
    FeedChannel channel;
    for (const char* headline : {"item0", "item1"}) {
        FeedItem item;
        item.SetHeadline(headline);
        channel.AppendCopy(item);
    }
    StoreSaver saver(file, channel, 1000);
    std::vector<bool> saves;
    QObject::connect(&saver, &StoreSaver::saved, [&](bool ok) { saves.push_back(ok); });
    ASSERT_TRUE(saver.SaveNow());
    EXPECT_THAT(StoredHeadlines(file), ::testing::ElementsAre("item0", "item1"));

    // Nothing changed: nothing to write.
    saver.FeedMayHaveChanged();
    EXPECT_FALSE(saver.Pending());

    channel.First()->read = 1;
    saver.FeedMayHaveChanged();
    EXPECT_TRUE(saver.Pending());
    Settle();
    EXPECT_EQ(saves.size(), 1u);
    ASSERT_TRUE(WaitFor([&] { return saves.size() == 2u; }));
    EXPECT_TRUE(saves.at(1));
    EXPECT_FALSE(saver.Pending());
    EXPECT_THAT(StoredHeadlines(file), ::testing::ElementsAre("item0+", "item1"));
}
