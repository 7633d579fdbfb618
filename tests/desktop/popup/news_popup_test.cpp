#include "desktop/popup/news_popup.h"

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>
#include <fstream>

#include "core/text/cp932.h"
#include "desktop/common/messages.h"
#include "desktop/popup/card_area.h"
#include "desktop/popup/card_cover.h"
#include "support/popup_test_support.h"

namespace velmora {
namespace {

using test_support::Click;
using test_support::FillChannel;
using test_support::LaunchLog;
using test_support::SendMouse;
using test_support::WaitFor;

class MoveCounter : public QObject {
  public:
    int moves = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Move) ++moves;
        return false;
    }
};

// Stands in for the card process: records what it is sent, says `answer`.
QString FakeCardProgram(const QTemporaryDir& dir, const QByteArray& answer = {}) {
    const QString path = dir.filePath("fake-cards");
    QFile script(path);
    script.open(QIODevice::WriteOnly);
    script.write("#!/bin/sh\nprintf '%s' '" + answer + "'\nexec cat > '" +
                 dir.filePath("input").toUtf8() + "'\n");
    script.close();
    script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
    return path;
}

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

class NewsPopupTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        qputenv("VELMORA_CARDS_HOST", FakeCardProgram(dir).toUtf8());
        popup.SetLauncher(launches.Launcher());
        popup.SetClock([this] { return now; });
        ASSERT_TRUE(popup.CreatePopup());
        popup.show();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        expected = ComputePositions(screen.width(), screen.height());
    }
    void TearDown() override {
        qunsetenv("VELMORA_CARDS_HOST");
        // The popup posts the end of the event loop when it goes; these tests
        // run no loop of their own, so the request is dropped.
        QCoreApplication::removePostedEvents(QCoreApplication::instance(), QEvent::Quit);
    }
    QPoint Parked() const { return {expected.parkedX, expected.parkedY}; }
    QPoint Open() const { return {expected.openX, expected.openY}; }
    bool WaitParkedOrOpen(QPoint where) {
        return WaitFor([&] {
            return popup.pos() == where && !popup.IsTimerActive(kSlideInTimer) &&
                   !popup.IsTimerActive(kSlideOutTimer);
        });
    }
    void OpenAndWait() {
        QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
        ASSERT_TRUE(WaitParkedOrOpen(Open()));
    }

    QTemporaryDir dir;
    LaunchLog launches;
    std::int64_t now = 1000;  // the popup's clock, in milliseconds
    CNewsPopup popup;
    PopupPositions expected;
    FeedChannel channel;
};

TEST_F(NewsPopupTest, CreatesAShapedWindowParkedAtTheRightEdge) {
    EXPECT_EQ(popup.size(), QSize(562, 302));
    EXPECT_EQ(popup.pos(), Parked());
    EXPECT_TRUE(popup.windowFlags() & Qt::Tool);
    EXPECT_TRUE(popup.windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(popup.windowTitle(), "Velmora");
    // The logo tab is inside the shape; the magenta below the tab is not, nor,
    // parked, the card frame beyond the screen's edge.
    EXPECT_TRUE(popup.windowHandle()->mask().contains(QPoint(20, 20)));
    EXPECT_FALSE(popup.windowHandle()->mask().contains(QPoint(400, 150)));
    EXPECT_FALSE(popup.windowHandle()->mask().contains(QPoint(5, 200)));
    EXPECT_FALSE(popup.IsOpened());
    // Nothing to scroll and nowhere to be seen: no ticker timer.
    EXPECT_FALSE(popup.IsTimerActive(kTickerTimer));
    EXPECT_FALSE(popup.IsTimerActive(kAutoCloseTimer));
    // No web engine until the cards are about to be seen.
    EXPECT_EQ(popup.Cards(), nullptr);
    EXPECT_TRUE(popup.PrevButton().IsDisabled());
    EXPECT_TRUE(popup.NextButton().IsDisabled());
    EXPECT_FALSE(popup.CreatePopup());
    popup.move(Open());
    EXPECT_TRUE(popup.windowHandle()->mask().contains(QPoint(400, 150)));
    EXPECT_FALSE(popup.windowHandle()->mask().contains(QPoint(5, 200)));
}

TEST_F(NewsPopupTest, OpenSlidesInSixteenTicksAndLogoSlidesOutInTen) {
    MoveCounter counter;
    popup.installEventFilter(&counter);
    QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
    QCoreApplication::processEvents();
    EXPECT_TRUE(popup.IsOpened());
    EXPECT_TRUE(popup.IsTimerActive(kSlideInTimer));
    EXPECT_TRUE(popup.IsTimerActive(kAutoCloseTimer));
    EXPECT_NE(popup.Cards(), nullptr);
    ASSERT_TRUE(WaitParkedOrOpen(Open()));
    EXPECT_EQ(counter.moves, 16);

    counter.moves = 0;
    popup.OnCommand(kLogoCommand);
    ASSERT_TRUE(WaitParkedOrOpen(Parked()));
    EXPECT_EQ(counter.moves, 10);
    EXPECT_FALSE(popup.IsOpened());
    EXPECT_FALSE(popup.IsTimerActive(kAutoCloseTimer));
}

TEST_F(NewsPopupTest, ShowTabParksWithoutSliding) {
    OpenAndWait();
    popup.ShowTab();
    EXPECT_EQ(popup.pos(), Parked());
    EXPECT_FALSE(popup.IsOpened());
    EXPECT_FALSE(popup.IsTimerActive(kSlideInTimer));
    EXPECT_FALSE(popup.IsTimerActive(kAutoCloseTimer));
    EXPECT_TRUE(popup.isVisible());
}

TEST_F(NewsPopupTest, DragStopsTheSlideAndTheNextToggleSlidesOutFromTheOpenPlace) {
    QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
    QCoreApplication::processEvents();
    const QPoint press(300, 285);  // bare skin below the card area
    SendMouse(&popup, QEvent::MouseButtonPress, press, Qt::LeftButton);
    EXPECT_FALSE(popup.IsTimerActive(kSlideInTimer));
    EXPECT_TRUE(popup.IsOpened());
    SendMouse(&popup, QEvent::MouseMove, press, Qt::LeftButton, QPoint(400, 350));
    EXPECT_EQ(popup.pos(), QPoint(100, 65));
    SendMouse(&popup, QEvent::MouseButtonRelease, press, Qt::LeftButton, QPoint(400, 350));
    SendMouse(&popup, QEvent::MouseMove, press, Qt::NoButton, QPoint(500, 500));
    EXPECT_EQ(popup.pos(), QPoint(100, 65));

    MoveCounter counter;
    popup.installEventFilter(&counter);
    popup.OnCommand(kLogoCommand);
    EXPECT_TRUE(popup.IsTimerActive(kSlideOutTimer));
    ASSERT_TRUE(WaitParkedOrOpen(Parked()));
    EXPECT_EQ(counter.moves, 11);  // the jump to the open place, then ten steps
}

TEST_F(NewsPopupTest, RightClicksAreSwallowed) {
    const QPoint before = popup.pos();
    SendMouse(&popup, QEvent::MouseButtonPress, QPoint(300, 285), Qt::RightButton);
    SendMouse(&popup, QEvent::MouseMove, QPoint(300, 285), Qt::RightButton, QPoint(10, 10));
    SendMouse(&popup, QEvent::MouseButtonRelease, QPoint(300, 285), Qt::RightButton);
    EXPECT_EQ(popup.pos(), before);
    EXPECT_FALSE(popup.IsOpened());
    EXPECT_TRUE(launches.calls.empty());
}

TEST_F(NewsPopupTest, ThreeItemsPageOneAtATime) {
    FillChannel(channel, {{"I0", "D0", "http://n/0", ""},
                          {"I1", "D1", "http://n/1", ""},
                          {"I2", "D2", "http://n/2", ""}});
    popup.SetChannel(channel);
    ASSERT_EQ(popup.Items().size(), 3u);
    EXPECT_EQ(popup.Items()[2].headline, "I2");
    EXPECT_EQ(popup.Items()[2].link, "http://n/2");
    EXPECT_EQ(popup.Page(), 0u);
    EXPECT_TRUE(popup.PrevButton().IsDisabled());
    EXPECT_FALSE(popup.NextButton().IsDisabled());

    popup.OnCommand(kPrevCommand);
    EXPECT_EQ(popup.Page(), 0u);
    popup.OnCommand(kNextCommand);
    EXPECT_EQ(popup.Page(), 1u);
    EXPECT_FALSE(popup.PrevButton().IsDisabled());
    EXPECT_TRUE(popup.NextButton().IsDisabled());
    popup.OnCommand(kNextCommand);
    EXPECT_EQ(popup.Page(), 1u);
    popup.OnCommand(kPrevCommand);
    EXPECT_EQ(popup.Page(), 0u);
}

TEST_F(NewsPopupTest, OneItemDisablesBothButtons) {
    FillChannel(channel, {{"only", "", "http://n/0", ""}});
    popup.SetChannel(channel);
    EXPECT_TRUE(popup.PrevButton().IsDisabled());
    EXPECT_TRUE(popup.NextButton().IsDisabled());
    popup.OnCommand(kNextCommand);
    EXPECT_EQ(popup.Page(), 0u);
}

void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* to = QApplication::focusWidget();
    ASSERT_NE(to, nullptr);
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QCoreApplication::sendEvent(to, &press);
}

QString FocusName() {
    QWidget* focus = QApplication::focusWidget();
    return focus ? focus->accessibleName() : QStringLiteral("(none)");
}

TEST_F(NewsPopupTest, OpenedByTheUserItIsWorkedFromTheKeyboard) {
    FillChannel(channel, {{"H0", "D", "http://example.jp/0", ""},
                          {"<b>H1</b>", "D", "http://example.jp/1", ""},
                          {"H2", "D", "http://example.jp/2", ""}});
    popup.SetChannel(channel);
    QCoreApplication::postEvent(&popup, new PopupOpenEvent(true));
    ASSERT_TRUE(WaitParkedOrOpen(Open()));
    ASSERT_TRUE(WaitFor([&] { return popup.isActiveWindow(); }));
    EXPECT_EQ(FocusName(), "マイページ");
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), "左のニュース：H0");
    Key(Qt::Key_Tab);
    EXPECT_EQ(FocusName(), "右のニュース：H1");
    Key(Qt::Key_Tab);  // past 前へ, greyed on the first page
    EXPECT_EQ(FocusName(), "次へ");
    Key(Qt::Key_Return);
    EXPECT_EQ(popup.Page(), 1u);
    Key(Qt::Key_Backtab);
    EXPECT_EQ(FocusName(), "前へ");
    Key(Qt::Key_Backtab);
    EXPECT_EQ(FocusName(), "右のニュース：H2");
    Key(Qt::Key_Enter);
    ASSERT_EQ(launches.calls.size(), 1u);
    EXPECT_EQ(launches.calls[0].first, "http://example.jp/2");

    // A screen reader finds a named, described button and can press it.
    QAccessibleInterface* prev =
        QAccessible::queryAccessibleInterface(const_cast<CBmpButton*>(&popup.PrevButton()));
    ASSERT_NE(prev, nullptr);
    EXPECT_EQ(prev->role(), QAccessible::Button);
    EXPECT_EQ(prev->text(QAccessible::Name), "前へ");
    EXPECT_FALSE(prev->text(QAccessible::Description).isEmpty());
    ASSERT_NE(prev->actionInterface(), nullptr);
    prev->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(popup.Page(), 0u);
    EXPECT_TRUE(prev->state().disabled);

    Key(Qt::Key_Escape);
    ASSERT_TRUE(WaitParkedOrOpen(Parked()));
    EXPECT_FALSE(popup.IsOpened());
}

TEST_F(NewsPopupTest, NewChannelWaitsWhileTheOpenPopupShowsItems) {
    FillChannel(channel, {{"old", "", "", ""}, {"old2", "", "", ""}});
    popup.SetChannel(channel);
    OpenAndWait();
    popup.OnCommand(kNextCommand);  // no effect: two items, one page
    FillChannel(channel, {{"new", "", "", ""}});
    popup.SetChannel(channel);
    EXPECT_EQ(popup.Items()[0].headline, "old");
    popup.Park();
    popup.SetChannel(channel);
    ASSERT_EQ(popup.Items().size(), 1u);
    EXPECT_EQ(popup.Items()[0].headline, "new");
}

TEST_F(NewsPopupTest, OpenPopupWithoutItemsTakesAChannel) {
    OpenAndWait();
    FillChannel(channel, {{"fresh", "", "", ""}});
    popup.SetChannel(channel);
    ASSERT_EQ(popup.Items().size(), 1u);
}

TEST_F(NewsPopupTest, TickerBarOpensTheMessageOnShow) {
    popup.OnCommand(kTickerCommand);  // no ticker yet
    EXPECT_TRUE(launches.calls.empty());
    FillChannel(channel, {}, "first|second", "http://t/1|http://t/2");
    popup.SetChannel(channel);
    EXPECT_EQ(popup.Ticker().Count(), 2u);
    // The first tick starts message 0; the second follows 80 + 50 ticks later.
    now += 100;
    popup.OnCommand(kTickerCommand);
    now += 130 * 100;
    popup.OnCommand(kTickerCommand);
    ASSERT_EQ(launches.calls.size(), 2u);
    EXPECT_EQ(launches.calls[0].first, "http://t/1");
    EXPECT_EQ(launches.calls[0].second, AddressOrigin::Feed);
    EXPECT_EQ(launches.calls[1].first, "http://t/2");
}

TEST_F(NewsPopupTest, MismatchedTickerListsSwitchTheTickerOff) {
    FillChannel(channel, {{"item", "", "", ""}}, "first|second", "http://t/1");
    popup.SetChannel(channel);
    EXPECT_EQ(popup.Ticker().Count(), 0u);
    EXPECT_EQ(popup.Items().size(), 1u);
    QCoreApplication::processEvents();
    popup.OnCommand(kTickerCommand);
    EXPECT_TRUE(launches.calls.empty());
}

TEST_F(NewsPopupTest, TickerRunsOnlyWhereItCanBeSeen) {
    FillChannel(channel, {}, "hello", "http://t/1");
    popup.SetChannel(channel);
    // Parked, the ticker's text is off the screen: no timer, nothing painted.
    EXPECT_FALSE(popup.IsTimerActive(kTickerTimer));
    now += 5000;
    QCoreApplication::processEvents();
    EXPECT_TRUE(popup.TickerLabel()->text().isEmpty());
    popup.move(Open());
    EXPECT_TRUE(popup.IsTimerActive(kTickerTimer));
    // Fifty ticks in: message 0 started on the first, 49 spaces came in since.
    EXPECT_EQ(popup.TickerLabel()->text().toStdString(), std::string(32, ' ') + "hello");
    EXPECT_EQ(popup.TickerLabel()->font().pixelSize(), 10);
    now += 3000;
    ASSERT_TRUE(WaitFor([&] { return popup.TickerLabel()->text().size() < 37; }, 2000));
    EXPECT_EQ(popup.TickerLabel()->text().toStdString(), std::string(2, ' ') + "hello");
    popup.hide();
    EXPECT_FALSE(popup.IsTimerActive(kTickerTimer));
    popup.show();
    EXPECT_TRUE(popup.IsTimerActive(kTickerTimer));
    popup.Park();
    EXPECT_FALSE(popup.IsTimerActive(kTickerTimer));
}

TEST_F(NewsPopupTest, TickerTextAfterAnOffScreenPauseIsTheTextWithoutOne) {
    const char* description = "first message|  second|\x81\x40third";
    FillChannel(channel, {}, description, "1|2|3");
    NewsTicker unpaused;
    unpaused.SetMessages(TickerMessages(description, "1|2|3"));
    unpaused.Reset();
    popup.SetChannel(channel);
    popup.move(Open());
    now += 37;  // between two ticks
    // Pauses of every length, each starting and ending anywhere in a message.
    for (const int pause : {7, 130, 3, 1111, 57, 50, 260000, 40, 999, 2}) {
        const int seen = 1 + pause % 97;
        now += seen * 100;
        popup.Park();
        now += pause * 100;
        popup.move(Open());
        for (int i = 0; i < seen + pause; ++i) unpaused.Step();
        ASSERT_EQ(popup.TickerLabel()->text().toStdString(),
                  text::Cp932ToUtf8(unpaused.ShownText()))
            << pause;
        ASSERT_EQ(popup.Ticker().Index(), unpaused.Index()) << pause;
    }
    popup.Park();
}

TEST_F(NewsPopupTest, MyPageOpensTheMachineSettingsAddress) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray configDirs = qgetenv("XDG_CONFIG_DIRS");
    qputenv("XDG_CONFIG_DIRS", dir.path().toUtf8());
    popup.OnCommand(kMyPageCommand);  // nothing stored: an empty address
    ASSERT_TRUE(QDir(dir.path()).mkpath("velmora"));
    std::ofstream(dir.filePath("velmora/machine.reg").toStdString())
        << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\VELMORA\\Client\\1.0]\n"
           "\"mypageUrl\"=\"http://my.example/page?id=1\"\n";
    popup.OnCommand(kMyPageCommand);
    qputenv("XDG_CONFIG_DIRS", configDirs);
    ASSERT_EQ(launches.calls.size(), 2u);
    EXPECT_EQ(launches.calls[0].first, "");
    EXPECT_EQ(launches.calls[1].first, "http://my.example/page?id=1");
    EXPECT_EQ(launches.calls[1].second, AddressOrigin::Settings);
}

TEST_F(NewsPopupTest, PressOnTheOpenPopupRestartsTheAutoClose) {
    OpenAndWait();
    EXPECT_TRUE(popup.IsTimerActive(kAutoCloseTimer));
    SendMouse(&popup, QEvent::MouseButtonPress, QPoint(300, 285), Qt::LeftButton);
    SendMouse(&popup, QEvent::MouseButtonRelease, QPoint(300, 285), Qt::LeftButton);
    EXPECT_TRUE(popup.IsTimerActive(kAutoCloseTimer));
    popup.Park();
    SendMouse(&popup, QEvent::MouseButtonPress, QPoint(20, 20), Qt::LeftButton);
    EXPECT_FALSE(popup.IsTimerActive(kAutoCloseTimer));
}

TEST_F(NewsPopupTest, ParkedCardsAreReleasedAfterTheDelay) {
    popup.SetCardReleaseDelay(50);
    OpenAndWait();
    ASSERT_NE(popup.Cards(), nullptr);
    popup.Park();
    EXPECT_NE(popup.Cards(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return popup.Cards() == nullptr; }, 2000));
    // Opening again brings them back.
    popup.Toggle();
    EXPECT_NE(popup.Cards(), nullptr);
    popup.Park();
}

// The state letter of process `pid` ('T' when stopped).
char ProcessState(qint64 pid) {
    const QByteArray stat = ReadAll(QStringLiteral("/proc/%1/stat").arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close > 0 && close + 2 < stat.size() ? stat[close + 2] : '?';
}

TEST_F(NewsPopupTest, CardAreaShowsTheCardsUntilTheCardProcessHasPainted) {
    FillChannel(channel, {{"I0", "D0", "", ""}, {"I1", "D1", "", ""}});
    popup.SetChannel(channel);
    ASSERT_NE(popup.Cover(), nullptr);
    QCoreApplication::postEvent(&popup, new QEvent(UM_POPUP_OPEN));
    // Through the slide and after it: the card process never paints.
    ASSERT_TRUE(WaitFor([&] {
        EXPECT_TRUE(popup.Cover()->isVisible());
        return popup.pos() == Open() && !popup.IsTimerActive(kSlideInTimer);
    }));
    ASSERT_NE(popup.Cards(), nullptr);
    EXPECT_FALSE(popup.CardsLive());
    EXPECT_TRUE(popup.Cover()->isVisible());
    EXPECT_EQ(popup.Cover()->geometry(), QRect(250, 80, 292, 158));
    popup.Park();
}

TEST_F(NewsPopupTest, ParkedCardProcessIsStoppedAndGoesOnWhenSeen) {
    popup.SetCardPauseDelay(10);
    OpenAndWait();
    ASSERT_NE(popup.Cards(), nullptr);
    const qint64 pid = popup.Cards()->ProcessId();
    popup.OnCommand(kLogoCommand);
    ASSERT_TRUE(WaitParkedOrOpen(Parked()));
    ASSERT_TRUE(WaitFor([&] { return ProcessState(pid) == 'T'; }, 5000));
    EXPECT_TRUE(popup.Cards()->Paused());
    // A new page while parked is written at once.
    FillChannel(channel, {{"I5", "D5", "", ""}});
    popup.SetChannel(channel);
    EXPECT_NE(ProcessState(pid), 'T');
    ASSERT_TRUE(WaitFor([&] { return ReadAll(dir.filePath("input")).contains(">I5</a>"); }));
    ASSERT_TRUE(WaitFor([&] { return ProcessState(pid) == 'T'; }, 5000));
    popup.Toggle();
    EXPECT_NE(ProcessState(pid), 'T');
    EXPECT_FALSE(popup.Cards()->Paused());
    popup.Park();
}

TEST_F(NewsPopupTest, PrepareOpenStartsTheCardsBeforeTheSlide) {
    popup.SetCardReleaseDelay(50);
    popup.PrepareOpen();
    EXPECT_NE(popup.Cards(), nullptr);
    EXPECT_EQ(popup.pos(), Parked());
    // When the open never comes, they are given back as after any close.
    ASSERT_TRUE(WaitFor([&] { return popup.Cards() == nullptr; }, 2000));
}

TEST_F(NewsPopupTest, CardProcessIsSentTheComposedPages) {
    FillChannel(channel, {{"I0", "D0", "http://n/0", "http://n/0.png"},
                          {"I1", "D1", "http://n/1", ""},
                          {"I2", "D2", "http://n/2", ""}});
    popup.SetChannel(channel);
    OpenAndWait();
    const QString input = dir.filePath("input");
    ASSERT_TRUE(WaitFor([&] { return ReadAll(input).contains(">I1</a>"); }));
    QByteArray sent = ReadAll(input);
    EXPECT_TRUE(sent.startsWith("N 11\nabout:blank")) << sent.left(40).toStdString();
    EXPECT_TRUE(sent.contains("img1.src = \"http://n/0.png\""));
    EXPECT_LT(sent.indexOf(">I0</a>"), sent.indexOf(">I1</a>"));
    EXPECT_FALSE(sent.contains(">I2</a>"));

    popup.OnCommand(kNextCommand);
    ASSERT_TRUE(WaitFor([&] { return ReadAll(input).contains(">I2</a>"); }));
    sent = ReadAll(input);
    const QByteArray second = sent.mid(sent.lastIndexOf("N 11\nabout:blank"));
    EXPECT_FALSE(second.contains(">I0</a>"));
    EXPECT_LT(second.indexOf(">I1</a>"), second.indexOf(">I2</a>"));
    popup.Park();
}

TEST_F(NewsPopupTest, CardLinksGoToTheLauncherAsFeedAddresses) {
    qputenv("VELMORA_CARDS_HOST", FakeCardProgram(dir, "L 16\nhttp://n/7?a=b&c").toUtf8());
    OpenAndWait();
    ASSERT_TRUE(WaitFor([&] { return !launches.calls.empty(); }));
    EXPECT_EQ(launches.calls[0].first, "http://n/7?a=b&c");
    EXPECT_EQ(launches.calls[0].second, AddressOrigin::Feed);
    popup.Park();
}

TEST_F(NewsPopupTest, EndedCardProcessIsStartedAgainOnTheNextSlideIn) {
    qputenv("VELMORA_CARDS_HOST", FakeCardProgram(dir, "X garbage\n").toUtf8());
    OpenAndWait();
    // A broken stream ends the card process.
    ASSERT_TRUE(WaitFor([&] { return popup.Cards() == nullptr; }));
    qputenv("VELMORA_CARDS_HOST", FakeCardProgram(dir).toUtf8());
    popup.Park();
    popup.Toggle();
    EXPECT_NE(popup.Cards(), nullptr);
    popup.Park();
}

TEST_F(NewsPopupTest, MissingCardProgramLeavesTheRestWorking) {
    qputenv("VELMORA_CARDS_HOST", dir.filePath("no-such-program").toUtf8());
    OpenAndWait();
    EXPECT_EQ(popup.Cards(), nullptr);
    EXPECT_TRUE(popup.IsOpened());
    popup.OnCommand(kLogoCommand);
    ASSERT_TRUE(WaitParkedOrOpen(Parked()));
}

TEST(NewsPopupLifetime, DestroyingThePopupEndsTheEventLoop) {
    auto* popup = new CNewsPopup();
    popup->CreatePopup();
    QTimer::singleShot(0, [popup] { delete popup; });
    QTimer::singleShot(5000, [] { QCoreApplication::exit(42); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
}

}  // namespace
}  // namespace velmora
