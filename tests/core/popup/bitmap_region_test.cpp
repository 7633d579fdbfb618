#include "core/popup/bitmap_region.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace velmora {
namespace {

constexpr std::uint32_t kMagentaPixel = 0xFFFF00FF;
constexpr std::uint32_t kOpaquePixel = 0xFF204080;

// A bitmap drawn from rows of text: '#' opaque, '.' magenta.
struct TestBitmap {
    explicit TestBitmap(const std::vector<std::string>& rows) {
        width = static_cast<int>(rows.empty() ? 0 : rows[0].size());
        height = static_cast<int>(rows.size());
        for (const std::string& row : rows)
            for (const char c : row) pixels.push_back(c == '#' ? kOpaquePixel : kMagentaPixel);
    }
    PixelView View() const { return {pixels.data(), width, height, width}; }

    std::vector<std::uint32_t> pixels;
    int width = 0;
    int height = 0;
};

TEST(BitmapRegion, KeyComparisonUsesRedGreenBlueOnly) {
    EXPECT_TRUE(IsKeyPixel(0x00FF00FF, kKeyColor));
    EXPECT_TRUE(IsKeyPixel(0xFFFF00FF, kKeyColor));
    EXPECT_FALSE(IsKeyPixel(0xFFFF01FF, kKeyColor));
    EXPECT_FALSE(IsKeyPixel(0xFFFE00FF, kKeyColor));
    // COLORREF 0x00BBGGRR against pixels 0xRRGGBB: pure red as a key.
    EXPECT_TRUE(IsKeyPixel(0xFFFF0000, 0x000000FF));
    EXPECT_FALSE(IsKeyPixel(0xFF0000FF, 0x000000FF));
}

TEST(BitmapRegion, OpaqueBlockGivesOneRectanglePerRow) {
    const TestBitmap block(std::vector<std::string>(10, std::string(10, '#')));
    const std::vector<RegionRect> rects = CreateBitmapRegion(block.View());
    ASSERT_EQ(rects.size(), 10u);
    for (int y = 0; y < 10; ++y) EXPECT_EQ(rects[y], (RegionRect{0, y, 10, y + 1}));
}

TEST(BitmapRegion, AllKeyGivesNoRectangles) {
    const TestBitmap blank({"....", "....", "...."});
    EXPECT_TRUE(CreateBitmapRegion(blank.View()).empty());
}

TEST(BitmapRegion, RunsInRowOrderThenLeftToRight) {
    const TestBitmap bitmap({
        "##.##",  // two runs split by one key pixel
        "...##",  // a run reaching the right edge
        ".....",  // nothing
        ".#...",  // a single pixel
    });
    const std::vector<RegionRect> expected = {
        {0, 0, 2, 1}, {3, 0, 5, 1}, {3, 1, 5, 2}, {1, 3, 2, 4}};
    EXPECT_EQ(CreateBitmapRegion(bitmap.View()), expected);
}

TEST(BitmapRegion, HonoursRowStride) {
    // Two rows of three pixels stored with a stride of four; the padding is opaque.
    const std::vector<std::uint32_t> pixels = {kOpaquePixel,  kMagentaPixel, kOpaquePixel,
                                               kOpaquePixel,  kMagentaPixel, kOpaquePixel,
                                               kMagentaPixel, kOpaquePixel};
    const PixelView view{pixels.data(), 3, 2, 4};
    const std::vector<RegionRect> expected = {{0, 0, 1, 1}, {2, 0, 3, 1}, {1, 1, 2, 2}};
    EXPECT_EQ(CreateBitmapRegion(view), expected);
}

TEST(KeyMaskTest, MarksKeyPixelsAndHitsOpaqueOnes) {
    const TestBitmap bitmap({".#", "#."});
    const KeyMask mask = KeyMask::FromBitmap(bitmap.View());
    EXPECT_EQ(mask.Width(), 2);
    EXPECT_EQ(mask.Height(), 2);
    EXPECT_TRUE(mask.IsKey(0, 0));
    EXPECT_FALSE(mask.IsKey(1, 0));
    EXPECT_FALSE(MaskHit(&mask, 0, 0));
    EXPECT_TRUE(MaskHit(&mask, 1, 0));
    EXPECT_TRUE(MaskHit(&mask, 0, 1));
    // Outside the bitmap nothing hits.
    EXPECT_FALSE(MaskHit(&mask, -1, 0));
    EXPECT_FALSE(MaskHit(&mask, 2, 0));
    EXPECT_FALSE(MaskHit(&mask, 0, 2));
}

TEST(KeyMaskTest, NoMaskHitsEverywhere) {
    EXPECT_TRUE(MaskHit(nullptr, 0, 0));
    EXPECT_TRUE(MaskHit(nullptr, 5000, -3));
}

}  // namespace
}  // namespace velmora
