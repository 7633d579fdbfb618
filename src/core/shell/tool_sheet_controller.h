#pragma once
// The tool sheet's decisions, the same on every desktop: what its private
// messages, tray clicks and commands do, when a cycle may start, popup or
// blink after a cycle, announcing a new error, the no-server notice, the
// poll timer and the end while a cycle runs. The desktop draws and forwards
// through SheetDesktop, TrayPort and PopupPort; the cycle reaches the desktop
// through this controller.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "core/delivery/clock.h"
#include "core/delivery/delivery_cycle.h"
#include "core/delivery/delivery_ui.h"
#include "core/delivery/error_table.h"
#include "core/delivery/quittable_transfer.h"
#include "core/feed/feed_item.h"
#include "core/shell/command_line.h"
#include "core/shell/popup_port.h"
#include "core/shell/sheet_desktop.h"
#include "core/shell/tray_port.h"

namespace velmora {

class ToolSheetController final : public DeliveryUi {
  public:
    // Reads the settings the sheet starts with. `desktop`, `network` and
    // `clock` must outlive the controller.
    ToolSheetController(SheetDesktop& desktop, Transfer& network, const Clock& clock,
                        ItemColors colors = {});
    ToolSheetController(const ToolSheetController&) = delete;
    ToolSheetController& operator=(const ToolSheetController&) = delete;

    // The initialisation, once the tray and the popup exist (either may be
    // null): title, tray icon and tooltip, item store, the first UM_POLL.
    void Start(TrayPort* tray, PopupPort* popup, const std::filesystem::path& dataFile);

    // The private messages to the sheet; false for any other message.
    bool HandleMessage(int message, int wParam = 0, int lParam = 0);
    // A tray menu command; another id does nothing.
    void OnCommand(int id);
    void OnTimer(int id);
    // What a desktop action asks of a copy that has just started.
    void PostDesktopAction(DesktopAction action);

    // OK on the settings page, with the page's validated values.
    void ApplySettings(std::uint32_t pollMinutes, std::int32_t notifyMode);
    // A page (MY PAGE, a card, help) could not be opened: it stands as an error.
    void OnOpenPageFailed();
    // A write of the item store ended; `errorNumber` is the system's on failure.
    void OnStoreSaved(bool ok, int errorNumber);

    // "終了", a signal or the end of the session. While a cycle runs its
    // transfer is stopped and the modal windows closed; the end follows once
    // the cycle has unwound.
    void RequestQuit();

    bool Ended() const { return ended_; }
    bool QuitPending() const { return quitPending_; }
    bool Saved() const { return saved_; }
    bool Busy() const { return cycle_->Busy(); }
    const std::string& Title() const { return title_; }
    std::uint32_t PopupSetting() const { return popupSetting_; }
    const DeliverySettings& Settings() const { return cycle_->Settings(); }
    const FeedChannel& Feed() const { return cycle_->Current(); }
    const ErrorState& Errors() const { return errors_; }
    ErrorState& Errors() { return errors_; }

    // DeliveryUi, for the cycle.
    void SetTrayImage(TrayImage image) override;
    void SetTrayTip(const std::string& tip) override;
    void StartPollTimer(std::uint32_t intervalMs) override;
    void StopPollTimer() override;
    DeliveryNumberAnswer AskDeliveryNumber(const std::string& prompt,
                                           const std::string& deliveryNo) override;
    void PostTrayClick() override;

  private:
    void OnPoll();
    void OnFetchNews();
    void OnShowNews();
    void OnErrorClosed();
    void OnTrayNotify(int iconId, int mouseMessage);
    void RunAbout();

    bool MayStartCycle();
    // Runs one cycle; false when a quit came meanwhile and the end was made.
    bool RunCycle(CycleResult& result);
    bool WithoutTray() const;
    void AnnounceNewError(std::int32_t codeBefore);
    // With no server known at all the user hears once what is missing and
    // where it goes; the error then stands until its dialog is closed.
    void KeepNoServerNoticeStanding();
    void ShowError();
    void FinishQuit();

    SheetDesktop& desktop_;
    QuittableTransfer transfer_;
    ErrorState errors_;
    std::unique_ptr<DeliveryCycle> cycle_;
    TrayPort* tray_ = nullptr;
    PopupPort* popup_ = nullptr;

    std::string title_;
    std::filesystem::path dataFile_;
    std::uint32_t popupSetting_ = 1;
    int cycleDepth_ = 0;
    bool askingNumber_ = false;
    bool aboutRunning_ = false;
    bool errorAfterFetch_ = false;  // no tray: the next requested cycle shows a standing error
    bool noServerTold_ = false;
    bool quitPending_ = false;
    bool ended_ = false;
    bool saved_ = false;
};

// The no-server notice: the stderr line and the path it names.
std::string NoServerLine(const std::string& machineSettings);

}  // namespace velmora
