#pragma once
// The popup's image button: normal, hover, pressed and disabled images at the
// monitor's scale, optionally shaped by the key colour of its normal image,
// or an invisible clickable area. A click is WM_COMMAND to the parent.

#include <optional>

#include "core/popup/bitmap_region.h"
#include "core/popup/button_pointer.h"
#include "win32/popup_art.h"
#include "win32/skin_window.h"

namespace velmora::win32 {

struct ButtonArt {
    int normal = 0;
    int pressed = 0;
    int hover = 0;
    int disabled = 0;  // 0: none
};

class CBmpButton : public CSkinWnd {
  public:
    // At (x, y) of the artwork, in the size of the normal image, all at
    // `scalePercent`; a transparent button takes the shape of that image.
    bool CreateImageButton(HWND parent, int controlId, ButtonArt art, int x, int y,
                           bool transparent, int scalePercent);
    // An invisible area from (left, top) to (right, bottom), both inclusive;
    // the parent draws what shows through it (WM_PRINTCLIENT).
    bool CreateHotArea(HWND parent, int controlId, RegionRect inclusive, int scalePercent);
    // The images, shape and place again at another scale.
    void Rescale(int scalePercent);
    void SetDisabled(bool disabled);

    bool IsDisabled() const { return pointer_.Disabled(); }
    // The bitmap number of the image the released button shows, 0 for none.
    int CurrentImageId() const;
    // Whether a point (button coordinates) hits: on an opaque pixel, or
    // anywhere in the button when it has no mask.
    bool HitTest(int x, int y) const;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    struct Image {
        int id = 0;
        GdiObject<HBITMAP> bitmap;
    };
    void LoadImages();
    HBITMAP CurrentBitmap() const;
    void Paint(HDC dc, HBITMAP bitmap);

    ButtonArt art_;
    bool hotArea_ = false;
    bool transparent_ = false;
    int x_ = 0, y_ = 0;  // in the artwork's pixels
    RegionRect area_;    // a hot area's, inclusive
    int scale_ = 100;
    Image normal_, pressed_, hover_, disabled_;
    PixelImage normalPixels_;
    std::optional<KeyMask> mask_;
    ButtonPointer pointer_;
};

}  // namespace velmora::win32
