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

TEST(PopupPlacementTest, ParkedBodyIsSeenOnNoMonitorInEitherOrder) {
    // A laptop (primary, a panel at its bottom) and an external screen.
    const Monitor laptopLeft{{0, 0, 1366, 768}, {0, 0, 1366, 740}, true};
    const Monitor externalRight{{1366, 0, 3286, 1080}, {1366, 0, 3286, 1080}, false};
    const Monitor externalLeft{{0, 0, 1920, 1080}, {0, 0, 1920, 1080}, false};
    const Monitor laptopRight{{1920, 0, 3286, 768}, {1920, 0, 3286, 740}, true};
    struct Case {
        std::vector<Monitor> monitors;
        RegionRect owner;
    } cases[] = {{{laptopLeft, externalRight}, laptopLeft.available},
                 {{externalLeft, laptopRight}, laptopRight.available}};
    for (const Case& c : cases) {
        const PopupPlacement place = PlacePopup(c.monitors, std::nullopt);
        EXPECT_EQ(place.ownerArea, c.owner);
        const PopupPositions& p = place.positions;
        EXPECT_EQ(p.parkedX, c.owner.right - kTabWidth);
        EXPECT_EQ(p.openX, c.owner.right - kOpenShownWidth);
        EXPECT_EQ(p.parkedY, (740 - kCentringHeight) / 2);
        const ScreenPoint parked{p.parkedX, p.parkedY};
        const ScreenPoint open{p.openX, p.openY};
        EXPECT_EQ(ShownWidth(p.parkedX, place.ownerArea, true), kTabWidth);
        EXPECT_FALSE(CanBeSeen(kBrowserRect, parked, kTabWidth, c.monitors));
        EXPECT_FALSE(CanBeSeen(kTickerTextRect, parked, kTabWidth, c.monitors));
        EXPECT_TRUE(CanBeSeen(RegionRect{kLogoX, kLogoY, kLogoX + 71, kLogoY + 36}, parked,
                              kTabWidth, c.monitors));
        const int openWidth = ShownWidth(p.openX, place.ownerArea, true);
        EXPECT_EQ(openWidth, kOpenShownWidth);
        EXPECT_TRUE(CanBeSeen(kBrowserRect, open, openWidth, c.monitors));
        // Dragged by the user onto the other monitor, the window shows whole.
        const ScreenPoint dragged{c.owner.left == 0 ? 1500 : 100, 100};
        EXPECT_EQ(ShownWidth(dragged.x, place.ownerArea, false), kPopupWidth);
        EXPECT_TRUE(CanBeSeen(kBrowserRect, dragged, kPopupWidth, c.monitors));
    }
    // Below the shorter monitor lies no monitor: the virtual desktop's gap is not seen.
    EXPECT_FALSE(CanBeSeen(kBrowserRect, {100, 700}, kPopupWidth, {laptopLeft, externalRight}));
}

TEST(PopupPlacementTest, FollowsTheTrayAndTheMonitorsThatAreThere) {
    const Monitor primary{{0, 0, 1024, 768}, {0, 0, 1024, 768}, true};
    const Monitor second{{1024, 0, 2304, 1024}, {1024, 24, 2304, 1024}, false};
    // The tray on the panel of the second monitor, above its free area.
    const std::optional<ScreenPoint> tray = ScreenPoint{2290, 10};
    EXPECT_EQ(PlacePopup({primary, second}, tray).ownerArea, second.available);
    EXPECT_EQ(PlacePopup({primary, second}, tray).positions.parkedY, 24 + (1000 - 300) / 2);
    // That monitor unplugged: the primary takes the popup; without any, a fallback.
    EXPECT_EQ(PlacePopup({primary}, tray).positions.parkedX, 944);
    EXPECT_EQ(PlacePopup({}, tray).positions.parkedX, 944);
    // No primary named: the first.
    EXPECT_EQ(PlacePopup({second}, std::nullopt).ownerArea, second.available);
}

int TicksToEnd(SlideStep (*step)(int, int, int), int from, int to, int scale = 100) {
    int ticks = 0;
    for (int x = from;;) {
        const SlideStep s = step(x, to, scale);
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
    // A popup scaled for its monitor slides a scaled way in as many ticks.
    for (int scale : {150, 200}) {
        const int way = Scaled(p.parkedX - p.openX, scale);
        EXPECT_EQ(TicksToEnd(SlideInStep, 3000, 3000 - way, scale), 16) << scale;
        EXPECT_EQ(TicksToEnd(SlideOutStep, 3000 - way, 3000, scale), 10) << scale;
    }
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
