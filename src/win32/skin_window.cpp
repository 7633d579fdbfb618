#include "win32/skin_window.h"

#include "win32/popup_art.h"

namespace velmora::win32 {

void CSkinWnd::RegisterWindowClass(const wchar_t* name, HICON icon, HCURSOR cursor) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hIcon = icon;
    wc.hCursor = cursor;
    wc.lpszClassName = name;
    RegisterClassW(&wc);
}

bool CSkinWnd::Create(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle,
                      int x, int y, int width, int height, HWND parent, int controlId) {
    if (hwnd_) return false;
    HWND window = CreateWindowExW(exStyle, className, title, style, x, y, width, height, parent,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(controlId)),
                                  GetModuleHandleW(nullptr), nullptr);
    if (!window) return false;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    prevProc_ = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
    SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SkinWndProc));
    hwnd_ = window;
    return true;
}

void CSkinWnd::Destroy() {
    if (hwnd_) DestroyWindow(hwnd_);
}

CSkinWnd* CSkinWnd::GetParentObject() const {
    HWND parent = GetParent(hwnd_);
    if (!parent) return nullptr;
    return reinterpret_cast<CSkinWnd*>(GetWindowLongPtrW(parent, GWLP_USERDATA));
}

void CSkinWnd::Repaint() {
    InvalidateRect(hwnd_, nullptr, FALSE);
    UpdateWindow(hwnd_);
}

bool CSkinWnd::SetBitmapRegion(const PixelImage& image) {
    HRGN region = MakeRegion(CreateBitmapRegion(image.View()));
    if (!region) return false;
    SetWindowPos(hwnd_, nullptr, 0, 0, image.width, image.height,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // From here on the window owns the region.
    SetWindowRgn(hwnd_, region, TRUE);
    return true;
}

LRESULT CSkinWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    return CallPrevProc(message, wParam, lParam);
}

LRESULT CSkinWnd::CallPrevProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!prevProc_) return 0;
    return CallWindowProcW(prevProc_, hwnd_, message, wParam, lParam);
}

LRESULT CALLBACK CSkinWnd::SkinWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CSkinWnd*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        const LRESULT result = self->WindowProc(message, wParam, lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        return result;
    }
    return self->WindowProc(message, wParam, lParam);
}

}  // namespace velmora::win32
