// The compiled-in bitmaps: their sizes, the skin's layout, and hard edges
// between each shape and the magenta around it.

#include <gtest/gtest.h>

#include <QImage>
#include <utility>

#include "core/popup/bitmap_region.h"
#include "core/popup/popup_geometry.h"
#include "desktop/popup/popup_resources.h"

namespace velmora {
namespace {

bool IsKey(const QImage& image, int x, int y) {
    return IsKeyPixel(image.pixel(x, y), kKeyColor);
}

TEST(PopupArtworkTest, EveryBitmapHasItsSize) {
    const std::pair<int, QSize> sizes[] = {
        {kSkinBitmap, {562, 302}},        {kMyPageNormalBitmap, {129, 129}},
        {kMyPageHoverBitmap, {129, 129}}, {kMyPagePressedBitmap, {129, 129}},
        {kLogoBitmap, {71, 36}},          {kLogoHoverBitmap, {71, 36}},
        {kLogoPressedBitmap, {71, 36}},   {kPrevBitmap, {67, 26}},
        {kPrevDisabledBitmap, {67, 26}},  {kNextBitmap, {67, 26}},
        {kNextDisabledBitmap, {67, 26}},  {kPlaceholderBitmap, {48, 48}}};
    for (const auto& [id, size] : sizes) EXPECT_EQ(LoadPopupBitmap(id).size(), size) << id;
    EXPECT_TRUE(LoadPopupBitmap(999).isNull());
}

TEST(PopupArtworkTest, SkinLayout) {
    const QImage skin = LoadPopupBitmap(kSkinBitmap);
    // The left 80 columns hold only the logo tab at the top.
    for (int y = 60; y < skin.height(); ++y)
        for (int x = 0; x < kTabWidth; ++x) ASSERT_TRUE(IsKey(skin, x, y)) << x << "," << y;
    EXPECT_FALSE(IsKey(skin, 40, 20));
    // Ticker bar: yellow inside its rectangle.
    for (int x = 270; x <= 540; x += 10) {
        const QColor c = skin.pixelColor(x, 55);
        EXPECT_TRUE(c.red() > 200 && c.green() > 180 && c.blue() < 120) << x;
    }
    // The card frame is inside the shape, up to the right edge.
    for (int y = kBrowserRect.top; y < kBrowserRect.bottom; ++y)
        for (int x = kBrowserRect.left; x < kBrowserRect.right; ++x)
            ASSERT_FALSE(IsKey(skin, x, y)) << x << "," << y;
}

TEST(PopupArtworkTest, ShapesHaveHardEdges) {
    for (const int id :
         {kSkinBitmap, kPrevBitmap, kPrevDisabledBitmap, kNextBitmap, kNextDisabledBitmap}) {
        const QImage image = LoadPopupBitmap(id);
        int edge = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                if (IsKey(image, x, y)) continue;
                const bool besideKey = (x > 0 && IsKey(image, x - 1, y)) ||
                                       (y > 0 && IsKey(image, x, y - 1)) ||
                                       (x + 1 < image.width() && IsKey(image, x + 1, y)) ||
                                       (y + 1 < image.height() && IsKey(image, x, y + 1));
                if (!besideKey) continue;
                ++edge;
                // No pixel on the edge carries a tint of the magenta around it.
                const QColor c = image.pixelColor(x, y);
                ASSERT_FALSE(c.red() - c.green() > 40 && c.blue() - c.green() > 40)
                    << id << " at " << x << "," << y;
            }
        EXPECT_GT(edge, 0) << id;
    }
}

TEST(PopupArtworkTest, TemplatesFitTheirBuffers) {
    std::string page, card, empty;
    EXPECT_TRUE(LoadTemplate(kPageTemplate, page, kPageTemplateSize));
    EXPECT_TRUE(LoadTemplate(kCardTemplate, card, kCardTemplateSize));
    EXPECT_TRUE(LoadTemplate(kEmptyCardTemplate, empty, kCardTemplateSize));
    EXPECT_NE(page.find("%s"), std::string::npos);
    // Too small a buffer leaves the template empty.
    EXPECT_FALSE(LoadTemplate(kPageTemplate, page, 100));
    EXPECT_TRUE(page.empty());
    EXPECT_TRUE(LoadTemplate(12345, page, 10));
    EXPECT_TRUE(page.empty());
}

}  // namespace
}  // namespace velmora
