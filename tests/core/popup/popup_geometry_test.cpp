#include "core/popup/popup_geometry.h"

#include <gtest/gtest.h>

#include "core/popup/card_paging.h"

namespace velmora {
namespace {

TEST(PopupPositionsTest, ParksAndOpensAtTheRightEdge) {
    const PopupPositions p = ComputePositions(1024, 768);
    EXPECT_EQ(p.parkedX, 944);
    EXPECT_EQ(p.parkedY, 234);
    EXPECT_EQ(p.openX, 464);
    EXPECT_EQ(p.openY, 234);
}

TEST(PopupPositionsTest, CentresWithIntegerDivisionTowardZero) {
    EXPECT_EQ(ComputePositions(1920, 1081).parkedY, 390);
    // A screen lower than the window: negative, rounded toward zero.
    EXPECT_EQ(ComputePositions(800, 297).openY, -1);
    EXPECT_EQ(ComputePositions(800, 297).openX, 240);
}

int TicksToEnd(SlideStep (*step)(int, int), int from, int to) {
    int ticks = 0;
    for (int x = from;;) {
        const SlideStep s = step(x, to);
        ++ticks;
        if (s.done) {
            EXPECT_EQ(s.x, to);
            return ticks;
        }
        EXPECT_NE(s.x, to);
        x = s.x;
        if (ticks > 1000) return -1;
    }
}

TEST(SlideTest, SixteenTicksInTenOut) {
    const PopupPositions p = ComputePositions(1024, 768);
    EXPECT_EQ(TicksToEnd(SlideInStep, p.parkedX, p.openX), 16);
    EXPECT_EQ(TicksToEnd(SlideOutStep, p.openX, p.parkedX), 10);
}

TEST(SlideTest, StepsBy30InAnd50Out) {
    EXPECT_EQ(SlideInStep(944, 464).x, 914);
    EXPECT_FALSE(SlideInStep(944, 464).done);
    EXPECT_EQ(SlideOutStep(464, 944).x, 514);
    // Reaching the target exactly still ends the slide there.
    EXPECT_TRUE(SlideInStep(494, 464).done);
    EXPECT_EQ(SlideInStep(494, 464).x, 464);
    EXPECT_TRUE(SlideOutStep(894, 944).done);
    // Starting past the target (after a drag) snaps to it.
    EXPECT_EQ(SlideInStep(100, 464).x, 464);
    EXPECT_EQ(SlideOutStep(1200, 944).x, 944);
}

TEST(PagingTest, ThreeItemsPageOneItemAtATime) {
    // Page 0: items 0 and 1; Right is possible, Left is not.
    EXPECT_TRUE(PagingButtonStates(0, 3).prevDisabled);
    EXPECT_FALSE(PagingButtonStates(0, 3).nextDisabled);
    EXPECT_TRUE(CanPageRight(0, 3));
    // Page 1: items 1 and 2; Right disables itself.
    EXPECT_FALSE(CanPageRight(1, 3));
    EXPECT_FALSE(PagingButtonStates(1, 3).prevDisabled);
    EXPECT_TRUE(PagingButtonStates(1, 3).nextDisabled);
}

TEST(PagingTest, FewItemsDisableBothButtons) {
    for (std::size_t count : {0u, 1u, 2u}) {
        EXPECT_TRUE(PagingButtonStates(0, count).prevDisabled) << count;
        EXPECT_TRUE(PagingButtonStates(0, count).nextDisabled) << count;
    }
    EXPECT_FALSE(CanPageLeft(0));
    EXPECT_TRUE(CanPageLeft(1));
}

}  // namespace
}  // namespace velmora
