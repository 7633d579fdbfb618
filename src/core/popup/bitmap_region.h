#pragma once
// The shape of a skin bitmap: its non-key pixels as horizontal runs, and the
// monochrome mask that buttons use for their hit test. Qt-free.

#include <cstdint>
#include <vector>

namespace velmora {

// Magenta as a COLORREF (0x00BBGGRR): the only key colour of the skins.
inline constexpr std::uint32_t kKeyColor = 0x00FF00FF;

// Rows of 32-bit pixels whose low 24 bits are 0xRRGGBB (QImage::Format_RGB32
// and ARGB32 store them this way); `stride` counts pixels per row.
struct PixelView {
    const std::uint32_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int stride = 0;

    std::uint32_t At(int x, int y) const { return pixels[y * stride + x]; }
};

// Pixels of our own, laid out as PixelView reads them.
struct PixelImage {
    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;

    PixelView View() const { return {pixels.data(), width, height, width}; }
};

// The bitmap at `percent` of its size, each pixel taken whole from the one it
// covers: a pixel stays key-coloured or not, so the shape and the picture
// scale together and the edges stay sharp.
PixelImage ScaleNearest(const PixelView& bitmap, int percent);

// Left and top inclusive, right and bottom exclusive.
struct RegionRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;

    bool operator==(const RegionRect&) const = default;
};

// True when the pixel's red, green and blue equal those of the COLORREF key.
bool IsKeyPixel(std::uint32_t pixel, std::uint32_t keyColor);

// One rectangle per horizontal run of non-key pixels per row; rows top to
// bottom, runs left to right, nothing merged across rows.
std::vector<RegionRect> CreateBitmapRegion(const PixelView& bitmap,
                                           std::uint32_t keyColor = kKeyColor);

// 1 where the bitmap has the key colour, 0 elsewhere.
class KeyMask {
  public:
    KeyMask() = default;
    static KeyMask FromBitmap(const PixelView& bitmap, std::uint32_t keyColor = kKeyColor);

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool IsKey(int x, int y) const { return bits_[static_cast<std::size_t>(y * width_ + x)] != 0; }

  private:
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> bits_;
};

// A button's hit test: without a mask every point hits; with one, a point hits
// when it lies on the bitmap and on a pixel that is not key-coloured.
bool MaskHit(const KeyMask* mask, int x, int y);

}  // namespace velmora
