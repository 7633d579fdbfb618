// The dialogs of the tool sheet block the sheet only: the popup and the tray
// icon, windows of their own, take the user's clicks while a dialog is open.

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "desktop/dialogs/about_dialog.h"
#include "desktop/dialogs/delivery_no_dialog.h"
#include "desktop/dialogs/option_page.h"
#include "desktop/tray/tray_notify_event.h"
#include "sheet_fixture.h"

using namespace velmora;
using namespace velmora::test_support;

namespace {

// A window without owner, as the popup and the tray icon are; clicked the way
// the window system delivers a click, through the modality check.
class Bystander {
  public:
    Bystander() {
        button_.setGeometry(20, 20, 80, 30);
        QObject::connect(&button_, &QPushButton::clicked, [this] { ++clicks_; });
        button_.show();
    }
    bool ClickReaches() {
        const int before = clicks_;
        QTest::mouseClick(button_.windowHandle(), Qt::LeftButton, {}, QPoint(10, 10));
        Settle();
        return clicks_ > before;
    }

  private:
    QPushButton button_;
    int clicks_ = 0;
};

}  // namespace

class SheetModalityTest : public SheetFixture {};

TEST_F(SheetModalityTest, AboutBoxLeavesOtherWindowsAndTheTrayWorking) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(2)));
    CToolSheet& sheet = StartedSheet();
    Bystander popup;
    Command(sheet, kCmdTool);
    QPushButton* ok = sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
    bool reached = false;
    bool blocksTheSheet = false;
    const std::size_t cyclesBefore = cycles_.size();
    WhenNested([&] {
        CAboutDlg* about = AboutDialog(sheet);
        ASSERT_TRUE(about && about->isVisible());
        reached = popup.ClickReaches();
        // OK on the sheet would hide it; the box keeps the sheet from taking it.
        QTest::mouseClick(sheet.windowHandle(), Qt::LeftButton, {},
                          ok->mapTo(&sheet, ok->rect().center()));
        Settle();
        blocksTheSheet = sheet.isVisible();
        // A tray click runs its cycle while the box stays open.
        QCoreApplication::postEvent(&sheet, new TrayNotifyEvent(kTrayIconId, kWmLButtonDown));
        ASSERT_TRUE(WaitFor([&] { return cycles_.size() > cyclesBefore; }));
        EXPECT_TRUE(about->isVisible());
        about->accept();
    });
    Command(sheet, kCmdAbout);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(blocksTheSheet);
}

TEST_F(SheetModalityTest, DeliveryNumberDialogLeavesOtherWindowsWorking) {
    Provision("\"Company\"=\"5\"\n", "");
    Bystander popup;
    int dialogs = 0;
    bool reached = false;
    QTimer poller;
    QObject::connect(&poller, &QTimer::timeout, [&] {
        CDeliveryNoDlg* dlg = sheet_ ? DeliveryDialog(*sheet_) : nullptr;
        if (!dlg || !dlg->isVisible()) return;
        ++dialogs;
        poller.stop();
        reached = popup.ClickReaches();
        // A second request while it is open still opens no second dialog.
        QCoreApplication::postEvent(sheet_.get(), new QEvent(UM_FETCHNEWS));
        Settle();
        EXPECT_EQ(DeliveryDialog(*sheet_), dlg);
        dlg->reject();
    });
    poller.start(10);
    StartedSheet();
    ASSERT_TRUE(WaitFor([&] { return dialogs == 1 && !cycles_.empty(); }));
    EXPECT_TRUE(reached);
    Settle();
    EXPECT_EQ(dialogs, 1);
}

TEST_F(SheetModalityTest, IntervalMessageLeavesOtherWindowsWorking) {
    Provision();
    network_.Answer(kChannelServer, BodyAnswer(Feed(1)));
    CToolSheet& sheet = StartedSheet();
    Bystander popup;
    Command(sheet, kCmdTool);
    Page(sheet).IntervalEdit()->setText(QStringLiteral("2"));
    bool told = false;
    bool reached = false;
    WhenNested([&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        told = box->text() == IntervalRangeMessage();
        reached = popup.ClickReaches();
        box->accept();
    });
    sheet.accept();
    EXPECT_TRUE(told);
    EXPECT_TRUE(reached);
    EXPECT_TRUE(sheet.isVisible());
}
