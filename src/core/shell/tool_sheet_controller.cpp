#include "core/shell/tool_sheet_controller.h"

#include <algorithm>
#include <cstdio>

#include "core/feed/item_store.h"
#include "core/platform/files.h"
#include "core/settings/registry.h"
#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "core/shell/sheet_messages.h"
#include "core/text/cp932.h"

namespace velmora {
namespace {

bool AllEmpty(const std::vector<std::string>& servers) {
    return std::all_of(servers.begin(), servers.end(),
                       [](const std::string& server) { return server.empty(); });
}

}  // namespace

std::string NoServerLine(const std::string& machineSettings) {
    return "velmora: no delivery server is set up; the machine-wide settings (server1 to "
           "server4) belong in " +
           machineSettings + ". 'velmora --demo' shows the product without a service\n";
}

ToolSheetController::ToolSheetController(SheetDesktop& desktop, Transfer& network,
                                         const Clock& clock, ItemColors colors)
    : desktop_(desktop), transfer_(network) {
    cycle_ = std::make_unique<DeliveryCycle>(*this, errors_, transfer_, clock,
                                             ReadDeliverySettings(), colors);
    popupSetting_ = settings::ReadPopupMode();
}

void ToolSheetController::Start(TrayPort* tray, PopupPort* popup,
                                const std::filesystem::path& dataFile) {
    tray_ = tray;
    popup_ = popup;
    dataFile_ = dataFile;
    title_ = settings::ReadTitle();
    if (tray_) tray_->Add();
    SetTrayTip(title_);
    LoadItemStore(dataFile, cycle_->Current());
    errors_.ClearError();
    desktop_.PostToSheet(message::UM_POLL, 0, 0);
}

// --- Messages ----------------------------------------------------------------

bool ToolSheetController::HandleMessage(int message, int wParam, int lParam) {
    switch (message) {
        case message::UM_MENUCOMMAND:
            OnCommand(wParam);
            return true;
        case message::UM_TRAYNOTIFY:
        case message::UM_SHOWHELP:
        case message::UM_SHOWNEWS:
        case message::UM_FETCHNEWS:
        case message::UM_POLL:
        case message::UM_ERRORCLOSED:
            break;
        default:
            return false;
    }
    if (ended_ || quitPending_) return true;
    switch (message) {
        case message::UM_TRAYNOTIFY:
            OnTrayNotify(wParam, lParam);
            break;
        case message::UM_SHOWHELP:
            desktop_.OpenAddress(settings::ReadPageUrl(settings::Page::Help));
            break;
        case message::UM_SHOWNEWS:
            OnShowNews();
            break;
        case message::UM_FETCHNEWS:
            OnFetchNews();
            break;
        case message::UM_POLL:
            OnPoll();
            break;
        default:
            OnErrorClosed();
            break;
    }
    return true;
}

void ToolSheetController::OnTimer(int id) {
    if (id == kPollTimerId) desktop_.PostToSheet(message::UM_POLL, 0, 0);
}

void ToolSheetController::PostDesktopAction(DesktopAction action) {
    if (action == DesktopAction::News) {
        desktop_.PostToSheet(message::UM_SHOWNEWS, 0, 0);
    } else if (const int command = ActionCommand(action); command != 0) {
        desktop_.PostToSheet(message::UM_MENUCOMMAND, command, 0);
    }
}

bool ToolSheetController::MayStartCycle() {
    if (cycle_->Busy()) return false;
    // One delivery number dialog at a time: while it is open, a cycle request
    // only brings it to the front.
    if (askingNumber_) {
        desktop_.RaiseDeliveryNumberDialog();
        return false;
    }
    return true;
}

bool ToolSheetController::RunCycle(CycleResult& result) {
    const std::int32_t codeBefore = errors_.Code();
    ++cycleDepth_;
    result = cycle_->RunDeliveryCycle();
    --cycleDepth_;
    if (!quitPending_) KeepNoServerNoticeStanding();
    desktop_.RefreshErrorDialog();
    desktop_.CycleFinished(result);
    if (!quitPending_) desktop_.FeedMayHaveChanged();
    if (quitPending_) {
        if (cycleDepth_ == 0) FinishQuit();
        return false;
    }
    AnnounceNewError(codeBefore);
    return true;
}

void ToolSheetController::OnPoll() {
    if (!MayStartCycle()) return;
    if (tray_) tray_->StopBlinking();
    CycleResult r = CycleResult::Failed;
    if (!RunCycle(r)) return;
    // Without a tray a blink would announce nothing.
    // A desktop without a popup window announces news by blinking.
    const bool slideIn = (popupSetting_ == 1 || WithoutTray()) && popup_;
    if (r == CycleResult::News && slideIn && popup_) popup_->PrepareOpen();
    if (r == CycleResult::News && popup_) popup_->ShowTab();
    if (r != CycleResult::Failed && popup_) popup_->SetChannel(cycle_->Current());
    if (r == CycleResult::News) {
        if (slideIn) {
            popup_->PostOpen();
        } else if (tray_) {
            tray_->StartBlinking();
        }
    }
}

void ToolSheetController::OnFetchNews() {
    if (!MayStartCycle()) return;
    if (tray_) tray_->StopBlinking();
    // The popup opens unless the request fails: its cards get ready meanwhile.
    if (popup_) popup_->PrepareOpen();
    // Without a tray the user who asked sees a standing error as a click
    // would show it; a notification goes only to a new one.
    const bool showError = errorAfterFetch_;
    errorAfterFetch_ = false;
    CycleResult r = CycleResult::Failed;
    if (!RunCycle(r)) return;
    if (r != CycleResult::Failed && popup_) {
        popup_->SetChannel(cycle_->Current());
        popup_->PostOpenForUser();
    }
    const std::int32_t code = errors_.Code();
    if (showError && code != 0 && code != kErrorAuthentication) desktop_.ShowErrorDialog();
}

void ToolSheetController::OnShowNews() {
    if (WithoutTray()) errorAfterFetch_ = true;
    SetTrayImage(TrayImage::Normal);
    desktop_.PostToSheet(message::UM_FETCHNEWS, 0, 0);
}

void ToolSheetController::OnErrorClosed() {
    SetTrayImage(TrayImage::Normal);
    SetTrayTip(title_);
    errors_.ClearError();
}

void ToolSheetController::OnOpenPageFailed() {
    if (ended_) return;
    const std::int32_t before = errors_.Code();
    errors_.ReportError(kErrorOpenPage, 0);
    SetTrayImage(TrayImage::Error);
    SetTrayTip(errors_.Title());
    AnnounceNewError(before);
}

void ToolSheetController::OnStoreSaved(bool ok, int errorNumber) {
    if (ended_) return;
    if (!ok) {
        errors_.ReportError(kErrorStoreSave, errorNumber);
        ShowError();
    } else if (errors_.Code() == kErrorStoreSave) {
        // The retry worked: the error it left goes.
        OnErrorClosed();
    }
}

// --- Tray clicks and commands -----------------------------------------------

void ToolSheetController::OnTrayNotify(int iconId, int mouseMessage) {
    if (mouseMessage == kWmLButtonDown) {
        if (popup_) popup_->BringToForeground();
        if (!cycle_->Busy()) {
            if (popup_) popup_->ShowTab();
            desktop_.PostToSheet(message::UM_SHOWNEWS, 0, 0);
        }
        if (iconId != kTrayIconId) return;
        if (tray_) tray_->StopBlinking();
        const std::int32_t code = errors_.Code();
        if (code == 0) return;
        if (code == kErrorAuthentication) {
            // Once more: the coming cycle asks for the number with the wrong-number prompt.
            desktop_.PostToSheet(message::UM_SHOWNEWS, 0, 0);
            return;
        }
        desktop_.ShowErrorDialog();
        return;
    }
    if (mouseMessage == kWmRButtonDown && iconId == kTrayIconId) desktop_.ShowTrayMenu();
}

bool ToolSheetController::WithoutTray() const {
    return tray_ && tray_->WithoutTray();
}

void ToolSheetController::AnnounceNewError(std::int32_t codeBefore) {
    const std::int32_t code = errors_.Code();
    if (code == 0 || code == codeBefore || !WithoutTray()) return;
    desktop_.NotifyError(errors_.TitleLine(), errors_.MessageLine());
}

void ToolSheetController::KeepNoServerNoticeStanding() {
    if (errors_.Code() != kErrorNoServer) {
        if (noServerTold_ || !AllEmpty(cycle_->Settings().channelServers) ||
            !AllEmpty(AccountServerList()) || SettingsUnusable(RootKey::LocalMachine))
            return;
        noServerTold_ = true;
        const std::string where = SettingsLocation(RootKey::LocalMachine);
        std::fputs(NoServerLine(where).c_str(), stderr);
        std::fflush(stderr);
        errors_.ReportError(kErrorNoServer, 0,
                            text::Utf8ToCp932("設定の置き場所: ") + text::Utf8ToCp932(where));
    }
    // A cycle without servers shows the normal icon; the notice stays in view.
    ShowError();
}

void ToolSheetController::ShowError() {
    SetTrayImage(TrayImage::Error);
    SetTrayTip(errors_.Title());
}

void ToolSheetController::OnCommand(int id) {
    if (ended_ || quitPending_) return;
    switch (id) {
        case kCmdTool:
            desktop_.ShowToolSheet();
            break;
        case kCmdHelp:
            desktop_.PostToSheet(message::UM_SHOWHELP, 0, 0);
            break;
        case kCmdAbout:
            RunAbout();
            break;
        case kCmdExit:
            RequestQuit();
            break;
        default:
            // Another id does nothing.
            break;
    }
}

void ToolSheetController::RunAbout() {
    if (aboutRunning_) return;
    const RequestIdentity& id = cycle_->Settings().identity;
    AboutFields fields;
    // Strings 103 and 108, and 113 for a company of its own.
    fields.titleLine = std::string(settings::kTitleDefault) + " 1.0.1";
    fields.deliveryLabel = id.company != "0" ? text::Utf8ToCp932("配信番号：") : std::string();
    fields.groupId = id.groupId;
    fields.clientId = id.clientId;
    fields.deliveryNo = id.deliveryNo;
    aboutRunning_ = true;
    desktop_.RunAboutDialog(fields);
    aboutRunning_ = false;
}

void ToolSheetController::ApplySettings(std::uint32_t pollMinutes, std::int32_t notifyMode) {
    DeliverySettings& s = cycle_->Settings();
    s.pollMinutes = pollMinutes;
    settings::WritePollMinutes(s.pollMinutes);
    desktop_.StopSheetTimer(kPollTimerId);
    desktop_.StartSheetTimer(kPollTimerId, PollIntervalMs(s.pollMinutes));
    popupSetting_ = notifyMode != 1 ? 1 : 0;
    settings::WritePopupMode(popupSetting_);
}

// --- DeliveryUi -------------------------------------------------------------

void ToolSheetController::SetTrayImage(TrayImage image) {
    if (tray_) tray_->SetImage(image);
    // The cycle reports into the error state; the dialog shows it as it changes.
    desktop_.RefreshErrorDialog();
}

void ToolSheetController::SetTrayTip(const std::string& tip) {
    if (tray_) tray_->SetTip(tip);
    desktop_.RefreshErrorDialog();
}

void ToolSheetController::StartPollTimer(std::uint32_t intervalMs) {
    desktop_.StartSheetTimer(kPollTimerId, intervalMs);
}

void ToolSheetController::StopPollTimer() {
    desktop_.StopSheetTimer(kPollTimerId);
}

DeliveryNumberAnswer ToolSheetController::AskDeliveryNumber(const std::string& prompt,
                                                            const std::string& deliveryNo) {
    if (quitPending_) return {};
    askingNumber_ = true;
    DeliveryNumberAnswer answer = desktop_.RunDeliveryNumberDialog(prompt, deliveryNo);
    askingNumber_ = false;
    // What was typed while the program quits is not sent.
    if (quitPending_) return {};
    return answer;
}

void ToolSheetController::PostTrayClick() {
    desktop_.PostToSheet(message::UM_TRAYNOTIFY, kTrayIconId, kWmLButtonDown);
}

// --- The end -----------------------------------------------------------------

void ToolSheetController::RequestQuit() {
    if (ended_) return;
    quitPending_ = true;
    // A second start from now on waits for this copy to go and then runs
    // itself, instead of handing its news request to a copy that ignores it.
    desktop_.StopAnsweringSecondStarts();
    // A running request stops and every further one fails at once.
    transfer_.Quit();
    desktop_.CloseModalWindows();
    // Inside a cycle (waiting for its transfer or its dialog) the end waits
    // until the cycle has unwound; RunCycle then makes it.
    if (cycleDepth_ == 0) FinishQuit();
}

void ToolSheetController::FinishQuit() {
    if (ended_) return;
    ended_ = true;
    quitPending_ = true;
    if (aboutRunning_) desktop_.CloseAboutDialog();
    desktop_.HideErrorDialog();
    if (tray_) tray_->Remove();
    desktop_.StopSheetTimer(kPollTimerId);
    saved_ = desktop_.SaveStoreAtEnd();
    if (!saved_) {
        // What was read since the last save is lost: stderr says why, this where.
        errors_.ReportError(kErrorStoreSave, 0, text::Utf8ToCp932(platform::PathText(dataFile_)));
        desktop_.TellAtTheEnd(errors_.TitleLine(), errors_.MessageLine());
    }
    desktop_.RunEnded();
}

}  // namespace velmora
