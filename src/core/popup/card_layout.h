#pragma once
// The card page's layout as the visible part of the card area shows it: two
// cards of 136 x 150 centred in cells of 145, under a top margin, each with a
// picture box over its headline and detail. Drawn natively, the cards follow
// these figures; the page template says the same in HTML. Qt-free.

#include <cstdint>

namespace velmora {

inline constexpr int kCardWidth = 136;
inline constexpr int kCardHeight = 150;
inline constexpr int kCardTop = 1;
inline constexpr int kCardLefts[2] = {2, 147};
inline constexpr int kCardPadding = 5;
inline constexpr int kPictureWidth = 120;
inline constexpr int kPictureHeight = 80;
inline constexpr int kPictureTop = 3, kPictureBottom = 7;
// 0xRRGGBB.
inline constexpr std::uint32_t kCardBorderRgb = 0xE3E3E3;
inline constexpr std::uint32_t kCardTitleRgb = 0xCC0000;
inline constexpr std::uint32_t kCardBodyRgb = 0x666666;

struct PictureSize {
    int width = 0;
    int height = 0;
    bool operator==(const PictureSize&) const = default;
};

// A picture of `width` x `height` as its card shows it: one that fits the
// picture box at its own size, a larger one scaled down into the box with its
// proportions kept (rounded down); 0 x 0 when either side is 0.
PictureSize FitCardPicture(int width, int height);

}  // namespace velmora
