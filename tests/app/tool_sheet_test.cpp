// The tool sheet's Qt wiring, headless, with a transfer answering from a
// table on the worker thread: its page, dialogs, timer and store saver. What
// its messages decide is tested with the controller in tests/core/shell.

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
    EXPECT_TRUE(PollTimer(sheet).IsActive());
    EXPECT_EQ(PollTimer(sheet).IntervalMs(), 60u * 60000u);
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

    // A change left for the end (an item read in the popup) whose save fails
    // there: said, and the last good store stays.
    const std::string good = ReadBytes(DataFile());
    sheet.Feed().First()->read = 1;
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
