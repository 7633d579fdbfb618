#pragma once
// A card's picture decoded with WIC into a DIB section, laid on white so that
// it draws opaque in the card.

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>

#include "core/popup/card_pictures.h"
#include "win32/popup_art.h"

namespace velmora::win32 {

class DibPicture final : public CardPicture {
  public:
    DibPicture(HBITMAP bitmap, int width, int height)
        : bitmap_(bitmap), width_(width), height_(height) {}
    int Width() const override { return width_; }
    int Height() const override { return height_; }
    HBITMAP Bitmap() const { return bitmap_.Get(); }

  private:
    GdiObject<HBITMAP> bitmap_;
    int width_;
    int height_;
};

// Any format WIC reads (PNG, JPEG, GIF, BMP); the first frame. Null, with
// `why`, for bytes it cannot read. Callable from any thread.
std::shared_ptr<const CardPicture> DecodeCardPicture(std::string_view bytes, std::string& why);

}  // namespace velmora::win32
