#pragma once
// The tool sheet: the program's hidden main window. It owns the settings in
// memory, the feeds (through the delivery cycle), the tray (through its
// port), the tray menu, the poll timer, the error and About dialogs and the
// news popup, and runs the delivery cycle from its private messages.

#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "app/menu_commands.h"
#include "app/store_saver.h"
#include "core/delivery/clock.h"
#include "core/delivery/delivery_cycle.h"
#include "core/delivery/delivery_ui.h"
#include "core/delivery/error_table.h"
#include "core/delivery/quittable_transfer.h"
#include "core/delivery/threaded_transfer.h"
#include "core/feed/feed_item.h"
#include "desktop/common/event_loop_waiter.h"
#include "desktop/common/long_timer.h"
#include "desktop/popup/popup_port.h"
#include "desktop/tray/tray_port.h"

class QTabWidget;

namespace velmora {

class CAboutDlg;
class CDeliveryNoDlg;
class CErrorDlg;
class COptionPage2;
class ErrorNotifier;
class SingleInstance;
class TrayMenu;

// What the application object hands the sheet.
struct SheetStartup {
    std::filesystem::path dataFile;  // the item store
    QImage normalIcon;
    QImage blinkIcon;
    std::string normalIconPath;  // "NormalIcon" (CP932), for the About dialog
    ItemColors colors;
};

// The sheet's collaborators; tests replace them.
struct SheetServices {
    Transfer* network = nullptr;  // the real transfer; run on a worker thread
    const Clock* clock = nullptr;
    PopupFactory makePopup;                          // default: the news popup window
    TrayFactory makeTray;                            // default: the tray presenter
    SingleInstance* instance = nullptr;              // answers second starts while the sheet lives
    int storeSaveIntervalMs = kStoreSaveIntervalMs;  // the least time between two saves
};

class CToolSheet : public QDialog, public DeliveryUi {
    Q_OBJECT
  public:
    // Reads the settings the sheet starts with. `caption` is string 102.
    CToolSheet(const QString& caption, SheetStartup startup, SheetServices services,
               QWidget* parent = nullptr);
    ~CToolSheet() override;

    // The initialisation: tray icon and images, title, second-start answering,
    // item store, error dialog, popup, About dialog, and the first UM_POLL.
    void OnInitDialog();

    // "終了", SIGTERM, SIGINT and the end of the session. While a cycle runs
    // (a transfer, the delivery number dialog) its transfer is stopped and
    // the dialogs are closed; the end follows once the cycle has unwound.
    void RequestQuit();
    bool Ended() const { return ended_; }
    // The store was saved at the end.
    bool Saved() const { return saved_; }

    // The item store and the feed it keeps, for a save at an unexpected exit.
    const std::filesystem::path& DataFile() const { return startup_.dataFile; }
    const FeedChannel& Feed() const { return cycle_->Current(); }

    // DeliveryUi.
    void SetTrayImage(TrayImage image) override;
    void SetTrayTip(const std::string& tip) override;
    void StartPollTimer(std::uint32_t intervalMs) override;
    void StopPollTimer() override;
    DeliveryNumberAnswer AskDeliveryNumber(const std::string& prompt,
                                           const std::string& deliveryNo) override;
    void PostTrayClick() override;

  signals:
    // The end: tray icon removed, store saved. The application quits on it.
    void ended();
    // A delivery cycle ended with `result` (a CycleResult).
    void cycleFinished(velmora::CycleResult result);

  public slots:
    // OK: validates and applies the settings page.
    void accept() override;
    // Cancel: hides the sheet.
    void reject() override;

  protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

  private:
    // Private messages.
    void OnPoll();
    void OnFetchNews();
    void OnShowNews();
    void OnErrorClosed();
    void OnTrayNotify(int iconId, int mouseMessage);
    void OnShowHelp();

    // The tray menu's commands; another id does nothing.
    void OnCommand(int id);
    void ShowToolSheet();
    void RunAbout();
    void ShowTrayMenu();
    void ShowErrorDialog();
    // No tray host shows the icon: news always slides the popup in and a new
    // standing error is announced as a desktop notification.
    bool WithoutTray() const;
    void AnnounceNewError(std::int32_t codeBefore);

    void OnStoreSaved(bool ok);
    // Runs one cycle; false when a quit came meanwhile and the end was made.
    bool RunCycle(CycleResult& result);
    bool MayStartCycle() const;
    void CloseModalWindows();
    void FinishQuit();

    SheetStartup startup_;
    SheetServices services_;
    EventLoopWaiter waiter_;
    std::unique_ptr<ThreadedTransfer> threaded_;
    std::unique_ptr<QuittableTransfer> transfer_;
    ErrorState errors_;
    std::unique_ptr<DeliveryCycle> cycle_;
    std::unique_ptr<StoreSaver> saver_;  // a child too, but gone before the feed it keeps

    COptionPage2* page_ = nullptr;  // child of the tab widget
    QTabWidget* tabs_ = nullptr;
    std::unique_ptr<TrayPort> tray_;  // never null once initialised
    TrayMenu* trayMenu_ = nullptr;    // child of the sheet
    std::unique_ptr<CErrorDlg> errorDlg_;
    std::unique_ptr<CAboutDlg> about_;
    std::unique_ptr<PopupPort> popup_;
    CDeliveryNoDlg* deliveryDlg_ = nullptr;  // while the cycle asks for the number
    ErrorNotifier* notifier_ = nullptr;      // child of the sheet

    std::string title_;
    std::uint32_t popupSetting_ = 1;
    LongTimer pollTimer_;  // child of the sheet

    int cycleDepth_ = 0;
    bool quitPending_ = false;
    bool ended_ = false;
    bool saved_ = false;
};

}  // namespace velmora
