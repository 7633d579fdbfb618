#include "core/popup/popup_geometry.h"

namespace velmora {

PopupPositions ComputePositions(int screenWidth, int screenHeight) {
    PopupPositions p;
    p.parkedX = screenWidth - kTabWidth;
    p.openX = screenWidth - kOpenShownWidth;
    p.parkedY = p.openY = (screenHeight - kCentringHeight) / 2;
    return p;
}

SlideStep SlideInStep(int left, int openX) {
    const int x = left - kSlideInStep;
    if (x > openX) return {x, false};
    return {openX, true};
}

SlideStep SlideOutStep(int left, int parkedX) {
    const int x = left + kSlideOutStep;
    if (x < parkedX) return {x, false};
    return {parkedX, true};
}

}  // namespace velmora
