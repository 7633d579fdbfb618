#include "desktop/popup/bmp_button.h"

#include <gtest/gtest.h>

#include <QCursor>
#include <vector>

#include "core/popup/popup_geometry.h"
#include "support/popup_test_support.h"

namespace velmora {
namespace {

using test_support::Click;
using test_support::SendMouse;

class CommandSink : public CSkinWnd {
  public:
    CommandSink() { resize(300, 200); }
    void OnCommand(int id) override { commands.push_back(id); }
    std::vector<int> commands;
};

TEST(BmpButtonTest, TransparentButtonTakesTheShapeOfItsImage) {
    CommandSink parent;
    CBmpButton button;
    ASSERT_TRUE(button.CreateImageButton(&parent, kPrevCommand, kPrevBitmap, kPrevBitmap,
                                         kPrevBitmap, 20, 30, true));
    EXPECT_EQ(button.geometry(), QRect(20, 30, 67, 26));
    EXPECT_EQ(button.GetParentObject(), &parent);
    EXPECT_EQ(button.GetControlId(), kPrevCommand);
    EXPECT_EQ(button.cursor().shape(), Qt::PointingHandCursor);
    // The rounded plate leaves its corners to the key colour.
    EXPECT_FALSE(button.HitTest(QPoint(0, 0)));
    EXPECT_FALSE(button.mask().contains(QPoint(0, 0)));
    EXPECT_TRUE(button.HitTest(QPoint(33, 13)));
    EXPECT_TRUE(button.mask().contains(QPoint(33, 13)));
    EXPECT_FALSE(button.HitTest(QPoint(67, 13)));
    // A second creation does nothing.
    EXPECT_FALSE(
        button.CreateImageButton(&parent, 1, kNextBitmap, kNextBitmap, kNextBitmap, 0, 0, true));
}

TEST(BmpButtonTest, ClickReachesTheParentOnlyOnOpaquePixels) {
    CommandSink parent;
    CBmpButton button;
    button.CreateImageButton(&parent, kNextCommand, kNextBitmap, kNextBitmap, kNextBitmap, 0, 0,
                             true);
    Click(&button, QPoint(33, 13));
    EXPECT_EQ(parent.commands, std::vector<int>{kNextCommand});
    Click(&button, QPoint(0, 0));  // magenta corner
    Click(&button, QPoint(33, 13), Qt::RightButton);
    EXPECT_EQ(parent.commands.size(), 1u);
    // A release over the button is a click wherever the press was.
    SendMouse(&button, QEvent::MouseButtonRelease, QPoint(30, 10), Qt::LeftButton);
    EXPECT_EQ(parent.commands.size(), 2u);
}

TEST(BmpButtonTest, HoverAndLeaveSwitchImages) {
    CommandSink parent;
    CBmpButton button;
    button.CreateImageButton(&parent, kMyPageCommand, kMyPageNormalBitmap, kMyPagePressedBitmap,
                             kMyPageHoverBitmap, 0, 0, false);
    EXPECT_EQ(button.size(), QSize(129, 129));
    EXPECT_TRUE(button.HitTest(QPoint(0, 0)));  // no mask: every point hits
    EXPECT_EQ(button.CurrentImageId(), kMyPageNormalBitmap);
    SendMouse(&button, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton);
    EXPECT_EQ(button.CurrentImageId(), kMyPageHoverBitmap);

    // The pressed image is only drawn; after the click the hover image shows.
    SendMouse(&button, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton);
    EXPECT_EQ(button.CurrentImageId(), kMyPageHoverBitmap);
    SendMouse(&button, QEvent::MouseButtonRelease, QPoint(60, 60), Qt::LeftButton);
    EXPECT_EQ(parent.commands, std::vector<int>{kMyPageCommand});
    EXPECT_EQ(button.CurrentImageId(), kMyPageHoverBitmap);

    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    EXPECT_EQ(button.CurrentImageId(), kMyPageNormalBitmap);
}

TEST(BmpButtonTest, MovingWhileHeldChangesNothingAndLeavingClearsIt) {
    CommandSink parent;
    CBmpButton button;
    button.CreateImageButton(&parent, kMyPageCommand, kMyPageNormalBitmap, kMyPagePressedBitmap,
                             kMyPageHoverBitmap, 0, 0, false);
    SendMouse(&button, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton);
    SendMouse(&button, QEvent::MouseMove, QPoint(61, 61), Qt::NoButton);
    EXPECT_EQ(button.CurrentImageId(), kMyPageNormalBitmap);
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(&button, &leave);
    // Held state is gone: the next move shows the hover image again.
    SendMouse(&button, QEvent::MouseMove, QPoint(61, 61), Qt::NoButton);
    EXPECT_EQ(button.CurrentImageId(), kMyPageHoverBitmap);
}

TEST(BmpButtonTest, DisabledButtonShowsItsImageAndIgnoresTheMouse) {
    CommandSink parent;
    CBmpButton button;
    button.CreateImageButton(&parent, kPrevCommand, kPrevBitmap, kPrevBitmap, kPrevBitmap, 0, 0,
                             true);
    ASSERT_TRUE(button.LoadDisabledImage(kPrevDisabledBitmap));
    button.SetDisabled(true);
    EXPECT_TRUE(button.IsDisabled());
    EXPECT_EQ(button.CurrentImageId(), kPrevDisabledBitmap);
    SendMouse(&button, QEvent::MouseMove, QPoint(33, 13), Qt::NoButton);
    Click(&button, QPoint(33, 13));
    EXPECT_TRUE(parent.commands.empty());
    EXPECT_EQ(button.CurrentImageId(), kPrevDisabledBitmap);
    button.SetDisabled(false);
    EXPECT_EQ(button.CurrentImageId(), kPrevBitmap);
    Click(&button, QPoint(33, 13));
    EXPECT_EQ(parent.commands, std::vector<int>{kPrevCommand});
}

TEST(BmpButtonTest, HotAreaIsInvisibleButClickable) {
    CommandSink parent;
    parent.resize(600, 300);
    parent.setAutoFillBackground(true);
    QPalette palette = parent.palette();
    palette.setColor(QPalette::Window, QColor(10, 200, 30));
    parent.setPalette(palette);
    CBmpButton area;
    ASSERT_TRUE(area.CreateHotArea(&parent, kTickerCommand, 247, 37, 545, 62));
    EXPECT_TRUE(area.IsHotArea());
    EXPECT_EQ(area.geometry(), QRect(247, 37, 299, 26));
    EXPECT_EQ(area.cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(area.CurrentImageId(), 0);
    // Nothing of its own is painted: the parent shows through.
    const QImage shot = parent.grab().toImage();
    EXPECT_EQ(shot.pixelColor(300, 50), QColor(10, 200, 30));
    Click(&area, QPoint(5, 5));
    EXPECT_EQ(parent.commands, std::vector<int>{kTickerCommand});
}

// A popup-like window with MY PAGE, the logo tab and the two paging buttons.
class PointerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        parent.resize(400, 300);
        myPage.CreateImageButton(&parent, kMyPageCommand, kMyPageNormalBitmap, kMyPagePressedBitmap,
                                 kMyPageHoverBitmap, 0, 0, false);
        logo.CreateImageButton(&parent, kLogoCommand, kLogoBitmap, kLogoPressedBitmap,
                               kLogoHoverBitmap, 200, 0, false);
        prev.CreateImageButton(&parent, kPrevCommand, kPrevBitmap, kPrevBitmap, kPrevBitmap, 20,
                               250, true);
        next.CreateImageButton(&parent, kNextCommand, kNextBitmap, kNextBitmap, kNextBitmap, 200,
                               250, true);
        parent.show();
    }
    // What the toolkit gives the pressed button: the pointer is at `global`.
    static void HeldMove(CBmpButton& pressed, QPoint global) {
        SendMouse(&pressed, QEvent::MouseMove, pressed.mapFromGlobal(global), Qt::LeftButton,
                  global);
    }
    static void ReleaseAt(CBmpButton& pressed, QPoint global) {
        SendMouse(&pressed, QEvent::MouseButtonRelease, pressed.mapFromGlobal(global),
                  Qt::LeftButton, global);
    }
    QPoint OnSurface() const { return parent.mapToGlobal(QPoint(150, 200)); }

    CommandSink parent;
    CBmpButton myPage, logo, prev, next;
};

TEST_F(PointerTest, ReleaseAwayFromThePressedButtonIsNoClickOfIt) {
    // Without a mask the button hits only inside its rectangle.
    EXPECT_FALSE(myPage.HitTest(QPoint(129, 60)));
    EXPECT_FALSE(myPage.HitTest(QPoint(-1, 60)));

    SendMouse(&myPage, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton);
    HeldMove(myPage, OnSurface());
    ReleaseAt(myPage, OnSurface());
    SendMouse(&logo, QEvent::MouseButtonPress, QPoint(10, 10), Qt::LeftButton);
    ReleaseAt(logo, parent.mapToGlobal(QPoint(399, 299)) + QPoint(50, 50));  // off the window
    EXPECT_TRUE(parent.commands.empty());
}

TEST_F(PointerTest, ReleaseOverAnotherButtonClicksThatButton) {
    const QPoint onPrev = prev.mapToGlobal(QPoint(33, 13));
    SendMouse(&next, QEvent::MouseButtonPress, QPoint(33, 13), Qt::LeftButton);
    HeldMove(next, onPrev);
    ReleaseAt(next, onPrev);
    EXPECT_EQ(parent.commands, std::vector<int>{kPrevCommand});
    // The same from a disabled button, which ignores the press itself.
    next.LoadDisabledImage(kNextDisabledBitmap);
    next.SetDisabled(true);
    SendMouse(&next, QEvent::MouseButtonPress, QPoint(33, 13), Qt::LeftButton);
    ReleaseAt(next, onPrev);
    EXPECT_EQ(parent.commands, (std::vector<int>{kPrevCommand, kPrevCommand}));
    // A magenta corner of PREV belongs to the window behind it.
    SendMouse(&myPage, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton);
    ReleaseAt(myPage, prev.mapToGlobal(QPoint(0, 0)));
    EXPECT_EQ(parent.commands.size(), 2u);
}

TEST_F(PointerTest, LeavingWhileHeldClearsThePressAndTheHoverFollowsThePointer) {
    SendMouse(&myPage, QEvent::MouseMove, QPoint(60, 60), Qt::NoButton);
    SendMouse(&myPage, QEvent::MouseButtonPress, QPoint(60, 60), Qt::LeftButton);
    HeldMove(myPage, OnSurface());
    EXPECT_EQ(myPage.CurrentImageId(), kMyPageNormalBitmap);

    // Over the logo tab the logo shows its hover image, until the pointer goes on.
    HeldMove(myPage, logo.mapToGlobal(QPoint(10, 10)));
    EXPECT_EQ(logo.CurrentImageId(), kLogoHoverBitmap);
    HeldMove(myPage, OnSurface());
    EXPECT_EQ(logo.CurrentImageId(), kLogoBitmap);

    // Back over the pressed button: the hover image, and the release is a click.
    HeldMove(myPage, myPage.mapToGlobal(QPoint(50, 50)));
    EXPECT_EQ(myPage.CurrentImageId(), kMyPageHoverBitmap);
    ReleaseAt(myPage, myPage.mapToGlobal(QPoint(50, 50)));
    EXPECT_EQ(parent.commands, std::vector<int>{kMyPageCommand});
}

TEST(BmpButtonTest, ButtonWithoutParentIsNotCreated) {
    CBmpButton button;
    EXPECT_FALSE(button.CreateHotArea(nullptr, 1, 0, 0, 9, 9));
}

}  // namespace
}  // namespace velmora
