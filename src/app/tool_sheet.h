#pragma once
// The tool sheet: the program's hidden main window. It draws the settings
// page and owns the Qt parts (tray, tray menu, poll timer, the error, About
// and delivery number dialogs, the news popup, the store saver); what they do
// is decided by the ToolSheetController it forwards its messages to.

#include <QDialog>
#include <QImage>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "app/store_saver.h"
#include "core/delivery/clock.h"
#include "core/delivery/threaded_transfer.h"
#include "core/feed/feed_item.h"
#include "core/shell/sheet_desktop.h"
#include "core/shell/tool_sheet_controller.h"
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
    PopupFactory makePopup;              // default: the news popup window
    TrayFactory makeTray;                // default: the tray presenter
    SingleInstance* instance = nullptr;  // answers second starts while the sheet lives
    std::uint32_t storeSaveIntervalMs = kStoreSaveIntervalMs;  // the least time between two saves
};

class CToolSheet : public QDialog, private SheetDesktop {
    Q_OBJECT
  public:
    // Reads the settings the sheet starts with. `caption` is string 102.
    CToolSheet(const QString& caption, SheetStartup startup, SheetServices services,
               QWidget* parent = nullptr);
    ~CToolSheet() override;

    // The initialisation: tray icon and images, title, second-start answering,
    // item store, error dialog, popup, About dialog, and the first UM_POLL.
    void OnInitDialog();

    // "終了", SIGTERM, SIGINT and the end of the session.
    void RequestQuit() { controller_->RequestQuit(); }
    bool Ended() const { return controller_->Ended(); }
    // The store was saved at the end.
    bool Saved() const { return controller_->Saved(); }
    // A desktop action asked of a copy that has just started.
    void PostDesktopAction(DesktopAction action) { controller_->PostDesktopAction(action); }

    // The item store and the feed it keeps, for a save at an unexpected exit.
    const std::filesystem::path& DataFile() const { return startup_.dataFile; }
    const FeedChannel& Feed() const { return controller_->Feed(); }

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
    // SheetDesktop.
    void PostToSheet(int message, int wParam, int lParam) override;
    void StartSheetTimer(int id, std::uint32_t intervalMs) override;
    void StopSheetTimer(int id) override;
    void RefreshErrorDialog() override;
    void ShowErrorDialog() override;
    void HideErrorDialog() override;
    void NotifyError(const std::string& title, const std::string& message) override;
    void ShowToolSheet() override;
    void ShowTrayMenu() override;
    void RunAboutDialog(const AboutFields& fields) override;
    void CloseAboutDialog() override;
    DeliveryNumberAnswer RunDeliveryNumberDialog(const std::string& prompt,
                                                 const std::string& deliveryNo) override;
    void RaiseDeliveryNumberDialog() override;
    void CloseModalWindows() override;
    void OpenAddress(const std::string& address) override;
    void FeedMayHaveChanged() override;
    void CycleFinished(CycleResult result) override;
    void StopAnsweringSecondStarts() override;
    bool SaveStoreAtEnd() override;
    void TellAtTheEnd(const std::string& title, const std::string& message) override;
    void RunEnded() override;

    SheetStartup startup_;
    SheetServices services_;
    EventLoopWaiter waiter_;
    std::unique_ptr<ThreadedTransfer> threaded_;
    std::unique_ptr<ToolSheetController> controller_;
    std::unique_ptr<StoreSaver> saver_;  // a child too, but gone before the feed it keeps

    COptionPage2* page_ = nullptr;  // child of the tab widget
    QTabWidget* tabs_ = nullptr;
    std::unique_ptr<TrayPort> tray_;
    TrayMenu* trayMenu_ = nullptr;  // child of the sheet
    std::unique_ptr<CErrorDlg> errorDlg_;
    std::unique_ptr<CAboutDlg> about_;
    std::unique_ptr<PopupPort> popup_;
    CDeliveryNoDlg* deliveryDlg_ = nullptr;  // while the cycle asks for the number
    ErrorNotifier* notifier_ = nullptr;      // child of the sheet
    LongTimer pollTimer_;                    // child of the sheet
};

}  // namespace velmora
