#include "win32/dialogs.h"

#include "core/delivery/delivery_cycle.h"
#include "win32/icons.h"
#include "win32/res/resource_ids.h"
#include "win32/wide_text.h"

namespace velmora::win32 {
namespace {

HINSTANCE Instance() {
    return GetModuleHandleW(nullptr);
}

int CALLBACK FoundFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found) {
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool HasFamily(const wchar_t* family) {
    LOGFONTW query{};
    query.lfCharSet = DEFAULT_CHARSET;
    wcsncpy(query.lfFaceName, family, LF_FACESIZE - 1);
    bool found = false;
    HDC dc = GetDC(nullptr);
    EnumFontFamiliesExW(dc, &query, FoundFamily, reinterpret_cast<LPARAM>(&found), 0);
    ReleaseDC(nullptr, dc);
    return found;
}

// The first Japanese UI font of this system; null when the template's font is there.
HFONT FallbackDialogFont(HWND dialog) {
    static const wchar_t* const kAsked = L"ＭＳ Ｐゴシック";
    if (HasFamily(kAsked)) return nullptr;
    static const wchar_t* const kFallbacks[] = {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic",
                                                L"IPAPGothic", L"Noto Sans CJK JP"};
    for (const wchar_t* family : kFallbacks) {
        if (!HasFamily(family)) continue;
        HDC dc = GetDC(dialog);
        const int height = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
        ReleaseDC(dialog, dc);
        return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                           OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                           DEFAULT_PITCH | FF_DONTCARE, family);
    }
    return nullptr;
}

void SetText(HWND dialog, int id, const std::string& cp932) {
    SetDlgItemTextW(dialog, id, WideFromCp932(cp932).c_str());
}

std::string GetText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return Cp932FromWide(text);
}

}  // namespace

void ApplyDialogFont(HWND dialog) {
    // One font for the life of the program: dialogs come and go, the font stays.
    static HFONT fallback = FallbackDialogFont(dialog);
    if (!fallback) return;
    SendMessageW(dialog, WM_SETFONT, reinterpret_cast<WPARAM>(fallback), FALSE);
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(fallback), FALSE);
    }
}

void CentreOnWorkArea(HWND window) {
    MONITORINFO info{};
    info.cbSize = sizeof info;
    GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &info);
    RECT r{};
    GetWindowRect(window, &r);
    const RECT& area = info.rcWork;
    const int x = area.left + ((area.right - area.left) - (r.right - r.left)) / 2;
    const int y = area.top + ((area.bottom - area.top) - (r.bottom - r.top)) / 2;
    SetWindowPos(window, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// --- Error dialog ------------------------------------------------------------

ErrorDialog::ErrorDialog(HWND sheet, Actions actions) : actions_(std::move(actions)) {
    window_ = CreateDialogParamW(Instance(), MAKEINTRESOURCEW(IDD_ERROR), sheet, Proc,
                                 reinterpret_cast<LPARAM>(this));
}

ErrorDialog::~ErrorDialog() {
    if (window_) DestroyWindow(window_);
}

void ErrorDialog::SetLines(const std::string& title, const std::string& message) {
    if (!window_) return;
    SetText(window_, IDC_ERROR_TITLE, title);
    SetText(window_, IDC_ERROR_MESSAGE, message);
}

void ErrorDialog::Show() {
    if (!window_) return;
    if (!IsWindowVisible(window_)) CentreOnWorkArea(window_);
    ShowWindow(window_, SW_SHOW);
    SetForegroundWindow(window_);
}

void ErrorDialog::Hide() {
    if (window_) ShowWindow(window_, SW_HIDE);
}

INT_PTR CALLBACK ErrorDialog::Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<ErrorDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            ApplyDialogFont(dialog);
            return TRUE;
        case WM_COMMAND:
            if (!self) break;
            if (LOWORD(wParam) == IDC_TROUBLESHOOT) {
                if (self->actions_.troubleshoot) self->actions_.troubleshoot();
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                // The sheet clears the error before the dialog goes.
                if (self->actions_.closed) self->actions_.closed();
                ShowWindow(dialog, SW_HIDE);
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

// --- Delivery number dialog --------------------------------------------------

namespace {

struct DeliveryNumberRun {
    std::string prompt;
    DeliveryNumberAnswer answer;
    HWND* open = nullptr;
};

INT_PTR CALLBACK DeliveryNumberProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<DeliveryNumberRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG:
            run = reinterpret_cast<DeliveryNumberRun*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            if (run->open) *run->open = dialog;
            ApplyDialogFont(dialog);
            SetText(dialog, IDC_PROMPT, run->prompt);
            SetText(dialog, IDC_NUMBER, run->answer.deliveryNo);
            SetText(dialog, IDC_PASSWORD, std::string());
            CentreOnWorkArea(dialog);
            SetForegroundWindow(dialog);
            return TRUE;
        case WM_COMMAND:
            if (!run) break;
            if (LOWORD(wParam) == IDOK) {
                run->answer.deliveryNo = GetText(dialog, IDC_NUMBER);
                run->answer.deliveryPassword = GetText(dialog, IDC_PASSWORD);
                if (!run->answer.deliveryNo.empty() && !run->answer.deliveryPassword.empty()) {
                    run->answer.accepted = true;
                    EndDialog(dialog, IDOK);
                } else {
                    SetText(dialog, IDC_PROMPT, WrongDeliveryNumberPrompt());
                }
                return TRUE;
            }
            if (LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, IDCANCEL);
                return TRUE;
            }
            break;
        case WM_DESTROY:
            if (run && run->open) *run->open = nullptr;
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

DeliveryNumberAnswer RunDeliveryNumberDialog(HWND parent, const std::string& prompt,
                                             const std::string& deliveryNo, HWND* open) {
    DeliveryNumberRun run;
    run.prompt = prompt;
    run.answer.deliveryNo = deliveryNo;
    run.open = open;
    const INT_PTR result = DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_DELIVERY_NO), parent,
                                           DeliveryNumberProc, reinterpret_cast<LPARAM>(&run));
    if (result != IDOK) {
        return DeliveryNumberAnswer{false, run.answer.deliveryNo, {}};
    }
    return run.answer;
}

// --- About dialog ------------------------------------------------------------

namespace {

struct AboutRun {
    const AboutFields* fields = nullptr;
    const std::string* iconPath = nullptr;
    HWND* open = nullptr;
};

void PaintAboutIcon(HWND dialog, const AboutRun& run) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);
    RECT anchor{};
    GetWindowRect(GetDlgItem(dialog, IDC_ICON_ANCHOR), &anchor);
    POINT at{anchor.left, anchor.top};
    ScreenToClient(dialog, &at);
    // Read from the file at every paint, as the setting may name a new icon.
    HICON icon = LoadIconFile(*run.iconPath, 32, 32);
    if (!icon) icon = LoadIconResource(IDI_NORMAL);
    if (icon) {
        DrawIconEx(dc, at.x, at.y, icon, 0, 0, 0, nullptr, DI_NORMAL);
        DestroyIcon(icon);
    }
    EndPaint(dialog, &paint);
}

INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* run = reinterpret_cast<AboutRun*>(GetWindowLongPtrW(dialog, DWLP_USER));
    switch (message) {
        case WM_INITDIALOG: {
            run = reinterpret_cast<AboutRun*>(lParam);
            SetWindowLongPtrW(dialog, DWLP_USER, lParam);
            if (run->open) *run->open = dialog;
            ApplyDialogFont(dialog);
            const AboutFields& f = *run->fields;
            SetText(dialog, IDC_TITLE_LINE, f.titleLine);
            SetText(dialog, IDC_GROUP_ID, f.groupId);
            SetText(dialog, IDC_CLIENT_ID, f.clientId);
            SetText(dialog, IDC_DELIVERY_LABEL, f.deliveryLabel);
            SetText(dialog, IDC_DELIVERY_NO, f.deliveryNo);
            CentreOnWorkArea(dialog);
            return TRUE;
        }
        case WM_PAINT:
            if (!run) break;
            PaintAboutIcon(dialog, *run);
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                EndDialog(dialog, LOWORD(wParam));
                return TRUE;
            }
            break;
        case WM_DESTROY:
            if (run && run->open) *run->open = nullptr;
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

void RunAboutDialog(HWND parent, const AboutFields& fields, const std::string& normalIconPath,
                    HWND* open) {
    AboutRun run{&fields, &normalIconPath, open};
    DialogBoxParamW(Instance(), MAKEINTRESOURCEW(IDD_ABOUT), parent, AboutProc,
                    reinterpret_cast<LPARAM>(&run));
}

}  // namespace velmora::win32
