#pragma once
// Where the news popup and its parts sit, where it parks and opens, and how
// it slides. Qt-free.

#include <optional>
#include <vector>

#include "core/popup/bitmap_region.h"

namespace velmora {

// Window size from skin 150 and the width of the tab that stays on screen.
inline constexpr int kPopupWidth = 562;
inline constexpr int kPopupHeight = 302;
inline constexpr int kTabWidth = 80;
// The open window leaves two of its 562 pixels off the right edge.
inline constexpr int kOpenShownWidth = 560;
// The vertical position is centred on a 300-pixel window.
inline constexpr int kCentringHeight = 300;

// Controls of the popup (client coordinates, right and bottom exclusive).
inline constexpr int kLogoCommand = 108;
inline constexpr int kMyPageCommand = 104;
inline constexpr int kPrevCommand = 107;
inline constexpr int kNextCommand = 105;
inline constexpr int kTickerCommand = 112;
inline constexpr int kBrowserControlId = 1000;
// The keyboard's stops for the left and the right card.
inline constexpr int kLeftCardCommand = 1001;
inline constexpr int kRightCardCommand = 1002;

inline constexpr int kLogoX = 10, kLogoY = 5;
inline constexpr int kMyPageX = 100, kMyPageY = 10;
inline constexpr int kPrevX = 255, kPrevY = 247;
inline constexpr int kNextX = 468, kNextY = 247;
// The ticker bar's hot area, given inclusive as the skin draws it.
inline constexpr RegionRect kTickerBarInclusive{247, 37, 545, 62};
inline constexpr RegionRect kTickerTextRect{270, 43, 530, 53};
inline constexpr RegionRect kBrowserRect{248, 78, 562, 240};
// Strips over the browser's edges, in creation order: left, right, top, bottom.
inline constexpr RegionRect kStripRects[4] = {
    {248, 78, 250, 240}, {542, 78, 562, 240}, {248, 78, 562, 80}, {248, 238, 562, 240}};

// Bitmaps of the popup's skin and buttons.
inline constexpr int kSkinBitmap = 150;
inline constexpr int kMyPageNormalBitmap = 153;
inline constexpr int kMyPageHoverBitmap = 154;
inline constexpr int kMyPagePressedBitmap = 155;
inline constexpr int kLogoHoverBitmap = 157;
inline constexpr int kLogoPressedBitmap = 158;
inline constexpr int kNextDisabledBitmap = 161;
inline constexpr int kPrevDisabledBitmap = 162;
inline constexpr int kNextBitmap = 163;
inline constexpr int kPrevBitmap = 164;
inline constexpr int kLogoBitmap = 165;
inline constexpr int kPlaceholderBitmap = 170;

// Timers: id and interval in milliseconds.
inline constexpr int kSlideInTimer = 2;
inline constexpr int kSlideOutTimer = 3;
inline constexpr int kTickerTimer = 4;
inline constexpr int kWritePollTimer = 5;
inline constexpr int kAutoCloseTimer = 6;
inline constexpr int kSlideInterval = 16;
inline constexpr int kTickerInterval = 100;
inline constexpr int kWritePollInterval = 20;
inline constexpr int kAutoCloseInterval = 300000;

inline constexpr int kSlideInStep = 30;
inline constexpr int kSlideOutStep = 50;

// A length of the popup's artwork on a monitor drawn at `percent` of its
// pixels (per-monitor DPI: 96 dots an inch is 100).
inline int Scaled(int length, int percent) {
    return (length * percent + 50) / 100;
}
inline RegionRect Scaled(const RegionRect& r, int percent) {
    return {Scaled(r.left, percent), Scaled(r.top, percent), Scaled(r.right, percent),
            Scaled(r.bottom, percent)};
}
// The scale of a monitor of `dpi` dots an inch.
int ScaleForDpi(unsigned dpi);

// Screen positions of the window's top-left corner.
struct PopupPositions {
    int parkedX = 0;
    int parkedY = 0;
    int openX = 0;
    int openY = 0;
};

// From a screen's full size, at its right edge.
PopupPositions ComputePositions(int screenWidth, int screenHeight);
// At the right edge of an area in desktop coordinates, centred in its height,
// for the popup drawn at `scalePercent`.
PopupPositions ComputePositions(const RegionRect& area, int scalePercent = 100);

// A monitor: its whole area and the part panels leave free, in
// virtual-desktop coordinates.
struct Monitor {
    RegionRect geometry;
    RegionRect available;
    bool primary = false;
    int scalePercent = 100;  // how large the popup is drawn there
};

struct ScreenPoint {
    int x = 0;
    int y = 0;
};

// The popup belongs to one monitor: the one holding the tray icon, or
// without one the primary. It opens and parks at the right edge of that
// monitor's free area.
struct PopupPlacement {
    PopupPositions positions;
    RegionRect ownerArea;    // the owning monitor's free area
    int scalePercent = 100;  // the owning monitor's
};
PopupPlacement PlacePopup(const std::vector<Monitor>& monitors,
                          const std::optional<ScreenPoint>& trayIcon);

// The columns of the window, from its left edge, that are shown. In its own
// place (parked, sliding, open) the window is cut at the owning monitor's
// right edge, so its body never shows on a monitor beyond; dragged
// elsewhere by the user it is shown whole.
int ShownWidth(int windowLeft, const RegionRect& ownerArea, bool inOwnPlace,
               int popupWidth = kPopupWidth);

// Whether some pixel of `part` (window coordinates) of a window at (x, y)
// that shows its first `shownWidth` columns lies on a monitor. The virtual
// desktop's gaps and the parts beyond the owner's edge are not seen.
bool CanBeSeen(const RegionRect& part, ScreenPoint window, int shownWidth,
               const std::vector<Monitor>& monitors);

// One tick of a slide: where the left edge goes and whether the slide ends.
struct SlideStep {
    int x = 0;
    bool done = false;
};
// The steps are scaled with the popup, so a slide takes as many ticks.
SlideStep SlideInStep(int left, int openX, int scalePercent = 100);
SlideStep SlideOutStep(int left, int parkedX, int scalePercent = 100);

}  // namespace velmora
