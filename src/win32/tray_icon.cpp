#include "win32/tray_icon.h"

#include <cwchar>

#include "core/shell/sheet_messages.h"
#include "core/text/wide_text.h"
#include "core/tray/tray_state.h"
#include "win32/icons.h"

namespace velmora::win32 {

TrayIcon::TrayIcon(HWND sheet, HICON normal, HICON blink, NotifyCall notify)
    : sheet_(sheet), notify_(notify), normal_(normal), blink_(blink) {
    error_ = ComposeOverlay(normal_, true);
    communicating_ = ComposeOverlay(normal_, false);
}

TrayIcon::~TrayIcon() {
    if (shown_) Notify(NIM_DELETE, 0);
    if (error_) DestroyIcon(error_);
    if (communicating_) DestroyIcon(communicating_);
}

bool TrayIcon::Notify(DWORD action, UINT flags) {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = sheet_;
    data.uID = kTrayIconId;
    data.uFlags = flags;
    data.uCallbackMessage = message::UM_TRAYNOTIFY;
    data.hIcon = shownIcon_;
    wcsncpy(data.szTip, tip_.c_str(), sizeof data.szTip / sizeof data.szTip[0] - 1);
    return notify_(action, &data) != FALSE;
}

bool TrayIcon::Add() {
    if (removed_) return false;
    SetForegroundWindow(sheet_);
    shownIcon_ = normal_;
    tip_ = L"ヴェルモラ";  // string 109
    shown_ = Notify(NIM_ADD, NIF_MESSAGE | NIF_ICON | NIF_TIP);
    return shown_;
}

void TrayIcon::Remove() {
    StopBlinking();
    if (shown_) Notify(NIM_DELETE, 0);
    shown_ = false;
    removed_ = true;
}

HICON TrayIcon::IconFor(TrayImage image) const {
    switch (image) {
        case TrayImage::Normal:
            return normal_;
        case TrayImage::Blink:
            return blink_;
        case TrayImage::Error:
            return error_;
        case TrayImage::Communicating:
            return communicating_;
    }
    return normal_;
}

void TrayIcon::SetImage(TrayImage image) {
    // An overlay that could not be composed leaves the normal image.
    HICON icon = IconFor(image);
    shownIcon_ = icon ? icon : normal_;
    if (shown_) Notify(NIM_MODIFY, NIF_ICON);
}

void TrayIcon::SetTip(const std::string& cp932) {
    tip_ = text::Cp932ToWide(TrayTipText(cp932));
    if (shown_) Notify(NIM_MODIFY, NIF_TIP);
}

void TrayIcon::StartBlinking() {
    SetTimer(sheet_, kBlinkTimerId, 500, nullptr);
}

void TrayIcon::StopBlinking() {
    KillTimer(sheet_, kBlinkTimerId);
}

void TrayIcon::OnBlinkTick() {
    SetImage(BlinkStep(blinkPhase_));
}

void TrayIcon::OnTaskbarCreated() {
    if (removed_) return;
    shown_ = false;
    Add();
}

}  // namespace velmora::win32
