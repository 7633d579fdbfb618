// The tool sheet's handlers and the tray click sequences, headless, with a
// transfer answering from a table on the worker thread.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <thread>

#include "core/feed/item_store.h"
#include "core/text/cp932.h"
#include "desktop/common/qt_text.h"
#include "desktop/tray/tray_notify_event.h"
#include "sheet_fixture.h"

using namespace velmora;
using namespace velmora::test_support;
using ::testing::ElementsAre;

namespace {

void LeftClick(CToolSheet& sheet) {
    QCoreApplication::postEvent(&sheet, new TrayNotifyEvent(kTrayIconId, kWmLButtonDown));
}

QString Utf(const char* s) {
    return QString::fromUtf8(s);
}

// A tooltip the sheet handed to the tray, as text.
QString Tip(const TrayRecord& tray) {
    return QStringFromCp932(tray.tip);
}

}  // namespace

class ToolSheetTest : public SheetFixture {};

TEST_F(ToolSheetTest, InitialisationAddsTheTrayIconAndRunsTheFirstCycle) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(3)));
    CToolSheet& sheet = StartedSheet();
    EXPECT_TRUE(tray_.added);
    EXPECT_TRUE(tray_.menuExported);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(sheet.windowTitle(), Utf("ヴェルモラ"));
    EXPECT_EQ(Tip(tray_), Utf("ヴェルモラ"));
    ASSERT_EQ(network_.calls.size(), 1u);
    EXPECT_THAT(cycles_, ElementsAre(CycleResult::News));
    EXPECT_THAT(popupLog_, ElementsAre("showtab", "setchannel:3", "open"));
    EXPECT_EQ(tray_.image, TrayImage::Normal);
    EXPECT_TRUE(PollTimer(sheet).IsActive());
    EXPECT_EQ(PollTimer(sheet).IntervalMs(), 60u * 60000u);
}

TEST_F(ToolSheetTest, NewsWithPopupSettingOneSlidesThePopupIn) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    StartedSheet();
    EXPECT_THAT(popupLog_, ElementsAre("showtab", "setchannel:2", "open"));
    EXPECT_FALSE(tray_.blinking);
}

TEST_F(ToolSheetTest, NewsWithPopupSettingZeroBlinksUntilTheClick) {
    Provision("", "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"secret\"\n\"popup\"=dword:00000000\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    CToolSheet& sheet = StartedSheet();
    EXPECT_THAT(popupLog_, ElementsAre("showtab", "setchannel:2"));
    ASSERT_TRUE(tray_.blinking);
    tray_.image = TrayImage::Blink;  // as the blinking icon may show

    PopupLogClear();
    LeftClick(sheet);
    QCoreApplication::sendPostedEvents(&sheet, UM_TRAYNOTIFY);
    EXPECT_FALSE(tray_.blinking);  // at once, before the posted UM_SHOWNEWS
    EXPECT_EQ(tray_.image, TrayImage::Blink);
    Settle();
    EXPECT_EQ(tray_.image, TrayImage::Normal);
    EXPECT_THAT(popupLog_, ElementsAre("foreground", "showtab", "setchannel:2", "open for user"));
    EXPECT_THAT(cycles_, ElementsAre(CycleResult::News, CycleResult::NothingNew));
}

TEST_F(ToolSheetTest, PopupGetsReadyAsSoonAsTheCycleKnowsItWillOpen) {
    Provision("", "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"secret\"\n\"popup\"=dword:00000000\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    CToolSheet& sheet = StartedSheet();
    // News with blinking: the popup does not open.
    EXPECT_TRUE(preparedAfterRequests_.empty());
    // The user's request opens it unless it fails: ready before the request.
    QCoreApplication::postEvent(&sheet, new QEvent(UM_FETCHNEWS));
    Settle();
    EXPECT_THAT(preparedAfterRequests_, ElementsAre(1u));
    EXPECT_EQ(network_.calls.size(), 2u);
}

TEST_F(ToolSheetTest, NewsWithPopupSettingOneGetsThePopupReadyFirst) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    StartedSheet();
    EXPECT_THAT(preparedAfterRequests_, ElementsAre(1u));
    EXPECT_THAT(popupLog_, ElementsAre("showtab", "setchannel:2", "open"));
}

TEST_F(ToolSheetTest, NothingNewOnlyHandsThePopupTheFeed) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    CToolSheet& sheet = StartedSheet();
    PopupLogClear();
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    EXPECT_THAT(popupLog_, ElementsAre("setchannel:2"));
    EXPECT_FALSE(tray_.blinking);
}

TEST_F(ToolSheetTest, OkValidatesAndAppliesTheInterval) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    std::vector<QString> messages;
    Page(sheet).SetMessageSink([&](const QString& m) { messages.push_back(m); });
    const std::uint64_t before = PollTimer(sheet).IntervalMs();

    Command(sheet, kCmdTool);
    ASSERT_TRUE(sheet.isVisible());
    EXPECT_EQ(Page(sheet).IntervalEdit()->text(), Utf("60"));

    for (const char* wrong : {"4", "1000", ""}) {
        Page(sheet).IntervalEdit()->setText(Utf(wrong));
        sheet.accept();
        EXPECT_TRUE(sheet.isVisible()) << wrong;
        EXPECT_EQ(UserDword("Reread"), 0xDEADBEEFu) << wrong;
        EXPECT_EQ(PollTimer(sheet).IntervalMs(), before);
    }
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], IntervalRangeMessage());
    EXPECT_TRUE(messages[0].contains(Utf("5")) && messages[0].contains(Utf("999")));
    EXPECT_EQ(messages[1], IntervalRangeMessage());
    EXPECT_EQ(messages[2], WholeNumberMessage());

    Page(sheet).IntervalEdit()->setText(Utf("999"));
    sheet.accept();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(UserDword("Reread"), 999u);
    EXPECT_EQ(PollTimer(sheet).IntervalMs(), 59940000u);
    EXPECT_TRUE(PollTimer(sheet).IsActive());

    Command(sheet, kCmdTool);
    Page(sheet).IntervalEdit()->setText(Utf("30"));
    sheet.accept();
    EXPECT_EQ(UserDword("Reread"), 30u);
    EXPECT_EQ(UserDword("popup"), 1u);
    EXPECT_EQ(PollTimer(sheet).IntervalMs(), 1800000u);
    // The cycle got the interval too: it restarts the timer with it.
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    EXPECT_EQ(cycles_.size(), 2u);
    EXPECT_EQ(PollTimer(sheet).IntervalMs(), 1800000u);
}

TEST_F(ToolSheetTest, HiddenPopupChoiceRoundTripsAndCancelForgetsEdits) {
    Provision("",
              "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"s\"\n\"popup\"=dword:00000000\n"
              "\"Reread\"=dword:00000002\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    std::vector<QString> messages;
    Page(sheet).SetMessageSink([&](const QString& m) { messages.push_back(m); });

    Command(sheet, kCmdTool);
    EXPECT_EQ(Page(sheet).IntervalEdit()->text(), Utf("2"));  // shown unchanged
    sheet.accept();
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(messages.size(), 1u);
    Page(sheet).IntervalEdit()->setText(Utf("45"));
    sheet.reject();
    EXPECT_FALSE(sheet.isVisible());
    Command(sheet, kCmdTool);
    EXPECT_EQ(Page(sheet).IntervalEdit()->text(), Utf("2"));
    Page(sheet).IntervalEdit()->setText(Utf("10"));
    sheet.accept();
    EXPECT_EQ(UserDword("popup"), 0u);
    EXPECT_EQ(UserDword("Reread"), 10u);
}

TEST_F(ToolSheetTest, KeysAreSwallowedWhileHidden) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    ASSERT_FALSE(sheet.isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    EXPECT_TRUE(QCoreApplication::sendEvent(&sheet, &enter));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&sheet, &escape);
    EXPECT_EQ(UserDword("Reread"), 0xDEADBEEFu);

    // Shown, the same keys act: Escape hides the sheet.
    Command(sheet, kCmdTool);
    ASSERT_TRUE(sheet.isVisible());
    QKeyEvent escape2(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(&sheet, &escape2);
    EXPECT_FALSE(sheet.isVisible());
}

TEST_F(ToolSheetTest, ClickWhileARequestRunsStartsNoCycle) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    CToolSheet& sheet = StartedSheet();
    PopupLogClear();
    std::atomic<bool> clicked{false};
    network_.during = [&](const std::string&) {
        // A tray click handled while the worker thread runs the request.
        if (clicked) return;
        QMetaObject::invokeMethod(
            &sheet,
            [&] {
                LeftClick(sheet);
                QCoreApplication::sendPostedEvents(&sheet, UM_TRAYNOTIFY);
                clicked = true;
            },
            Qt::QueuedConnection);
        while (!clicked) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    };
    QCoreApplication::postEvent(&sheet, new QEvent(UM_FETCHNEWS));
    Settle();
    // The click found the sheet busy: only the foreground call, then the
    // cycle's own hand-over; no further request.
    EXPECT_TRUE(clicked);
    EXPECT_EQ(network_.calls.size(), 2u);
    EXPECT_THAT(popupLog_, ElementsAre("foreground", "setchannel:2", "open for user"));
}

TEST_F(ToolSheetTest, FailedFetchShowsErrorAndTheClickShowsTheDialog) {
    Provision();
    network_.Answer(kChannelServer, HeaderAnswer(404, "Not Found"));
    CToolSheet& sheet = StartedSheet();
    // The first fetch after start fails quietly.
    EXPECT_EQ(ErrorDialog()->Code(), 0);
    EXPECT_EQ(tray_.image, TrayImage::Normal);
    EXPECT_TRUE(PollTimer(sheet).IsActive());

    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    EXPECT_EQ(ErrorDialog()->Code(), 404);
    EXPECT_EQ(tray_.image, TrayImage::Error);
    EXPECT_EQ(Tip(tray_), Utf("通信エラー"));
    EXPECT_FALSE(PollTimer(sheet).IsActive());

    // The click shows the dialog; the cycle it starts succeeds and resets the error.
    network_.Replace(kChannelServer, BodyAnswer(Feed(1)));
    LeftClick(sheet);
    QCoreApplication::sendPostedEvents(&sheet, UM_TRAYNOTIFY);
    ASSERT_TRUE(ErrorDialog()->isVisible());
    EXPECT_EQ(ErrorDialog()->TitleText(), Utf("通信エラー"));
    EXPECT_EQ(ErrorDialog()->MessageText(), Utf("サーバにアクセスできません。 (404)"));
    Settle();
    EXPECT_EQ(ErrorDialog()->Code(), 0);
    EXPECT_TRUE(ErrorDialog()->isVisible());
    EXPECT_EQ(ErrorDialog()->TitleText(), QString());
    EXPECT_EQ(ErrorDialog()->MessageText(), QString());
    // The tooltip keeps the error's title until the dialog is closed.
    EXPECT_EQ(Tip(tray_), Utf("通信エラー"));

    ErrorDialog()->reject();
    EXPECT_FALSE(ErrorDialog()->isVisible());
    EXPECT_EQ(Tip(tray_), Utf("ヴェルモラ"));
    EXPECT_EQ(tray_.image, TrayImage::Normal);
}

TEST_F(ToolSheetTest, ClosingTheErrorDialogClearsTheErrorBeforeItHides) {
    Provision();
    network_.Answer(kChannelServer, HeaderAnswer(404, "Not Found"));
    CToolSheet& sheet = StartedSheet();
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    LeftClick(sheet);
    QCoreApplication::sendPostedEvents(&sheet, UM_TRAYNOTIFY);
    ASSERT_TRUE(ErrorDialog()->isVisible());
    bool clearedWhileVisible = false;
    QObject::connect(ErrorDialog(), &QDialog::rejected,
                     [&] { clearedWhileVisible = ErrorDialog()->Code() == 0; });
    ErrorDialog()->CloseButton()->click();
    EXPECT_TRUE(clearedWhileVisible);
    EXPECT_EQ(ErrorDialog()->Code(), 0);
    EXPECT_EQ(tray_.image, TrayImage::Normal);
    // The cycle the click started now succeeds; a click then opens nothing.
    network_.Replace(kChannelServer, BodyAnswer(Feed(1)));
    Settle();
    LeftClick(sheet);
    Settle();
    EXPECT_FALSE(ErrorDialog()->isVisible());
}

TEST_F(ToolSheetTest, RejectedDeliveryNumberClickAsksAgainOnce) {
    Provision("\"Company\"=\"5\"\n", "\"DeliveryNo\"=\"D77\"\n");
    std::vector<std::string> prompts;
    int dialogs = 0;
    // Cancels every delivery number dialog as soon as it is open.
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        CDeliveryNoDlg* dlg = sheet_ ? DeliveryDialog(*sheet_) : nullptr;
        if (!dlg || !dlg->isVisible()) return;
        ++dialogs;
        prompts.push_back(dlg->Prompt());
        EXPECT_EQ(dlg->NumberEdit()->text(), Utf("D77"));
        // A second request while it is open opens no second dialog.
        QCoreApplication::postEvent(sheet_.get(), new QEvent(UM_FETCHNEWS));
        QCoreApplication::sendPostedEvents(sheet_.get(), UM_FETCHNEWS);
        dlg->reject();
    });
    poller.start(10);

    CToolSheet& sheet = StartedSheet();
    ASSERT_TRUE(WaitFor([&] { return dialogs == 1 && !cycles_.empty(); }));
    EXPECT_EQ(prompts[0], DeliveryNumberPrompt());
    EXPECT_EQ(ErrorDialog()->Code(), kErrorAuthentication);
    EXPECT_EQ(tray_.image, TrayImage::Error);
    EXPECT_EQ(Tip(tray_), Utf("認証エラー"));

    // The click posts UM_SHOWNEWS twice; the first cycle asks with the
    // wrong-number prompt, the second finds the dialog open.
    LeftClick(sheet);
    ASSERT_TRUE(WaitFor([&] { return dialogs == 2; }));
    Settle();
    EXPECT_EQ(dialogs, 2);
    EXPECT_EQ(prompts[1], WrongDeliveryNumberPrompt());
    EXPECT_FALSE(ErrorDialog()->isVisible());
    EXPECT_TRUE(network_.calls.empty());
}

TEST_F(ToolSheetTest, QuitSavesTheStoreAndRemovesTheIcon) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(4)));
    CToolSheet& sheet = StartedSheet();
    fs::remove(DataFile());  // written after the cycle; written again at the end
    Command(sheet, kCmdExit);
    EXPECT_EQ(ended_, 1);
    EXPECT_TRUE(sheet.Saved());
    EXPECT_FALSE(tray_.added);
    EXPECT_FALSE(PollTimer(sheet).IsActive());
    FeedChannel stored;
    ASSERT_TRUE(LoadItemStore(DataFile(), stored));
    EXPECT_EQ(stored.Count(), 4);
    // Nothing runs after the end.
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    EXPECT_EQ(network_.calls.size(), 1u);
}

TEST_F(ToolSheetTest, UnreadableStoreIsNotReplacedAtTheEnd) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    // Opens, but every read fails.
    fs::create_symlink("/proc/self/mem", DataFile());
    CToolSheet& sheet = StartedSheet();
    sheet.RequestQuit();
    EXPECT_EQ(ended_, 1);
    EXPECT_FALSE(sheet.Saved());
    EXPECT_TRUE(fs::is_symlink(DataFile()));
}

namespace {

// Writes beyond `bytes` fail with EFBIG while it lives (SIGXFSZ ignored).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &saved_);
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, saved_.rlim_max};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }

  private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
};

}  // namespace

TEST_F(ToolSheetTest, ChangedFeedIsSavedAtOnceThenAtMostOncePerInterval) {
    storeSaveIntervalMs_ = 1500;
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(3)));
    CToolSheet& sheet = MakeSheet();
    sheet.OnInitDialog();
    std::vector<bool> saves;
    QObject::connect(&Saver(sheet), &StoreSaver::saved, [&](bool ok) { saves.push_back(ok); });
    Settle();
    // The first cycle's feed is on disk at once, not only at the end.
    ASSERT_EQ(saves.size(), 1u);
    EXPECT_THAT(StoredHeadlines(DataFile()), ElementsAre("item0", "item1", "item2"));

    // The same feed again: nothing to write.
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    EXPECT_FALSE(Saver(sheet).Pending());

    // Two changes within the interval make one write, once it has passed.
    network_.Replace(kChannelServer, BodyAnswer(Feed(4)));
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    network_.Replace(kChannelServer, BodyAnswer(Feed(5)));
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    Settle();
    EXPECT_EQ(saves.size(), 1u);
    EXPECT_TRUE(Saver(sheet).Pending());
    ASSERT_TRUE(WaitFor([&] { return saves.size() == 2u; }));
    EXPECT_EQ(StoredHeadlines(DataFile()).size(), 5u);
    EXPECT_TRUE(saves.at(1));
    EXPECT_EQ(ErrorDialog()->Code(), 0);
}

TEST_F(ToolSheetTest, FailedSaveIsReportedKeepsTheOldStoreAndIsRetried) {
    storeSaveIntervalMs_ = 200;
    Provision();
    const std::string old = "[Subscription]\r\nTitle=old\r\nTitle1=kept\r\nReaded1=1\r\n";
    WriteBytes(DataFile(), old);
    network_.Answer(kChannelServer, BodyAnswer(Feed(30)));
    CToolSheet& sheet = MakeSheet();
    std::unique_ptr<FileSizeLimit> full;
    // The disk fills up once the fetch is in.
    QObject::connect(&sheet, &CToolSheet::cycleFinished,
                     [&] { full = std::make_unique<FileSizeLimit>(512); });
    ::testing::internal::CaptureStderr();
    sheet.OnInitDialog();
    Settle();
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("cannot save the news to " + DataFile().string() + ": File too large"),
              std::string::npos)
        << said;
    EXPECT_EQ(ErrorDialog()->Code(), kErrorStoreSave);
    EXPECT_EQ(tray_.image, TrayImage::Error);
    EXPECT_EQ(Tip(tray_), Utf("保存エラー"));
    // The detail is the system's error number.
    EXPECT_EQ(ErrorDialog()->MessageText().toStdString(),
              "ニュースの保存に失敗しました。 (" + std::to_string(EFBIG) + ")");
    EXPECT_EQ(ReadBytes(DataFile()), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(DataFile().parent_path()), {}), 1)
        << "a temporary was left";
    EXPECT_TRUE(Saver(sheet).Pending());

    // Room again: the next cycle, with the same feed, writes it.
    full.reset();
    QObject::disconnect(&sheet, &CToolSheet::cycleFinished, nullptr, nullptr);
    QCoreApplication::postEvent(&sheet, new QEvent(UM_POLL));
    ASSERT_TRUE(WaitFor([&] { return !Saver(sheet).Pending(); }));
    EXPECT_EQ(StoredHeadlines(DataFile()).size(), 30u);
    EXPECT_EQ(ErrorDialog()->Code(), 0);
    EXPECT_EQ(tray_.image, TrayImage::Normal);

    // A save that fails at the end says so and leaves the last good store.
    const std::string good = ReadBytes(DataFile());
    // (Room enough for what the test itself writes.)
    full = std::make_unique<FileSizeLimit>(1024);
    ::testing::internal::CaptureStderr();
    sheet.RequestQuit();
    EXPECT_NE(::testing::internal::GetCapturedStderr().find("File too large"), std::string::npos);
    full.reset();
    EXPECT_EQ(ended_, 1);
    EXPECT_FALSE(sheet.Saved());
    EXPECT_EQ(ReadBytes(DataFile()), good);
}

namespace {

// Blocks each request until it is stopped.
class StallingNetwork final : public Transfer {
  public:
    TransferAnswer Get(const std::string&, std::uint32_t, std::stop_token stop) override {
        ++calls;
        if (onEnter) onEnter();
        std::mutex m;
        std::condition_variable_any cv;
        std::unique_lock lock(m);
        cv.wait(lock, stop, [] { return false; });
        return FailedAnswer("stopped");
    }
    std::atomic<int> calls{0};
    std::function<void()> onEnter;
};

}  // namespace

TEST_F(ToolSheetTest, QuitDuringATransferLetsTheCycleUnwindFirst) {
    Provision("\"server2\"=\"http://two.test/rss/channel.cgi\"\n");
    WriteBytes(DataFile(),
               "[Subscription]\n");  // an existing store, rewritten at the end
    StallingNetwork stalling;
    SheetStartup startup;
    startup.dataFile = DataFile();
    startup.normalIcon = IconResourceImage(128);
    startup.blinkIcon = IconResourceImage(129);
    SheetServices services;
    services.network = &stalling;
    services.clock = &clock_;
    services.makePopup = [this] { return std::make_unique<RecordingPopup>(popupLog_); };
    services.makeTray = TrayRecorder();
    CToolSheet sheet(QStringLiteral("ツール"), startup, services);
    std::vector<std::string> order;
    int endings = 0;
    QObject::connect(&sheet, &CToolSheet::cycleFinished, [&] { order.push_back("cycle"); });
    QObject::connect(&sheet, &CToolSheet::ended, [&] {
        order.push_back("end");
        ++endings;
    });
    // "終了" chosen while the request hangs (as SIGTERM would arrive).
    stalling.onEnter = [&sheet] {
        QMetaObject::invokeMethod(
            &sheet, [&sheet] { sheet.RequestQuit(); }, Qt::QueuedConnection);
    };
    sheet.OnInitDialog();
    ASSERT_TRUE(WaitFor([&] { return endings == 1; }));
    // The cycle had returned when the end was made.
    EXPECT_THAT(order, ElementsAre("cycle", "end"));
    EXPECT_TRUE(sheet.Saved());
    // The second server was not tried after the quit.
    EXPECT_EQ(stalling.calls, 1);
    EXPECT_FALSE(tray_.added);
}

TEST_F(ToolSheetTest, QuitWhileTheDeliveryNumberDialogIsOpen) {
    Provision("\"Company\"=\"5\"\n", "");
    bool dialogWasOpen = false;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        CDeliveryNoDlg* dlg = sheet_ ? DeliveryDialog(*sheet_) : nullptr;
        if (!dlg || !dlg->isVisible() || dialogWasOpen) return;
        dialogWasOpen = true;
        dlg->NumberEdit()->setText(Utf("D1"));
        dlg->PasswordEdit()->setText(Utf("pw"));
        sheet_->RequestQuit();
    });
    poller.start(10);
    MakeSheet().OnInitDialog();
    ASSERT_TRUE(WaitFor([&] { return ended_ == 1; }));
    EXPECT_TRUE(dialogWasOpen);
    EXPECT_TRUE(sheet_->Saved());
    EXPECT_EQ(DeliveryDialog(*sheet_), nullptr);
    // The typed number was not sent: no registration during the quit.
    EXPECT_TRUE(network_.calls.empty());
}

TEST_F(ToolSheetTest, TitleFromTheSettingsNamesTheSheetAndTheTip) {
    std::string title;
    for (int i = 0; i < 40; ++i) title += "ニ";
    Provision("\"Title\"=\"" + title + "\"\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    EXPECT_EQ(sheet.windowTitle(), QString::fromStdString(title));
    // Whole: the tray cuts it to its limit.
    EXPECT_EQ(text::Cp932ToUtf8(tray_.tip), title);
}

TEST_F(ToolSheetTest, AnotherCommandDoesNothing) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    Command(sheet, 12345);
    Settle();
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(AboutDialog(sheet)->isVisible());
    EXPECT_EQ(ended_, 0);
    EXPECT_TRUE(tray_.added);
    EXPECT_EQ(network_.calls.size(), 1u);
}

TEST_F(ToolSheetTest, WithoutATrayNewsSlidesThePopupInInsteadOfBlinking) {
    Provision("", "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"secret\"\n\"popup\"=dword:00000000\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    tray_.withoutTray = true;
    StartedSheet();
    EXPECT_THAT(popupLog_, ElementsAre("showtab", "setchannel:2", "open"));
    EXPECT_THAT(preparedAfterRequests_, ElementsAre(1u));
    EXPECT_FALSE(tray_.blinking);
}

TEST_F(ToolSheetTest, AboutShowsIdentitiesAndCompanyLabel) {
    Provision("\"Company\"=\"0\"\n",
              "\"ClientID\"=\"C1\"\n\"ClientPWD\"=\"s\"\n\"GroupID\"=\"G9\"\n"
              "\"DeliveryNo\"=\"D5\"\n");
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    QStringList seen;
    WhenNested([&] {
        CAboutDlg* about = AboutDialog(sheet);
        ASSERT_NE(about, nullptr);
        for (int id : {1019, 1014, 1015, 1021, 1020}) seen << about->Field(id)->text();
        about->accept();
    });
    Command(sheet, kCmdAbout);
    EXPECT_THAT(seen,
                ElementsAre(Utf("ヴェルモラ 1.0.1"), Utf("G9"), Utf("C1"), QString(), Utf("D5")));
}
