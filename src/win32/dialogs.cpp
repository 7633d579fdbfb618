#include "win32/dialogs.h"

#include <algorithm>
#include <string>

#include "core/delivery/delivery_cycle.h"
#include "core/text/wide_text.h"
#include "win32/icons.h"
#include "win32/res/resource_ids.h"

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

HFONT MakeFont(HWND window, const wchar_t* family) {
    HDC dc = GetDC(window);
    const int height = -MulDiv(9, GetDeviceCaps(dc, LOGPIXELSY), 72);
    ReleaseDC(window, dc);
    return CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET,
                       OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, family);
}

constexpr const wchar_t* kAskedFamily = L"ＭＳ Ｐゴシック";

// The first Japanese UI font of this system; null when the templates' font is there.
HFONT FallbackDialogFont(HWND window) {
    if (HasFamily(kAskedFamily)) return nullptr;
    static const wchar_t* const kFallbacks[] = {L"Yu Gothic UI", L"Meiryo UI", L"MS UI Gothic",
                                                L"IPAPGothic", L"Noto Sans CJK JP"};
    for (const wchar_t* family : kFallbacks) {
        if (HasFamily(family)) return MakeFont(window, family);
    }
    return nullptr;
}

// One font for the life of the program: dialogs come and go, the font stays.
HFONT Fallback(HWND window) {
    static HFONT fallback = FallbackDialogFont(window);
    return fallback;
}

void SetFontOfChildren(HWND window, HFONT font) {
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    for (HWND c = GetWindow(window, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    }
}

void SetText(HWND dialog, int id, const std::string& cp932) {
    SetDlgItemTextW(dialog, id, text::Cp932ToWide(cp932).c_str());
}

std::string GetText(HWND dialog, int id) {
    HWND control = GetDlgItem(dialog, id);
    const int length = GetWindowTextLengthW(control);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    GetWindowTextW(control, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(length));
    return text::WideToCp932(text);
}

}  // namespace

// The template's rectangles are measured for the font it asks for; the font
// a system really has may run wider. A static text grows until its text fits
// (wider for one line, taller for wrapped text), then the dialog until it
// holds its controls.
void FitStaticTexts(HWND dialog) {
    RECT client{};
    GetClientRect(dialog, &client);
    LONG right = client.right;
    LONG bottom = client.bottom;
    for (HWND c = GetWindow(dialog, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[16] = {};
        GetClassNameW(c, cls, 16);
        const int length = GetWindowTextLengthW(c);
        if (lstrcmpiW(cls, L"Static") != 0 || length == 0) continue;
        std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
        GetWindowTextW(c, text.data(), length + 1);
        RECT at{};
        GetWindowRect(c, &at);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&at), 2);
        HDC dc = GetDC(c);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(c, WM_GETFONT, 0, 0)));
        RECT line{0, 0, 0, 0};
        DrawTextW(dc, text.c_str(), -1, &line, DT_CALCRECT | DT_NOPREFIX);
        RECT wrapped{0, 0, at.right - at.left, 0};
        DrawTextW(dc, text.c_str(), -1, &wrapped, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        SelectObject(dc, old);
        ReleaseDC(c, dc);
        LONG width = at.right - at.left;
        LONG height = at.bottom - at.top;
        // A text of one line keeps to one line; more lines take more height.
        if (line.bottom <= height)
            width = std::max(width, line.right);
        else
            height = std::max(height, wrapped.bottom);
        if (width == at.right - at.left && height == at.bottom - at.top) continue;
        SetWindowPos(c, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        right = std::max(right, at.left + width + 4);
        bottom = std::max(bottom, at.top + height + 4);
    }
    if (right == client.right && bottom == client.bottom) return;
    RECT outer{0, 0, right, bottom};
    AdjustWindowRectEx(&outer, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                       static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
    SetWindowPos(dialog, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ApplyDialogFont(HWND dialog) {
    if (HFONT fallback = Fallback(dialog)) SetFontOfChildren(dialog, fallback);
    FitStaticTexts(dialog);
}

void ApplySheetFont(HWND sheet) {
    // The sheet's frame (tab, buttons) is not made from a template of ours.
    static HFONT font = Fallback(sheet) ? Fallback(sheet) : MakeFont(sheet, kAskedFamily);
    if (!font) return;
    for (HWND c = GetWindow(sheet, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
        wchar_t cls[32] = {};
        GetClassNameW(c, cls, 32);
        // The page is a dialog of its own, with its template's font.
        if (lstrcmpW(cls, L"#32770") != 0)
            SendMessageW(c, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
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
    FitStaticTexts(window_);
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
            FitStaticTexts(dialog);
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
                    FitStaticTexts(dialog);
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
            FitStaticTexts(dialog);
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
