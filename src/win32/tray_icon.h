#pragma once
// The tray icon through the shell's notification-icon service: id 128,
// callback message 1034, the four images and the tooltip. The blink timer
// (id 1) runs on the sheet's window; its ticks come back to OnBlinkTick.

#include <windows.h>

#include <shellapi.h>

#include <cstdint>
#include <string>

#include "core/shell/tray_port.h"

namespace velmora::win32 {

class TrayIcon final : public TrayPort {
  public:
    // The shell's call; tests record what would reach the shell.
    using NotifyCall = BOOL(WINAPI*)(DWORD, PNOTIFYICONDATAW);

    // `normal` and `blink` stay owned by the caller; the overlays are made here.
    TrayIcon(HWND sheet, HICON normal, HICON blink, NotifyCall notify = Shell_NotifyIconW);
    ~TrayIcon() override;
    TrayIcon(const TrayIcon&) = delete;
    TrayIcon& operator=(const TrayIcon&) = delete;

    bool Add() override;
    void Remove() override;
    void SetImage(TrayImage image) override;
    void SetTip(const std::string& cp932) override;
    void StartBlinking() override;
    void StopBlinking() override;
    bool WithoutTray() const override { return !shown_; }

    void OnBlinkTick();
    // "TaskbarCreated": the shell lost every icon; ours comes back, unless removed.
    void OnTaskbarCreated();

  private:
    HICON IconFor(TrayImage image) const;
    bool Notify(DWORD action, UINT flags);

    HWND sheet_;
    NotifyCall notify_;
    HICON normal_;
    HICON blink_;
    HICON error_ = nullptr;
    HICON communicating_ = nullptr;
    HICON shownIcon_ = nullptr;
    std::wstring tip_;
    std::int32_t blinkPhase_ = 1;
    bool shown_ = false;
    bool removed_ = false;
};

}  // namespace velmora::win32
