#pragma once
// The popup's bitmaps and card templates from velmora.exe's resources, and
// the GDI objects made from them at the monitor's scale.

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "core/popup/bitmap_region.h"

namespace velmora::win32 {

// The bitmap resource `id` as 32-bit pixels; empty when there is none.
PixelImage LoadArt(int id);
// A DIB section holding `image`; the caller owns it. Null for an empty image.
HBITMAP MakeBitmap(const PixelImage& image);
// The region of the rectangles, in one ExtCreateRegion call; the caller owns it.
HRGN MakeRegion(const std::vector<RegionRect>& rects);

// Copies RT_HTML resource `id` (CP932) into `buffer`. False, leaving it
// empty, when it needs more than `bufferSize` bytes with its terminator. A
// missing template is empty.
bool LoadTemplate(int id, std::string& buffer, std::size_t bufferSize);

// An owned GDI object, deleted with its owner.
template <typename Handle>
class GdiObject {
  public:
    GdiObject() = default;
    explicit GdiObject(Handle h) : handle_(h) {}
    ~GdiObject() { Reset(); }
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    GdiObject(GdiObject&& o) noexcept : handle_(o.Release()) {}
    GdiObject& operator=(GdiObject&& o) noexcept {
        if (this != &o) Reset(o.Release());
        return *this;
    }
    void Reset(Handle h = nullptr) {
        if (handle_) DeleteObject(handle_);
        handle_ = h;
    }
    Handle Release() {
        Handle h = handle_;
        handle_ = nullptr;
        return h;
    }
    Handle Get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

  private:
    Handle handle_ = nullptr;
};

// Draws `bitmap` (or nothing when null) at (x, y), opaque.
void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y);

}  // namespace velmora::win32
