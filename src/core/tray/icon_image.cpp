#include "core/tray/icon_image.h"

namespace velmora {

IconImage IconImage::Blank(int width, int height) {
    IconImage image;
    if (width <= 0 || height <= 0) return image;
    image.width = width;
    image.height = height;
    const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    image.colour.assign(n, 0);
    image.mask.assign(n, 1);
    return image;
}

bool IconImage::Valid() const {
    if (width <= 0 || height <= 0) return false;
    const auto n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return colour.size() == n && mask.size() == n;
}

int OverlayResourceFor(const IconImage& base, bool error) {
    if (base.HotspotX() == 8) return error ? kOverlayError16 : kOverlayBusy16;
    return error ? kOverlayError32 : kOverlayBusy32;
}

std::optional<IconImage> ComposeOverlayIcon(const IconImage& base, const IconImage& overlay) {
    if (!base.Valid() || !overlay.Valid()) return std::nullopt;
    const int w = 2 * base.HotspotX();
    const int h = 2 * base.HotspotY();
    if (w <= 0 || h <= 0) return std::nullopt;

    IconImage result = IconImage::Blank(w, h);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            result.SetColour(x, y, base.ColourAt(x, y));
            result.SetMask(x, y, base.MaskAt(x, y));
        }
    }

    const std::uint32_t key = overlay.ColourAt(0, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            // Outside the overlay nothing is read: the base keeps its pixel.
            if (!overlay.Contains(x, y)) continue;
            const std::uint32_t c = overlay.ColourAt(x, y);
            if (c != key) result.SetColour(x, y, c);
        }
    }
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!overlay.Contains(x, y)) continue;
            if (overlay.MaskAt(x, y) == 0) result.SetMask(x, y, 0);
        }
    }
    return result;
}

}  // namespace velmora
