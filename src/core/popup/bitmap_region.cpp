#include "core/popup/bitmap_region.h"

#include <algorithm>

namespace velmora {

bool IsKeyPixel(std::uint32_t pixel, std::uint32_t keyColor) {
    const std::uint32_t keyRgb =
        ((keyColor & 0xFFu) << 16) | (keyColor & 0xFF00u) | ((keyColor >> 16) & 0xFFu);
    return (pixel & 0xFFFFFFu) == keyRgb;
}

PixelImage ScaleNearest(const PixelView& bitmap, int percent) {
    PixelImage out;
    out.width = (bitmap.width * percent + 50) / 100;
    out.height = (bitmap.height * percent + 50) / 100;
    out.pixels.resize(static_cast<std::size_t>(out.width) * static_cast<std::size_t>(out.height));
    for (int y = 0; y < out.height; ++y) {
        const int sy = std::min(bitmap.height - 1, y * 100 / percent);
        for (int x = 0; x < out.width; ++x) {
            const int sx = std::min(bitmap.width - 1, x * 100 / percent);
            out.pixels[static_cast<std::size_t>(y * out.width + x)] = bitmap.At(sx, sy);
        }
    }
    return out;
}

std::vector<RegionRect> CreateBitmapRegion(const PixelView& bitmap, std::uint32_t keyColor) {
    std::vector<RegionRect> rects;
    for (int y = 0; y < bitmap.height; ++y) {
        int x = 0;
        while (x < bitmap.width) {
            if (IsKeyPixel(bitmap.At(x, y), keyColor)) {
                ++x;
                continue;
            }
            const int start = x;
            while (x < bitmap.width && !IsKeyPixel(bitmap.At(x, y), keyColor)) ++x;
            rects.push_back({start, y, x, y + 1});
        }
    }
    return rects;
}

KeyMask KeyMask::FromBitmap(const PixelView& bitmap, std::uint32_t keyColor) {
    KeyMask mask;
    mask.width_ = bitmap.width;
    mask.height_ = bitmap.height;
    mask.bits_.resize(static_cast<std::size_t>(bitmap.width) *
                      static_cast<std::size_t>(bitmap.height));
    for (int y = 0; y < bitmap.height; ++y)
        for (int x = 0; x < bitmap.width; ++x)
            mask.bits_[static_cast<std::size_t>(y * bitmap.width + x)] =
                IsKeyPixel(bitmap.At(x, y), keyColor) ? 1 : 0;
    return mask;
}

bool MaskHit(const KeyMask* mask, int x, int y) {
    if (!mask) return true;
    if (x < 0 || y < 0 || x >= mask->Width() || y >= mask->Height()) return false;
    return !mask->IsKey(x, y);
}

}  // namespace velmora
