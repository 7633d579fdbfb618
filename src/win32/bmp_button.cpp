#include "win32/bmp_button.h"

#include <windowsx.h>

#include "core/popup/popup_geometry.h"

namespace velmora::win32 {
namespace {

constexpr wchar_t kButtonClass[] = L"BmpButton";

void RegisterButtonClass() {
    CSkinWnd::RegisterWindowClass(kButtonClass, nullptr, LoadCursorW(nullptr, IDC_HAND));
}

}  // namespace

bool CBmpButton::CreateImageButton(HWND parent, int controlId, ButtonArt art, int x, int y,
                                   bool transparent, int scalePercent) {
    if (GetHwnd()) return false;
    art_ = art;
    transparent_ = transparent;
    x_ = x;
    y_ = y;
    scale_ = scalePercent;
    LoadImages();
    RegisterButtonClass();
    if (!Create(kButtonClass, L"", WS_CHILD | WS_VISIBLE, 0, Scaled(x, scale_), Scaled(y, scale_),
                normalPixels_.width, normalPixels_.height, parent, controlId))
        return false;
    if (mask_) SetBitmapRegion(normalPixels_);
    return true;
}

bool CBmpButton::CreateHotArea(HWND parent, int controlId, RegionRect inclusive, int scalePercent) {
    if (GetHwnd()) return false;
    hotArea_ = true;
    area_ = inclusive;
    scale_ = scalePercent;
    RegisterButtonClass();
    const RegionRect r =
        Scaled(RegionRect{inclusive.left, inclusive.top, inclusive.right + 1, inclusive.bottom + 1},
               scale_);
    return Create(kButtonClass, L"", WS_CHILD | WS_VISIBLE, 0, r.left, r.top, r.right - r.left,
                  r.bottom - r.top, parent, controlId);
}

void CBmpButton::LoadImages() {
    normalPixels_ = ScaleNearest(LoadArt(art_.normal).View(), scale_);
    mask_.reset();
    if (transparent_ && !normalPixels_.pixels.empty())
        mask_ = KeyMask::FromBitmap(normalPixels_.View());
    auto load = [this](Image& image, int id) {
        image.id = id;
        image.bitmap.Reset(id ? MakeBitmap(ScaleNearest(LoadArt(id).View(), scale_)) : nullptr);
    };
    normal_.id = art_.normal;
    normal_.bitmap.Reset(MakeBitmap(normalPixels_));
    load(pressed_, art_.pressed);
    load(hover_, art_.hover);
    load(disabled_, art_.disabled);
}

void CBmpButton::Rescale(int scalePercent) {
    if (!GetHwnd() || scalePercent == scale_) return;
    scale_ = scalePercent;
    if (hotArea_) {
        const RegionRect r =
            Scaled(RegionRect{area_.left, area_.top, area_.right + 1, area_.bottom + 1}, scale_);
        MoveWindow(GetHwnd(), r.left, r.top, r.right - r.left, r.bottom - r.top, TRUE);
        return;
    }
    LoadImages();
    SetWindowRgn(GetHwnd(), nullptr, FALSE);
    MoveWindow(GetHwnd(), Scaled(x_, scale_), Scaled(y_, scale_), normalPixels_.width,
               normalPixels_.height, TRUE);
    if (mask_) SetBitmapRegion(normalPixels_);
}

void CBmpButton::SetDisabled(bool disabled) {
    pointer_.SetDisabled(disabled);
    if (GetHwnd()) Repaint();
}

int CBmpButton::CurrentImageId() const {
    if (hotArea_) return 0;
    switch (pointer_.Look()) {
        case ButtonLook::Hover:
            return hover_.id;
        case ButtonLook::Disabled:
            return disabled_.id;
        default:
            return normal_.id;
    }
}

HBITMAP CBmpButton::CurrentBitmap() const {
    switch (pointer_.Look()) {
        case ButtonLook::Hover:
            return hover_.bitmap.Get();
        case ButtonLook::Disabled:
            return disabled_.bitmap.Get();
        default:
            return normal_.bitmap.Get();
    }
}

bool CBmpButton::HitTest(int x, int y) const {
    if (mask_) return MaskHit(&*mask_, x, y);
    RECT client{};
    GetClientRect(GetHwnd(), &client);
    return x >= 0 && y >= 0 && x < client.right && y < client.bottom;
}

void CBmpButton::Paint(HDC dc, HBITMAP bitmap) {
    if (hotArea_) {
        // What shows through is the parent's, drawn as if the area were not there.
        RECT mine{};
        GetWindowRect(GetHwnd(), &mine);
        MapWindowPoints(nullptr, GetParent(GetHwnd()), reinterpret_cast<POINT*>(&mine), 2);
        POINT old{};
        SetWindowOrgEx(dc, mine.left, mine.top, &old);
        SendMessageW(GetParent(GetHwnd()), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc),
                     PRF_CLIENT);
        SetWindowOrgEx(dc, old.x, old.y, nullptr);
        return;
    }
    DrawBitmap(dc, bitmap, 0, 0);
}

LRESULT CBmpButton::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_PAINT: {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(GetHwnd(), &ps);
            Paint(dc, CurrentBitmap());
            EndPaint(GetHwnd(), &ps);
            return 0;
        }
        case WM_ERASEBKGND:
            return 1;
        case WM_NCHITTEST:
            return HTCLIENT;
        case WM_MOUSEMOVE:
            if (pointer_.Enter()) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, GetHwnd(), 0};
                TrackMouseEvent(&track);
                if (!hotArea_) Repaint();
            }
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            // Not captured: the release goes to whatever is under the pointer.
            if (pointer_.Press(HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam))) && !hotArea_) {
                HDC dc = GetDC(GetHwnd());
                Paint(dc, pressed_.bitmap.Get());
                ReleaseDC(GetHwnd(), dc);
            }
            return 0;
        case WM_LBUTTONUP:
            if (pointer_.Disabled()) return 0;
            if (pointer_.Release(HitTest(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)))) {
                SendMessageW(GetParent(GetHwnd()), WM_COMMAND,
                             MAKEWPARAM(GetControlId(), BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetHwnd()));
            }
            if (!hotArea_ && GetHwnd()) Repaint();
            return 0;
        case WM_MOUSELEAVE:
            if (pointer_.Leave() && !hotArea_) Repaint();
            return 0;
        default:
            return CallPrevProc(message, wParam, lParam);
    }
}

}  // namespace velmora::win32
