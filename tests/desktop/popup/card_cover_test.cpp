#include "desktop/popup/card_cover.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>
#include <utility>
#include <vector>

namespace velmora {
namespace {

const QRect kArea(250, 80, 292, 158);
const QColor kTitle(0xCC, 0x00, 0x00);
const QColor kBorder(0xE3, 0xE3, 0xE3);

// Pixels of `color` in the left and the right half of the cover.
std::pair<int, int> CountByHalf(const QImage& image, const QColor& color) {
    int left = 0, right = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (image.pixelColor(x, y) == color) (x < image.width() / 2 ? left : right) += 1;
    return {left, right};
}

QImage Painted(CardCover& cover) {
    return cover.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class CardCoverTest : public ::testing::Test {
  protected:
    QWidget popup;
    CardCover cover{&popup, kArea};
    std::vector<CardRecord> items = {{"<b>First</b> headline", "first detail", "", ""},
                                     {"Second headline", "second detail", "", ""},
                                     {"Third headline", "third detail", "", ""}};
};

TEST_F(CardCoverTest, DrawsBothCardsHeadlinesInTheCardColours) {
    EXPECT_EQ(cover.geometry(), kArea);
    cover.SetCards(items, 0);
    const QImage image = Painted(cover);
    const auto [titleLeft, titleRight] = CountByHalf(image, kTitle);
    EXPECT_GT(titleLeft, 20);
    EXPECT_GT(titleRight, 20);
    const auto [borderLeft, borderRight] = CountByHalf(image, kBorder);
    EXPECT_GT(borderLeft, 400);
    EXPECT_GT(borderRight, 400);
}

TEST_F(CardCoverTest, OneItemLeavesTheRightCardOut) {
    cover.SetCards(items, 2);
    const QImage image = Painted(cover);
    EXPECT_GT(CountByHalf(image, kTitle).first, 20);
    EXPECT_EQ(CountByHalf(image, kTitle).second, 0);
    EXPECT_EQ(CountByHalf(image, kBorder).second, 0);
}

TEST_F(CardCoverTest, PictureIsShownOnlyForTheCardsItShows) {
    QImage picture(kArea.size(), QImage::Format_RGB32);
    picture.fill(QColor(0, 0, 255));
    cover.SetCards(items, 0);
    cover.SetPicture(picture, items, 0);
    EXPECT_TRUE(cover.ShowsPicture());
    EXPECT_EQ(Painted(cover).pixelColor(100, 100), QColor(0, 0, 255));

    // Paged on: the picture is of other cards, so the cards are drawn.
    cover.SetCards(items, 1);
    EXPECT_FALSE(cover.ShowsPicture());
    EXPECT_GT(CountByHalf(Painted(cover), kTitle).first, 20);

    // Back to them, or the same items in a new channel: the picture again.
    std::vector<CardRecord> again = items;
    cover.SetCards(again, 0);
    EXPECT_TRUE(cover.ShowsPicture());
    again[1].detail = "changed";
    cover.SetCards(again, 0);
    EXPECT_FALSE(cover.ShowsPicture());

    // A missing picture keeps the one there was.
    cover.SetCards(items, 0);
    cover.SetPicture(QImage(), items, 0);
    EXPECT_TRUE(cover.ShowsPicture());
}

}  // namespace
}  // namespace velmora
