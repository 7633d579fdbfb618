#include "win32/tool_sheet.h"

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>

#include <cstdio>

#include "core/feed/item_store.h"
#include "core/settings/typed_settings.h"
#include "core/shell/interval_entry.h"
#include "core/shell/sheet_messages.h"
#include "core/text/cp932.h"
#include "core/text/wide_text.h"
#include "win32/browser_launcher.h"
#include "win32/console.h"
#include "win32/res/resource_ids.h"

namespace velmora::win32 {
namespace {

constexpr UINT_PTR kSubclassId = 1;
constexpr int kSaveTimerId = 3;

// The sheet being made: the property sheet's callback has no user data.
CToolSheet* g_creating = nullptr;

std::uint64_t NowMs() {
    return GetTickCount64();
}

bool IsKeyboardInput(UINT message) {
    return message == WM_KEYDOWN || (message >= WM_CHAR && message <= WM_SYSDEADCHAR);
}

}  // namespace

CToolSheet::CToolSheet(SheetStartup startup, Transfer& network, const Clock& clock)
    : startup_(std::move(startup)),
      waiter_([this](MSG& msg) { return PreTranslate(msg); }),
      threaded_(network, waiter_) {
    controller_ = std::make_unique<ToolSheetController>(*this, threaded_, clock, startup_.colors);
}

CToolSheet::~CToolSheet() {
    popup_.reset();
    errorDlg_.reset();
    tray_.reset();
    if (window_) {
        RemoveWindowSubclass(window_, SubclassProc, kSubclassId);
        DestroyWindow(window_);
    }
}

int CALLBACK CToolSheet::SheetCallback(HWND window, UINT message, LPARAM lParam) {
    if (message == PSCB_PRECREATE && lParam) {
        // Made hidden: the sheet shows itself only for ツール.
        auto* tmpl = reinterpret_cast<DLGTEMPLATE*>(lParam);
        const bool extended = reinterpret_cast<const WORD*>(tmpl)[1] == 0xFFFF;
        if (extended) {
            DWORD* style = reinterpret_cast<DWORD*>(reinterpret_cast<BYTE*>(tmpl) + 12);
            *style &= ~static_cast<DWORD>(WS_VISIBLE);
        } else {
            tmpl->style &= ~static_cast<DWORD>(WS_VISIBLE);
        }
    } else if (message == PSCB_INITIALIZED && g_creating) {
        g_creating->window_ = window;
        SetWindowSubclass(window, SubclassProc, kSubclassId,
                          reinterpret_cast<DWORD_PTR>(g_creating));
    }
    return 0;
}

bool CToolSheet::Create() {
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_DEFAULT;
    page.hInstance = GetModuleHandleW(nullptr);
    page.pszTemplate = MAKEINTRESOURCEW(IDD_OPTION_PAGE);
    page.pfnDlgProc = PageProc;
    page.lParam = reinterpret_cast<LPARAM>(this);

    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_MODELESS | PSH_NOAPPLYNOW | PSH_PROPSHEETPAGE | PSH_USECALLBACK;
    header.hInstance = GetModuleHandleW(nullptr);
    header.pszCaption = L"ツール";  // string 102
    header.nPages = 1;
    header.ppsp = &page;
    header.pfnCallback = SheetCallback;

    g_creating = this;
    const INT_PTR made = PropertySheetW(&header);
    g_creating = nullptr;
    if (made <= 0 || !window_) {
        std::fprintf(stderr, "velmora: cannot create the tool sheet window (error %lu)\n",
                     GetLastError());
        return false;
    }
    page_ = PropSheet_GetCurrentPageHwnd(window_);
    ApplySheetFont(window_);
    SetDlgItemTextW(window_, IDCANCEL, L"キャンセル");
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");

    // Off a screen of up to 1000 pixels, behind the topmost windows, then hidden.
    SetWindowPos(window_, HWND_NOTOPMOST, 1000, 1000, 0, 0, SWP_NOSIZE | SWP_NOACTIVATE);
    PostMessageW(window_, WM_SYSCOMMAND, SC_MINIMIZE, 1);
    SetPropW(window_, startup_.instanceName.c_str(), reinterpret_cast<HANDLE>(1));

    tray_ = std::make_unique<TrayIcon>(window_, startup_.normalIcon, startup_.blinkIcon);
    ErrorDialog::Actions actions;
    actions.closed = [this] { SendMessageW(window_, message::UM_ERRORCLOSED, 0, 0); };
    actions.troubleshoot = [this] { OpenAddress(settings::ReadPageUrl(settings::Page::Trouble)); };
    errorDlg_ = std::make_unique<ErrorDialog>(window_, std::move(actions));

    popup_ = std::make_unique<CNewsPopup>([this](const std::string& address, AddressOrigin origin) {
        OpenInBrowser(window_, address, origin);
    });
    if (popup_->CreatePopup()) {
        popup_->ShowTab();
    } else {
        // Without the popup, news blinks the tray icon.
        popup_.reset();
    }

    controller_->Start(tray_.get(), popup_.get(), startup_.dataFile);
    schedule_.Loaded(ItemStoreDigest(controller_->Feed()));
    SetWindowTextW(window_, text::Cp932ToWide(controller_->Title()).c_str());
    WritePage();
    return true;
}

int CToolSheet::Run() {
    const int code = RunMessageLoop([this](MSG& msg) { return PreTranslate(msg); });
    // The end of the session or a broken loop still saves.
    if (!controller_->Ended()) controller_->RequestQuit();
    if (code != 0) return code;
    return controller_->Saved() ? 0 : 1;
}

bool CToolSheet::PreTranslate(MSG& msg) {
    // While hidden, key presses never reach the sheet; key releases pass.
    if (window_ && (msg.hwnd == window_ || IsChild(window_, msg.hwnd)) &&
        !IsWindowVisible(window_) && IsKeyboardInput(msg.message)) {
        return true;
    }
    if (errorDlg_ && errorDlg_->Window() && IsDialogMessageW(errorDlg_->Window(), &msg)) {
        return true;
    }
    if (window_ && PropSheet_IsDialogMessage(window_, &msg)) return true;
    return false;
}

LRESULT CALLBACK CToolSheet::SubclassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR data) {
    auto* self = reinterpret_cast<CToolSheet*>(data);
    bool handled = false;
    const LRESULT result = self->WindowProc(message, wParam, lParam, handled);
    if (handled) return result;
    return DefSubclassProc(window, message, wParam, lParam);
}

LRESULT CToolSheet::WindowProc(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
    handled = true;
    if (taskbarCreated_ != 0 && message == taskbarCreated_) {
        if (tray_) tray_->OnTaskbarCreated();
        return 0;
    }
    if (message >= WM_USER && message < WM_USER + 0x100 &&
        controller_->HandleMessage(static_cast<int>(message), static_cast<int>(wParam),
                                   static_cast<int>(lParam))) {
        return 1;
    }
    switch (message) {
        case WM_TIMER:
            if (wParam == static_cast<WPARAM>(kBlinkTimerId)) {
                if (tray_) tray_->OnBlinkTick();
            } else if (wParam == static_cast<WPARAM>(kSaveTimerId)) {
                OnSaveTimer();
            } else {
                controller_->OnTimer(static_cast<int>(wParam));
            }
            handled = false;
            return 0;
        case WM_SYSCOMMAND: {
            const WPARAM command = wParam & 0xFFF0;
            if (command == SC_MINIMIZE || command == SC_CLOSE) {
                if (lParam != 0) ShowWindow(window_, SW_HIDE);
                return 1;
            }
            break;
        }
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK) {
                OnOk();
                return 0;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                ShowWindow(window_, SW_HIDE);
                return 0;
            }
            if (HIWORD(wParam) == 0 && lParam == 0) {
                switch (LOWORD(wParam)) {
                    case kCmdTool:
                    case kCmdHelp:
                    case kCmdAbout:
                    case kCmdExit:
                        controller_->OnCommand(LOWORD(wParam));
                        return 0;
                    default:
                        break;
                }
            }
            break;
        case WM_CLOSE:
            ShowWindow(window_, SW_HIDE);
            return 0;
        case WM_QUERYENDSESSION:
            return TRUE;
        case WM_ENDSESSION:
            // The session ends: the store is saved like 終了 before the process goes.
            if (wParam && !controller_->Ended()) controller_->RequestQuit();
            return 0;
        default:
            break;
    }
    handled = false;
    return 0;
}

INT_PTR CALLBACK CToolSheet::PageProc(HWND page, UINT message, WPARAM, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG: {
            const auto* header = reinterpret_cast<const PROPSHEETPAGEW*>(lParam);
            SetWindowLongPtrW(page, DWLP_USER, header->lParam);
            ApplyDialogFont(page);
            SendDlgItemMessageW(page, IDC_INTERVAL_SPIN, UDM_SETRANGE32, kMinInterval,
                                kMaxInterval);
            return TRUE;
        }
        case WM_NOTIFY: {
            const auto* note = reinterpret_cast<const NMHDR*>(lParam);
            if (note->code == PSN_KILLACTIVE || note->code == PSN_APPLY) {
                // OK is decided by the sheet before the page hears of it.
                SetWindowLongPtrW(page, DWLP_MSGRESULT, FALSE);
                return TRUE;
            }
            break;
        }
        default:
            break;
    }
    return FALSE;
}

void CToolSheet::WritePage() {
    if (!page_) return;
    const std::uint32_t minutes = controller_->Settings().pollMinutes;
    SetDlgItemTextW(page_, IDC_INTERVAL, std::to_wstring(minutes).c_str());
    SendDlgItemMessageW(page_, IDC_INTERVAL_SPIN, UDM_SETPOS32, 0, minutes & 0xFFFF);
    const bool popup = controller_->PopupSetting() != 0;
    CheckRadioButton(page_, IDC_POPUP_RADIO, IDC_BLINK_RADIO,
                     popup ? IDC_POPUP_RADIO : IDC_BLINK_RADIO);
}

void CToolSheet::OnOk() {
    wchar_t typed[16] = {};
    GetDlgItemTextW(page_, IDC_INTERVAL, typed, 16);
    const IntervalEntry entry = CheckIntervalText(text::WideToCp932(typed));
    if (!entry.minutes) {
        wchar_t title[256] = {};
        GetWindowTextW(window_, title, 256);
        MessageBoxW(window_, text::Cp932ToWide(entry.message).c_str(), title,
                    MB_OK | MB_ICONWARNING);
        HWND edit = GetDlgItem(page_, IDC_INTERVAL);
        SetFocus(edit);
        SendMessageW(edit, EM_SETSEL, 0, -1);
        return;
    }
    const int notifyMode = IsDlgButtonChecked(page_, IDC_BLINK_RADIO) == BST_CHECKED ? 1 : 0;
    controller_->ApplySettings(*entry.minutes, notifyMode);
    ShowWindow(window_, SW_HIDE);
}

// --- SheetDesktop -------------------------------------------------------------

void CToolSheet::PostToSheet(int message, int wParam, int lParam) {
    PostMessageW(window_, static_cast<UINT>(message), static_cast<WPARAM>(wParam),
                 static_cast<LPARAM>(lParam));
}

void CToolSheet::StartSheetTimer(int id, std::uint32_t intervalMs) {
    // The system holds at most about 24.8 days.
    const UINT ms = intervalMs > USER_TIMER_MAXIMUM ? USER_TIMER_MAXIMUM : intervalMs;
    SetTimer(window_, static_cast<UINT_PTR>(id), ms < USER_TIMER_MINIMUM ? USER_TIMER_MINIMUM : ms,
             nullptr);
}

void CToolSheet::StopSheetTimer(int id) {
    KillTimer(window_, static_cast<UINT_PTR>(id));
}

void CToolSheet::RefreshErrorDialog() {
    if (errorDlg_) {
        errorDlg_->SetLines(controller_->Errors().TitleLine(), controller_->Errors().MessageLine());
    }
}

void CToolSheet::ShowErrorDialog() {
    RefreshErrorDialog();
    if (errorDlg_) errorDlg_->Show();
}

void CToolSheet::HideErrorDialog() {
    if (errorDlg_) errorDlg_->Hide();
}

void CToolSheet::NotifyError(const std::string&, const std::string&) {
    // Without a notification area the dialog itself tells it.
    ShowErrorDialog();
}

void CToolSheet::ShowToolSheet() {
    // Values edited and abandoned with Cancel give way to those in force.
    WritePage();
    ShowWindow(window_, SW_SHOW);
    CentreOnWorkArea(window_);
    SetForegroundWindow(window_);
}

void CToolSheet::ShowTrayMenu() {
    POINT at{};
    GetCursorPos(&at);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_TRAY));
    if (!menu) return;
    // The sheet in front, so that the menu closes when the user clicks elsewhere.
    SetForegroundWindow(window_);
    TrackPopupMenu(GetSubMenu(menu, 0), TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y,
                   0, window_, nullptr);
    PostMessageW(window_, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

void CToolSheet::RunAboutDialog(const AboutFields& fields) {
    win32::RunAboutDialog(window_, fields, startup_.normalIconPath, &aboutDlg_);
}

void CToolSheet::CloseAboutDialog() {
    if (aboutDlg_) EndDialog(aboutDlg_, IDCANCEL);
}

DeliveryNumberAnswer CToolSheet::RunDeliveryNumberDialog(const std::string& prompt,
                                                         const std::string& deliveryNo) {
    return win32::RunDeliveryNumberDialog(window_, prompt, deliveryNo, &deliveryDlg_);
}

void CToolSheet::RaiseDeliveryNumberDialog() {
    if (deliveryDlg_) SetForegroundWindow(deliveryDlg_);
}

void CToolSheet::CloseModalWindows() {
    EndMenu();
    if (deliveryDlg_) EndDialog(deliveryDlg_, IDCANCEL);
    if (aboutDlg_) EndDialog(aboutDlg_, IDCANCEL);
    ShowWindow(window_, SW_HIDE);
}

void CToolSheet::OpenAddress(const std::string& address) {
    OpenInBrowser(window_, address, AddressOrigin::Settings);
}

void CToolSheet::FeedMayHaveChanged() {
    const std::optional<std::uint64_t> wait =
        schedule_.WaitBeforeWrite(ItemStoreDigest(controller_->Feed()), NowMs());
    if (!wait) return;
    if (*wait == 0) {
        KillTimer(window_, kSaveTimerId);
        SaveStore();
    } else {
        SetTimer(window_, kSaveTimerId, static_cast<UINT>(*wait), nullptr);
    }
}

void CToolSheet::OnSaveTimer() {
    KillTimer(window_, kSaveTimerId);
    // A cycle that runs ends with a change of its own.
    if (controller_->Busy()) return;
    FeedMayHaveChanged();
}

bool CToolSheet::SaveStore() {
    const std::uint64_t digest = ItemStoreDigest(controller_->Feed());
    StoreError error;
    const bool ok = SaveItemStore(startup_.dataFile, controller_->Feed(), &error);
    if (ok) {
        schedule_.Saved(digest, NowMs());
    } else {
        schedule_.Failed(NowMs());
        std::fprintf(stderr, "velmora: cannot save the news to %s: %s\n",
                     text::WideToUtf8(startup_.dataFile.wstring()).c_str(), error.reason.c_str());
    }
    controller_->OnStoreSaved(ok, error.number);
    return ok;
}

void CToolSheet::CycleFinished(CycleResult result) {
    if (startup_.cycleFinished) startup_.cycleFinished(result, controller_->Feed().Count());
}

void CToolSheet::StopAnsweringSecondStarts() {
    RemovePropW(window_, startup_.instanceName.c_str());
}

bool CToolSheet::SaveStoreAtEnd() {
    KillTimer(window_, kSaveTimerId);
    // Nothing changed since the last write and the file is still there.
    if (!schedule_.WriteNeeded(ItemStoreDigest(controller_->Feed()),
                               ItemStoreGone(startup_.dataFile)))
        return true;
    return SaveStore();
}

void CToolSheet::TellAtTheEnd(const std::string& title, const std::string& message) {
    TellWithoutConsole(text::Cp932ToUtf8(title), text::Cp932ToUtf8(message));
}

void CToolSheet::RunEnded() {
    ended_ = true;
    if (startup_.ended) startup_.ended();
    PostQuitMessage(0);
}

}  // namespace velmora::win32
