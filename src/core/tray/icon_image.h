#pragma once
// Icons as the tray composes them: a colour plane and a transparency mask of
// the same size. Qt-free, so that the overlay composition is tested pixel by pixel.

#include <cstdint>
#include <optional>
#include <vector>

namespace velmora {

// Icon resources by number.
inline constexpr int kIconNormal = 128;
inline constexpr int kIconBlink = 129;
inline constexpr int kOverlayError16 = 133;
inline constexpr int kOverlayBusy16 = 134;
inline constexpr int kOverlayError32 = 135;
inline constexpr int kOverlayBusy32 = 141;

struct IconImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> colour;  // 0xAARRGGBB, row by row
    std::vector<std::uint8_t> mask;     // not 0: transparent

    // A fully transparent image: colour 0, mask 1.
    static IconImage Blank(int width, int height);

    // False for a zero size or planes that do not match the size.
    bool Valid() const;
    bool Contains(int x, int y) const { return x >= 0 && y >= 0 && x < width && y < height; }
    // An icon's hotspot is its centre.
    int HotspotX() const { return width / 2; }
    int HotspotY() const { return height / 2; }

    std::uint32_t ColourAt(int x, int y) const { return colour[Index(x, y)]; }
    std::uint8_t MaskAt(int x, int y) const { return mask[Index(x, y)]; }
    void SetColour(int x, int y, std::uint32_t c) { colour[Index(x, y)] = c; }
    void SetMask(int x, int y, std::uint8_t m) { mask[Index(x, y)] = m; }

  private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    }
};

// The overlay resource for a base icon: the 16-pixel overlays when the base's
// hotspot x is 8, the 32-pixel ones otherwise.
int OverlayResourceFor(const IconImage& base, bool error);

// The base with the overlay laid over it, (2 × hotspot x) × (2 × hotspot y)
// pixels. Where the overlay shows its key colour (its pixel at 0, 0) the base
// keeps its colour, elsewhere the overlay's colour is taken; the result is
// opaque wherever the overlay is. Outside the overlay the base keeps its
// colour and mask. Nothing when either image is not valid.
std::optional<IconImage> ComposeOverlayIcon(const IconImage& base, const IconImage& overlay);

}  // namespace velmora
