#pragma once
// What the tray shows, decided without Qt: the tooltip's text and the images
// of the blinking icon.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/delivery/delivery_ui.h"

namespace velmora {

// The tooltip field holds 64 bytes with its terminating zero.
inline constexpr std::size_t kTrayTipBytes = 63;

// `cp932` cut to the tooltip's 63 bytes without splitting a double-byte character.
std::string TrayTipText(std::string_view cp932);

// One tick of the blink timer: phase 1 shows the normal image, any other the
// blink image; the phase then flips. It is never reset, so a new blinking
// carries on from where the last one stopped.
TrayImage BlinkStep(std::int32_t& phase);

}  // namespace velmora
