// The Win32 popup's own part of its shape and place: the window region it
// builds from the skin bitmap, and where it parks on which monitor at which
// scale, through the popup itself with monitors of the test's making.

#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "core/popup/bitmap_region.h"
#include "core/popup/popup_geometry.h"
#include "win32/news_popup.h"
#include "win32/popup_art.h"

namespace velmora::win32 {
namespace {

struct Placement {
    ScreenPoint taskbar;
    int secondScale;
    int edge;     // the right edge of the free area it parks at
    RECT window;  // where the parked popup is expected, and its size
};

// A 1920 x 1080 primary at 100 % with a taskbar below, and to its right a
// 2560 x 1440 monitor placed 200 pixels higher.
std::vector<Monitor> TwoMonitors(int secondScale) {
    return {{{0, 0, 1920, 1080}, {0, 0, 1920, 1040}, true, 100},
            {{1920, -200, 4480, 1240}, {1920, -200, 4480, 1240}, false, secondScale}};
}

// Pixels where the window's region and the core's region of the skin at
// `scale`, cut after `shownWidth` columns, disagree.
int RegionMismatches(HWND window, int scale, int shownWidth) {
    const PixelImage skin = ScaleNearest(LoadArt(kSkinBitmap).View(), scale);
    std::vector<bool> inside(static_cast<std::size_t>(skin.width) * skin.height, false);
    for (const RegionRect& r : CreateBitmapRegion(skin.View()))
        for (int y = r.top; y < r.bottom; ++y)
            for (int x = r.left; x < r.right; ++x)
                inside[static_cast<std::size_t>(y) * skin.width + x] = x < shownWidth;
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    if (GetWindowRgn(window, region) == ERROR) {
        DeleteObject(region);
        return -1;
    }
    int mismatches = 0;
    for (int y = 0; y < skin.height; ++y)
        for (int x = 0; x < skin.width; ++x)
            if ((PtInRegion(region, x, y) != FALSE) !=
                inside[static_cast<std::size_t>(y) * skin.width + x])
                ++mismatches;
    DeleteObject(region);
    return mismatches;
}

TEST(Win32Popup, ParksOnTheTaskbarsMonitorAtItsScaleShapedLikeTheCoresRegion) {
    const Placement cases[] = {
        // On the primary: its free area, above the taskbar.
        {{960, 1060}, 150, 1920, {1840, 370, 1840 + 562, 370 + 302}},
        // On the second, at its scale: the tab and the size grow with it.
        {{3000, 1220}, 100, 4480, {4400, 370, 4400 + 562, 370 + 302}},
        {{3000, 1220}, 150, 4480, {4360, 295, 4360 + 843, 295 + 453}},
        {{3000, 1220}, 200, 4480, {4320, 220, 4320 + 1124, 220 + 604}},
    };
    for (const Placement& c : cases) {
        SCOPED_TRACE(testing::Message() << "taskbar at " << c.taskbar.x << "," << c.taskbar.y
                                        << ", second monitor at " << c.secondScale << " %");
        CNewsPopup popup([](const std::string&, AddressOrigin) {});
        popup.SetMonitorSource([&c] { return TwoMonitors(c.secondScale); });
        popup.SetTaskbarPoint(c.taskbar);
        ASSERT_TRUE(popup.CreatePopup());
        RECT r{};
        GetWindowRect(popup.GetHwnd(), &r);
        EXPECT_EQ(r.left, c.window.left);
        EXPECT_EQ(r.top, c.window.top);
        EXPECT_EQ(r.right - r.left, c.window.right - c.window.left);
        EXPECT_EQ(r.bottom - r.top, c.window.bottom - c.window.top);
        // Parked, only the tab shows, cut at the monitor's edge; open, all
        // but the last columns.
        EXPECT_EQ(popup.ShownWidth(), c.edge - c.window.left);
        EXPECT_EQ(RegionMismatches(popup.GetHwnd(), popup.ScalePercent(), popup.ShownWidth()), 0);
        popup.Toggle();
        MSG msg;
        while (popup.IsTimerActive(kSlideInTimer) && GetMessageW(&msg, nullptr, 0, 0) > 0)
            DispatchMessageW(&msg);
        EXPECT_EQ(popup.ShownWidth(), Scaled(kOpenShownWidth, popup.ScalePercent()));
        EXPECT_EQ(RegionMismatches(popup.GetHwnd(), popup.ScalePercent(), popup.ShownWidth()), 0);
    }
}

}  // namespace
}  // namespace velmora::win32
