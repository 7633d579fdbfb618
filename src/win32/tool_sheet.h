#pragma once
// The tool sheet on Windows: a hidden property sheet with the one page
// "詳細設定", the program's main window. It carries the window property of
// the instance name, owns the tray icon, the timers, the error dialog and the
// dialogs, and forwards every message and command to the controller, which
// decides.

#include <windows.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "core/delivery/clock.h"
#include "core/delivery/curl_transfer.h"
#include "core/delivery/threaded_transfer.h"
#include "core/feed/feed_item.h"
#include "core/shell/command_line.h"
#include "core/shell/sheet_desktop.h"
#include "core/shell/store_schedule.h"
#include "core/shell/tool_sheet_controller.h"
#include "win32/dialogs.h"
#include "win32/message_loop.h"
#include "win32/news_popup.h"
#include "win32/tray_icon.h"

namespace velmora::win32 {

struct SheetStartup {
    std::filesystem::path dataFile;
    HICON normalIcon = nullptr;  // owned by the caller
    HICON blinkIcon = nullptr;
    std::string normalIconPath;  // "NormalIcon" (CP932), for the About dialog
    ItemColors colors;
    std::wstring instanceName;  // the window property
    // Told after every cycle, with the items of the feed then; and at the end.
    std::function<void(CycleResult, int)> cycleFinished;
    std::function<void()> ended;
};

class CToolSheet final : public SheetDesktop {
  public:
    CToolSheet(SheetStartup startup, Transfer& network, const Clock& clock);
    ~CToolSheet() override;
    CToolSheet(const CToolSheet&) = delete;
    CToolSheet& operator=(const CToolSheet&) = delete;

    // Creates the hidden sheet and runs its initialisation; false when the
    // window cannot be made (the reason is on stderr).
    bool Create();
    // The message loop until the end; the exit status (1 when the last save failed).
    int Run();
    void PostDesktopAction(DesktopAction action) { controller_->PostDesktopAction(action); }
    HWND Window() const { return window_; }
    ToolSheetController& Controller() { return *controller_; }
    // The news popup, or null when it could not be made.
    CNewsPopup* Popup() const { return popup_.get(); }

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

  private:
    static int CALLBACK SheetCallback(HWND, UINT, LPARAM);
    static LRESULT CALLBACK SubclassProc(HWND, UINT, WPARAM, LPARAM, UINT_PTR, DWORD_PTR);
    static INT_PTR CALLBACK PageProc(HWND, UINT, WPARAM, LPARAM);
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled);
    bool PreTranslate(MSG& msg);
    void OnOk();
    void WritePage();
    bool SaveStore();
    void OnSaveTimer();

    SheetStartup startup_;
    MessageLoopWaiter waiter_;
    ThreadedTransfer threaded_;
    std::unique_ptr<ToolSheetController> controller_;
    std::unique_ptr<TrayIcon> tray_;
    std::unique_ptr<ErrorDialog> errorDlg_;
    std::unique_ptr<CNewsPopup> popup_;
    HWND window_ = nullptr;
    HWND page_ = nullptr;
    HWND deliveryDlg_ = nullptr;
    HWND aboutDlg_ = nullptr;
    UINT taskbarCreated_ = 0;
    StoreSchedule schedule_;
    bool ended_ = false;
};

}  // namespace velmora::win32
