// When the item store is written: the feeds are told apart by the digest of
// what a save would write, and the clock is the caller's.

#include "core/shell/store_schedule.h"

#include <gtest/gtest.h>

#include <optional>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "support/temp_folder.h"

namespace velmora {
namespace {

using Wait = std::optional<std::uint64_t>;

// A store as loaded at start-up, unchanged, is never written, not even at
// the end (unless the file is gone); a change is written at once, the next one once the interval has
// passed; a failed write is tried again though the feed did not change.
TEST(StoreSchedule, WritesOnlyWhatChangedSinceTheLoadOrTheLastWrite) {
    test_support::TempFolder folder;
    const auto file = folder / "VELMORA.dat";
    test_support::WriteFile(file, "[Subscription]\nTitle = t\nTitle1 = item0\nTitle2 = item1\n");
    FeedChannel feed;
    ASSERT_TRUE(LoadItemStore(file, feed));
    StoreSchedule schedule(1000);
    schedule.Loaded(ItemStoreDigest(feed));
    const auto wait = [&](std::uint64_t nowMs) {
        return schedule.WaitBeforeWrite(ItemStoreDigest(feed), nowMs);
    };
    EXPECT_EQ(wait(50), Wait{});
    EXPECT_FALSE(schedule.WriteNeeded(ItemStoreDigest(feed), false));
    EXPECT_TRUE(schedule.WriteNeeded(ItemStoreDigest(feed), true)) << "the file was removed";

    feed.First()->read = 1;
    EXPECT_EQ(wait(100), Wait{0});
    schedule.Saved(ItemStoreDigest(feed), 100);
    EXPECT_EQ(wait(200), Wait{});

    feed.Last()->read = 1;
    EXPECT_EQ(wait(400), Wait{700});
    EXPECT_EQ(wait(1100), Wait{0});
    schedule.Failed(1100);
    feed.Last()->read = 0;  // back to what the file holds, but the write failed
    EXPECT_TRUE(schedule.Unsaved(ItemStoreDigest(feed)));
    EXPECT_EQ(wait(1600), Wait{500});
    schedule.Saved(ItemStoreDigest(feed), 2100);
    EXPECT_FALSE(schedule.LastWriteFailed());
    EXPECT_EQ(wait(9000), Wait{});
}

}  // namespace
}  // namespace velmora
