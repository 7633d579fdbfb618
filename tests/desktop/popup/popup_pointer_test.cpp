// The open popup on a real X server, pressed and released with xdotool: the
// server hands the whole gesture to the pressed button, which must not act as
// if it had captured the mouse.

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWindow>

#include "desktop/common/messages.h"
#include "desktop/popup/news_popup.h"
#include "desktop/popup/popup_resources.h"
#include "support/popup_test_support.h"
#include "support/under_xvfb.h"

namespace velmora {
namespace {

using test_support::FillChannel;
using test_support::LaunchLog;
using test_support::WaitFor;

// Counts the pointer events the X server delivered, so that a test knows when
// a gesture has been handled.
class PointerEvents : public QObject {
  public:
    int moves = 0;
    int releases = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (!event->spontaneous()) return false;
        if (event->type() == QEvent::MouseMove) ++moves;
        if (event->type() == QEvent::MouseButtonRelease) ++releases;
        return false;
    }
};

QStringList At(QPoint p) {
    return {QStringLiteral("mousemove"), QString::number(p.x()), QString::number(p.y()),
            QStringLiteral("sleep"), QStringLiteral("0.05")};
}

class PopupPointerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs Xvfb";
        if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
            GTEST_SKIP() << "needs xdotool";
        // No card process: the buttons are what is tested.
        qputenv("VELMORA_CARDS_HOST", dir.filePath("no-such-program").toUtf8());
        qApp->installEventFilter(&events);
        popup.SetLauncher(launches.Launcher());
        std::vector<test_support::TestItem> items;
        for (const char* h : {"I0", "I1", "I2", "I3", "I4"}) items.push_back({h, "D", "", ""});
        FillChannel(channel, items);
        ASSERT_TRUE(popup.CreatePopup());
        popup.SetChannel(channel);
        popup.show();
        QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
        const PopupPositions p = popup.Positions();
        open = QPoint(p.openX, p.openY);
        ASSERT_TRUE(WaitFor([&] {
            return popup.pos() == open && !popup.IsTimerActive(kSlideInTimer) &&
                   popup.windowHandle()->isExposed();
        }));
    }
    void TearDown() override {
        qApp->removeEventFilter(&events);
        qunsetenv("VELMORA_CARDS_HOST");
        QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::Quit);
    }

    QPoint Global(QPoint inPopup) const { return open + inPopup; }

    // Presses the left button at `from`, moves over `via` and releases at `to`
    // (screen coordinates), then waits until the release has been handled.
    void Drag(QPoint from, std::vector<QPoint> via, QPoint to) {
        const int before = events.releases;
        QStringList args = At(from);
        args << QStringLiteral("mousedown") << QStringLiteral("1");
        for (QPoint p : via) args << At(p);
        args << At(to) << QStringLiteral("mouseup") << QStringLiteral("1");
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), args), 0);
        ASSERT_TRUE(WaitFor([&] { return events.releases > before; }, 10000));
    }
    void Click(QPoint at) { Drag(at, {}, at); }
    // Moves with the button held and waits until the move has been handled.
    void HeldMoveTo(QPoint to) {
        const int before = events.moves;
        ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), At(to)), 0);
        ASSERT_TRUE(WaitFor([&] { return events.moves > before; }, 10000));
    }
    static QImage Screen(QRect area) {
        return QGuiApplication::primaryScreen()
            ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
            .toImage()
            .convertToFormat(QImage::Format_RGB32);
    }
    bool StillOpen() const {
        return popup.IsOpened() && popup.pos() == open && !popup.IsTimerActive(kSlideOutTimer) &&
               !popup.IsTimerActive(kSlideInTimer);
    }

    QTemporaryDir dir;
    PointerEvents events;
    LaunchLog launches;
    FeedChannel channel;
    CNewsPopup popup;
    QPoint open;
};

const QPoint kLogo(kLogoX + 20, kLogoY + 20);
const QPoint kMyPage(kMyPageX + 64, kMyPageY + 64);
const QPoint kPrev(kPrevX + 33, kPrevY + 13);
const QPoint kNext(kNextX + 33, kNextY + 13);
const QPoint kSurface(150, 200);

TEST_F(PopupPointerTest, LogoPressedAndReleasedElsewhereLeavesThePopupWhereItIs) {
    Drag(Global(kLogo), {Global(kSurface)}, Global(kSurface + QPoint(10, 20)));
    EXPECT_TRUE(StillOpen());
    // Released off the popup altogether.
    Drag(Global(kLogo), {Global(kSurface)}, QPoint(20, 20));
    EXPECT_TRUE(StillOpen());
    // A click on the tab still slides it out.
    Click(Global(kLogo));
    EXPECT_TRUE(popup.IsTimerActive(kSlideOutTimer) || popup.pos() != open);
}

TEST_F(PopupPointerTest, MyPagePressedAndReleasedElsewhereOpensNothing) {
    Drag(Global(kMyPage), {Global(kSurface)}, Global(kSurface + QPoint(10, 20)));
    Drag(Global(kMyPage), {Global(kSurface)}, QPoint(20, 20));
    EXPECT_TRUE(launches.calls.empty());
    Click(Global(kMyPage));
    EXPECT_EQ(launches.calls.size(), 1u);
}

TEST_F(PopupPointerTest, NextPressedAndReleasedOverPrevPagesBack) {
    Click(Global(kNext));
    ASSERT_EQ(popup.Page(), 1u);
    ASSERT_FALSE(popup.PrevButton().IsDisabled());
    ASSERT_FALSE(popup.NextButton().IsDisabled());
    Drag(Global(kNext), {Global(kSurface)}, Global(kPrev));
    EXPECT_EQ(popup.Page(), 0u);
}

TEST_F(PopupPointerTest, LeavingTheHeldLogoPutsBackItsNormalImage) {
    const QRect logo(Global(QPoint(kLogoX, kLogoY)), LoadPopupBitmap(kLogoBitmap).size());
    const QImage normal = LoadPopupBitmap(kLogoBitmap).convertToFormat(QImage::Format_RGB32);
    const QImage pressed =
        LoadPopupBitmap(kLogoPressedBitmap).convertToFormat(QImage::Format_RGB32);
    ASSERT_NE(normal, pressed);

    QStringList press = At(Global(kLogo));
    press << QStringLiteral("mousedown") << QStringLiteral("1");
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), press), 0);
    ASSERT_TRUE(WaitFor([&] { return Screen(logo) == pressed; }, 10000));

    HeldMoveTo(Global(kSurface));
    EXPECT_EQ(Screen(logo), normal);
    const int released = events.releases;
    ASSERT_EQ(QProcess::execute(QStringLiteral("xdotool"), {"mouseup", "1"}), 0);
    ASSERT_TRUE(WaitFor([&] { return events.releases > released; }, 10000));
    EXPECT_TRUE(StillOpen());
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    return velmora::test_support::RunTestsUnderXvfb(argc, argv);
}
