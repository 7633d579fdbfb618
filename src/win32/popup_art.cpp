#include "win32/popup_art.h"

#include <algorithm>
#include <cstring>

namespace velmora::win32 {
namespace {

BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

}  // namespace

PixelImage LoadArt(int id) {
    PixelImage image;
    HBITMAP bitmap = static_cast<HBITMAP>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!bitmap) return image;
    BITMAP size{};
    GetObjectW(bitmap, sizeof size, &size);
    image.width = size.bmWidth;
    image.height = size.bmHeight;
    image.pixels.resize(static_cast<std::size_t>(image.width) *
                        static_cast<std::size_t>(image.height));
    BITMAPINFO info = TopDown32(image.width, image.height);
    HDC screen = GetDC(nullptr);
    const int rows = GetDIBits(screen, bitmap, 0, static_cast<UINT>(image.height),
                               image.pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    if (rows != image.height) return {};
    return image;
}

HBITMAP MakeBitmap(const PixelImage& image) {
    if (image.pixels.empty()) return nullptr;
    BITMAPINFO info = TopDown32(image.width, image.height);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap || !bits) return bitmap;
    std::memcpy(bits, image.pixels.data(), image.pixels.size() * sizeof image.pixels[0]);
    return bitmap;
}

HRGN MakeRegion(const std::vector<RegionRect>& rects) {
    std::vector<BYTE> buffer(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    auto* data = reinterpret_cast<RGNDATA*>(buffer.data());
    data->rdh.dwSize = sizeof(RGNDATAHEADER);
    data->rdh.iType = RDH_RECTANGLES;
    data->rdh.nCount = static_cast<DWORD>(rects.size());
    data->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    RECT bounds{0, 0, 0, 0};
    auto* out = reinterpret_cast<RECT*>(data->Buffer);
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const RegionRect& r = rects[i];
        out[i] = RECT{r.left, r.top, r.right, r.bottom};
        if (i == 0) bounds = out[i];
        bounds.left = std::min(bounds.left, static_cast<LONG>(r.left));
        bounds.top = std::min(bounds.top, static_cast<LONG>(r.top));
        bounds.right = std::max(bounds.right, static_cast<LONG>(r.right));
        bounds.bottom = std::max(bounds.bottom, static_cast<LONG>(r.bottom));
    }
    data->rdh.rcBound = bounds;
    return ExtCreateRegion(nullptr, static_cast<DWORD>(buffer.size()), data);
}

bool LoadTemplate(int id, std::string& buffer, std::size_t bufferSize) {
    buffer.clear();
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(23));
    if (!found) return true;
    HGLOBAL loaded = LoadResource(module, found);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    const std::size_t size = bytes ? SizeofResource(module, found) : 0;
    if (size + 1 > bufferSize) return false;
    buffer.assign(static_cast<const char*>(bytes), size);
    return true;
}

void DrawBitmap(HDC dc, HBITMAP bitmap, int x, int y) {
    if (!bitmap) return;
    BITMAP size{};
    GetObjectW(bitmap, sizeof size, &size);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(dc, x, y, size.bmWidth, size.bmHeight, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

}  // namespace velmora::win32
