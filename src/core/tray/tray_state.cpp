#include "core/tray/tray_state.h"

#include "core/text/cp932.h"

namespace velmora {

std::string TrayTipText(std::string_view cp932) {
    return text::CutToBytes(cp932, kTrayTipBytes);
}

TrayImage BlinkStep(std::int32_t& phase) {
    const TrayImage shown = phase == 1 ? TrayImage::Normal : TrayImage::Blink;
    phase = phase == 0 ? 1 : 0;
    return shown;
}

}  // namespace velmora
