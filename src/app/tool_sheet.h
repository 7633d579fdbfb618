#pragma once
// The tool sheet: the program's hidden main window. It owns the settings in
// memory, the feeds (through the delivery cycle), the tray icon and its
// images, the blink and poll timers, the error and About dialogs and the news
// popup, and runs the delivery cycle from its private messages.

#include <QDialog>
#include <QIcon>
#include <QImage>
#include <QString>
#include <QTimer>
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

class QMenu;
class QTabWidget;

namespace velmora {

class CAboutDlg;
class CDeliveryNoDlg;
class CErrorDlg;
class COptionPage2;
class ErrorNotifier;
class CTrayIcon;
class SingleInstance;

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
    SingleInstance* instance = nullptr;              // answers second starts while the sheet lives
    int storeSaveIntervalMs = kStoreSaveIntervalMs;  // the least time between two saves
};

inline constexpr int kBlinkIntervalMs = 500;

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
    bool QuitPending() const { return quitPending_; }
    bool Ended() const { return ended_; }
    // The store was saved at the end.
    bool Saved() const { return saved_; }
    // Writes the store as the current feed changes; made at initialisation.
    StoreSaver* Saver() const { return saver_.get(); }

    // The tray menu's commands; false for another id.
    bool OnCommand(int id);
    // Menu 137's only submenu "TASK": ツール, ヘルプ, バージョン情報, separator, 終了.
    std::unique_ptr<QMenu> BuildTrayMenu();
    // The same menu kept for a status notifier host, which shows it itself.
    QMenu* ExportedMenu() const { return exportedMenu_.get(); }
    // No tray host shows the icon: news always slides the popup in and a new
    // standing error is announced as a desktop notification.
    bool WithoutTray() const;

    // DeliveryUi.
    void SetTrayImage(TrayImage image) override;
    void SetTrayTip(const std::string& tip) override;
    void StartPollTimer(std::uint32_t intervalMs) override;
    void StopPollTimer() override;
    DeliveryNumberAnswer AskDeliveryNumber(const std::string& prompt,
                                           const std::string& deliveryNo) override;
    void PostTrayClick() override;

    // What the sheet shows and holds, for the desktop and for tests.
    TrayImage ShownImage() const { return shownImage_; }
    QString TrayTip() const;
    const std::string& Title() const { return title_; }
    std::uint32_t PopupSetting() const { return popupSetting_; }
    bool Blinking() const { return blinkTimer_.isActive(); }
    const LongTimer& PollTimer() const { return pollTimer_; }
    LongTimer& PollTimer() { return pollTimer_; }
    DeliveryCycle& Cycle() { return *cycle_; }
    ErrorState& Errors() { return errors_; }
    CErrorDlg* ErrorDialog() const { return errorDlg_.get(); }
    CAboutDlg* AboutDialog() const { return about_.get(); }
    COptionPage2& Page() const { return *page_; }
    CTrayIcon& Tray() const { return *tray_; }
    CDeliveryNoDlg* OpenDeliveryDialog() const { return deliveryDlg_; }
    const std::filesystem::path& DataFile() const { return startup_.dataFile; }
    QIcon IconFor(TrayImage image) const;

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
    void OnTrayHostRecreated();
    void BlinkStepTick();

    // Commands.
    void ShowToolSheet();
    void RunAbout();
    void ShowTrayMenu();
    void ShowErrorDialog();
    void ExportTrayMenu();
    void AnnounceNewError(std::int32_t codeBefore);

    bool AddTrayIcon();
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
    std::unique_ptr<StoreSaver> saver_;

    COptionPage2* page_ = nullptr;  // child of the tab widget
    QTabWidget* tabs_ = nullptr;
    std::unique_ptr<CTrayIcon> tray_;
    std::unique_ptr<CErrorDlg> errorDlg_;
    std::unique_ptr<CAboutDlg> about_;
    std::unique_ptr<PopupPort> popup_;
    CDeliveryNoDlg* deliveryDlg_ = nullptr;  // while the cycle asks for the number
    QMenu* trayMenu_ = nullptr;              // while the tray menu is open
    std::unique_ptr<QMenu> exportedMenu_;
    ErrorNotifier* notifier_ = nullptr;  // child of the sheet

    QIcon normal_;
    QIcon blink_;
    QIcon error_;
    QIcon communicating_;
    TrayImage shownImage_ = TrayImage::Normal;

    std::string title_;
    std::uint32_t popupSetting_ = 1;
    std::int32_t blinkPhase_ = 1;
    QTimer blinkTimer_;
    LongTimer pollTimer_;

    int cycleDepth_ = 0;
    bool quitPending_ = false;
    bool ended_ = false;
    bool saved_ = false;
};

}  // namespace velmora
