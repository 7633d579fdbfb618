#pragma once
// The dialogs from their resource templates: the modeless error dialog, the
// modal delivery number and About dialogs, and the dialog font.

#include <windows.h>

#include <functional>
#include <string>

#include "core/delivery/delivery_ui.h"
#include "core/shell/sheet_desktop.h"

namespace velmora::win32 {

// "ＭＳ Ｐゴシック" 9 pt where it is installed; otherwise the system's
// Japanese UI font at the same size, given to the dialog and its controls.
void ApplyDialogFont(HWND dialog);

// The same font for the tool sheet's tab and buttons.
void ApplySheetFont(HWND sheet);

// Grows each static text of `dialog` until its text fits in the font it got,
// then the dialog until it holds them. Run after every change of a text.
void FitStaticTexts(HWND dialog);

// Centres a window on the work area of the monitor it is on.
void CentreOnWorkArea(HWND window);

// Modeless, hidden until shown; lives as long as the sheet.
class ErrorDialog {
  public:
    struct Actions {
        std::function<void()> closed;        // sends UM_ERRORCLOSED to the sheet
        std::function<void()> troubleshoot;  // opens the troubleshooting page
    };
    ErrorDialog(HWND sheet, Actions actions);
    ~ErrorDialog();
    ErrorDialog(const ErrorDialog&) = delete;
    ErrorDialog& operator=(const ErrorDialog&) = delete;

    HWND Window() const { return window_; }
    // The two lines, CP932.
    void SetLines(const std::string& title, const std::string& message);
    void Show();
    void Hide();

  private:
    static INT_PTR CALLBACK Proc(HWND, UINT, WPARAM, LPARAM);
    HWND window_ = nullptr;
    Actions actions_;
};

// Runs the delivery number dialog modally over `parent`; `open` holds its
// window while it runs (so that the end can close it).
DeliveryNumberAnswer RunDeliveryNumberDialog(HWND parent, const std::string& prompt,
                                             const std::string& deliveryNo, HWND* open);

// Runs the About dialog modally over `parent`; the icon is drawn from
// `normalIconPath` (CP932) at every paint, or icon resource 128.
void RunAboutDialog(HWND parent, const AboutFields& fields, const std::string& normalIconPath,
                    HWND* open);

}  // namespace velmora::win32
