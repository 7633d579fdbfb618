#pragma once
// What the tool sheet's decisions need the desktop to do: post a message to
// the sheet, run its timers, dialogs and menu, open an address, notify, save
// the store and end the run. Each desktop implements it with its own windows;
// tests record the calls. Texts are CP932.

#include <cstdint>
#include <string>

#include "core/delivery/delivery_cycle.h"
#include "core/delivery/delivery_ui.h"

namespace velmora {

// The five fields of the About dialog (CP932).
struct AboutFields {
    std::string titleLine;
    std::string deliveryLabel;
    std::string groupId;
    std::string clientId;
    std::string deliveryNo;
};

class SheetDesktop {
  public:
    virtual ~SheetDesktop() = default;

    // Posts a private message to the sheet; it comes back, later, to
    // ToolSheetController::HandleMessage (UM_MENUCOMMAND to OnCommand).
    virtual void PostToSheet(int message, int wParam, int lParam) = 0;
    // Starting a running timer restarts it; each tick comes back to OnTimer.
    virtual void StartSheetTimer(int id, std::uint32_t intervalMs) = 0;
    virtual void StopSheetTimer(int id) = 0;

    // The error dialog takes its two lines from the error state.
    virtual void RefreshErrorDialog() = 0;
    // Shown and brought to the front; centred when it was hidden.
    virtual void ShowErrorDialog() = 0;
    virtual void HideErrorDialog() = 0;
    // A desktop notification of the standing error, where no tray shows it.
    virtual void NotifyError(const std::string& title, const std::string& message) = 0;

    // The sheet shown with the settings in force, centred and in front.
    virtual void ShowToolSheet() = 0;
    // Opens the tray menu at the pointer; a chosen command comes back to OnCommand.
    virtual void ShowTrayMenu() = 0;
    // Runs the About dialog modally.
    virtual void RunAboutDialog(const AboutFields& fields) = 0;
    virtual void CloseAboutDialog() = 0;
    // Runs the delivery number dialog modally.
    virtual DeliveryNumberAnswer RunDeliveryNumberDialog(const std::string& prompt,
                                                         const std::string& deliveryNo) = 0;
    virtual void RaiseDeliveryNumberDialog() = 0;
    // Ends every menu and modal loop, so that whatever waits below them can
    // unwind, and hides the sheet.
    virtual void CloseModalWindows() = 0;
    // Opens a page of the settings in the browser; an empty address opens nothing.
    virtual void OpenAddress(const std::string& address) = 0;

    // The current feed may have changed: the store is written when it did.
    virtual void FeedMayHaveChanged() = 0;
    // A cycle ended (for those who watch, such as the demo's stdout).
    virtual void CycleFinished(CycleResult) {}

    // The end: no more second starts are answered; the store is saved for the
    // last time (true when written); the run ends.
    virtual void StopAnsweringSecondStarts() = 0;
    virtual bool SaveStoreAtEnd() = 0;
    // The last save failed and the tray is gone: the user hears of it from a
    // program about to end (a notification, or a message box).
    virtual void TellAtTheEnd(const std::string& title, const std::string& message) = 0;
    virtual void RunEnded() = 0;
};

}  // namespace velmora
