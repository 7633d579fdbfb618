#pragma once
// The base of the popup's own windows: one object bound to one window whose
// messages reach the object's WindowProc, and the shape of a skin bitmap.

#include <windows.h>

#include "core/popup/bitmap_region.h"

namespace velmora::win32 {

class CSkinWnd {
  public:
    CSkinWnd() = default;
    virtual ~CSkinWnd() = default;
    CSkinWnd(const CSkinWnd&) = delete;
    CSkinWnd& operator=(const CSkinWnd&) = delete;

    // Registers a window class whose procedure is the default one; a class
    // that exists already is fine.
    static void RegisterWindowClass(const wchar_t* name, HICON icon, HCURSOR cursor);
    // Creates the window and binds it to this object; false when bound already
    // or when the window cannot be made.
    bool Create(const wchar_t* className, const wchar_t* title, DWORD style, DWORD exStyle, int x,
                int y, int width, int height, HWND parent, int controlId);
    void Destroy();

    HWND GetHwnd() const { return hwnd_; }
    int GetControlId() const { return static_cast<int>(GetWindowLongPtrW(hwnd_, GWLP_ID)); }
    // The parent window's object, or null when it has none.
    CSkinWnd* GetParentObject() const;
    void Repaint();
    // The window takes the shape of the image's non-key pixels and its size.
    bool SetBitmapRegion(const PixelImage& image);

    // Messages of the window; the base passes them to the previous procedure.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  protected:
    LRESULT CallPrevProc(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK SkinWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND hwnd_ = nullptr;
    WNDPROC prevProc_ = nullptr;
};

}  // namespace velmora::win32
