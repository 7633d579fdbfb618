// The popup on a desktop of two monitors (one wide Xvfb screen split with
// xrandr --setmonitor): it parks on its own monitor with only the tab in
// sight, whichever side the other monitor is on, and follows monitors that
// come and go while it is parked.

#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QWindow>

#include "desktop/popup/news_popup.h"
#include "support/popup_test_support.h"
#include "support/under_xvfb.h"

namespace velmora {
namespace {

using test_support::FillChannel;
using test_support::WaitFor;

constexpr int kMonitorWidth = 1024;

bool Xrandr(const QStringList& args) {
    return QProcess::execute(QStringLiteral("xrandr"), args) == 0;
}

// "*" names the primary monitor; x is the monitor's left edge. The one that
// takes Xvfb's output replaces the monitor that had it.
bool AddMonitor(const QString& name, int x, bool withOutput = false) {
    return Xrandr({QStringLiteral("--setmonitor"), name,
                   QStringLiteral("%1/270x768/200+%2+0").arg(kMonitorWidth).arg(x),
                   withOutput ? QStringLiteral("screen") : QStringLiteral("none")});
}

bool HasMonitors(std::initializer_list<std::pair<int, bool>> leftsAndPrimary) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.size() != static_cast<qsizetype>(leftsAndPrimary.size())) return false;
    for (const auto& [left, primary] : leftsAndPrimary) {
        bool found = false;
        for (const QScreen* s : screens)
            if (s->geometry() == QRect(left, 0, kMonitorWidth, 768) &&
                (!primary || s == QGuiApplication::primaryScreen()))
                found = true;
        if (!found) return false;
    }
    return true;
}

class PopupMonitorsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (qgetenv("QT_QPA_PLATFORM") != "xcb") GTEST_SKIP() << "needs Xvfb";
        if (QStandardPaths::findExecutable(QStringLiteral("xrandr")).isEmpty())
            GTEST_SKIP() << "needs xrandr";
        qputenv("VELMORA_CARDS_HOST", dir.filePath("no-such-program").toUtf8());
    }
    void TearDown() override {
        qunsetenv("VELMORA_CARDS_HOST");
        QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::Quit);
    }
    // Parked on the monitor whose right edge is `edge`, the tab alone shown,
    // and the ticker, which runs only while seen, stopped.
    void ExpectParkedAt(int edge) {
        ASSERT_TRUE(WaitFor([&] { return popup.pos().x() == edge - kTabWidth; }, 10000))
            << popup.pos().x();
        EXPECT_EQ(popup.ShownWidth(), kTabWidth);
        EXPECT_TRUE(popup.windowHandle()->mask().boundingRect().right() < kTabWidth);
        EXPECT_FALSE(popup.IsTimerActive(kTickerTimer));
    }

    QTemporaryDir dir;
    CNewsPopup popup;
    FeedChannel channel;
};

TEST_F(PopupMonitorsTest, ParksOnItsOwnMonitorWhateverLiesBeyond) {
    // The laptop (primary) on the left of its external screen.
    ASSERT_TRUE(AddMonitor(QStringLiteral("*laptop"), 0, true));
    ASSERT_TRUE(AddMonitor(QStringLiteral("external"), kMonitorWidth));
    ASSERT_TRUE(WaitFor([] { return HasMonitors({{0, true}, {kMonitorWidth, false}}); }, 10000));

    FillChannel(channel, {{"H", "D", "http://example.jp/1", ""}}, "one|two", "http://a/|http://b/");
    ASSERT_TRUE(popup.CreatePopup());
    popup.SetChannel(channel);
    popup.show();
    ASSERT_TRUE(WaitFor([&] { return popup.windowHandle()->isExposed(); }, 10000));
    ExpectParkedAt(kMonitorWidth);
    // Open, all of it shows and the ticker runs. Slid in on its own, it
    // leaves the keyboard where the user is typing.
    QCoreApplication::postEvent(&popup, new PopupOpenEvent(false));
    ASSERT_TRUE(
        WaitFor([&] { return popup.IsOpened() && !popup.IsTimerActive(kSlideInTimer); }, 10000));
    EXPECT_FALSE(popup.isActiveWindow());
    EXPECT_EQ(popup.pos().x(), kMonitorWidth - kOpenShownWidth);
    EXPECT_EQ(popup.ShownWidth(), kOpenShownWidth);
    EXPECT_TRUE(popup.IsTimerActive(kTickerTimer));
    // Opened on request, it takes the keyboard.
    popup.Park();
    QCoreApplication::postEvent(&popup, new PopupOpenEvent(true));
    EXPECT_TRUE(WaitFor([&] { return popup.isActiveWindow(); }, 10000));
    popup.Park();
    ExpectParkedAt(kMonitorWidth);

    // The other order: the primary is the right-hand monitor.
    ASSERT_TRUE(Xrandr({QStringLiteral("--delmonitor"), QStringLiteral("external")}));
    ASSERT_TRUE(AddMonitor(QStringLiteral("*right"), kMonitorWidth));
    ASSERT_TRUE(AddMonitor(QStringLiteral("left"), 0, true));
    ASSERT_TRUE(WaitFor([] { return HasMonitors({{0, false}, {kMonitorWidth, true}}); }, 10000));
    ExpectParkedAt(2 * kMonitorWidth);

    // Its monitor unplugged while parked: it moves to the one that is left.
    ASSERT_TRUE(Xrandr({QStringLiteral("--delmonitor"), QStringLiteral("right")}));
    ASSERT_TRUE(WaitFor([] { return HasMonitors({{0, false}}); }, 10000));
    ExpectParkedAt(kMonitorWidth);
    // A monitor plugged in beyond its edge: it stays, its body still unseen.
    ASSERT_TRUE(AddMonitor(QStringLiteral("beyond"), kMonitorWidth));
    ASSERT_TRUE(WaitFor([] { return QGuiApplication::screens().size() == 2; }, 10000));
    ExpectParkedAt(kMonitorWidth);
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    // One screen two monitors wide, split by the test.
    return velmora::test_support::RunTestsUnderXvfb(argc, argv, "2048x768x24");
}
