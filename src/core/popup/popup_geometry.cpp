#include "core/popup/popup_geometry.h"

#include <algorithm>

namespace velmora {
namespace {

bool Contains(const RegionRect& r, ScreenPoint p) {
    return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom;
}

bool Intersect(const RegionRect& a, const RegionRect& b) {
    return std::max(a.left, b.left) < std::min(a.right, b.right) &&
           std::max(a.top, b.top) < std::min(a.bottom, b.bottom);
}

// Where no monitor is known, the size the popup was first built for.
constexpr RegionRect kFallbackArea{0, 0, 1024, 768};

}  // namespace

PopupPositions ComputePositions(int screenWidth, int screenHeight) {
    PopupPositions p;
    p.parkedX = screenWidth - kTabWidth;
    p.openX = screenWidth - kOpenShownWidth;
    p.parkedY = p.openY = (screenHeight - kCentringHeight) / 2;
    return p;
}

int ScaleForDpi(unsigned dpi) {
    if (dpi == 0) return 100;
    return static_cast<int>((dpi * 100 + 48) / 96);
}

PopupPositions ComputePositions(const RegionRect& area, int scalePercent) {
    PopupPositions p;
    p.parkedX = area.right - Scaled(kTabWidth, scalePercent);
    p.openX = area.right - Scaled(kOpenShownWidth, scalePercent);
    p.parkedY = p.openY =
        area.top + (area.bottom - area.top - Scaled(kCentringHeight, scalePercent)) / 2;
    return p;
}

PopupPlacement PlacePopup(const std::vector<Monitor>& monitors,
                          const std::optional<ScreenPoint>& trayIcon) {
    const Monitor* owner = nullptr;
    // The tray sits on a panel, outside the free area: the whole monitor counts.
    if (trayIcon)
        for (const Monitor& m : monitors)
            if (!owner && Contains(m.geometry, *trayIcon)) owner = &m;
    for (const Monitor& m : monitors)
        if (!owner && m.primary) owner = &m;
    if (!owner && !monitors.empty()) owner = &monitors.front();
    const RegionRect area = owner ? owner->available : kFallbackArea;
    const int scale = owner ? owner->scalePercent : 100;
    return {ComputePositions(area, scale), area, scale};
}

int ShownWidth(int windowLeft, const RegionRect& ownerArea, bool inOwnPlace, int popupWidth) {
    if (!inOwnPlace) return popupWidth;
    return std::clamp(ownerArea.right - windowLeft, 0, popupWidth);
}

bool CanBeSeen(const RegionRect& part, ScreenPoint window, int shownWidth,
               const std::vector<Monitor>& monitors) {
    const RegionRect shown{window.x + part.left, window.y + part.top,
                           window.x + std::min(part.right, shownWidth), window.y + part.bottom};
    if (shown.left >= shown.right) return false;
    return std::any_of(monitors.begin(), monitors.end(),
                       [&](const Monitor& m) { return Intersect(m.geometry, shown); });
}

SlideStep SlideInStep(int left, int openX, int scalePercent) {
    const int x = left - Scaled(kSlideInStep, scalePercent);
    if (x > openX) return {x, false};
    return {openX, true};
}

SlideStep SlideOutStep(int left, int parkedX, int scalePercent) {
    const int x = left + Scaled(kSlideOutStep, scalePercent);
    if (x < parkedX) return {x, false};
    return {parkedX, true};
}

}  // namespace velmora
