#include "win32/icons.h"

#include <vector>

#include "core/text/wide_text.h"

namespace velmora::win32 {
namespace {

BITMAPINFO TopDown32(int width, int height) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

bool ReadPixels(HBITMAP bitmap, int width, int height, std::vector<std::uint32_t>& pixels) {
    pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    BITMAPINFO info = TopDown32(width, height);
    HDC dc = GetDC(nullptr);
    const int rows =
        GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
    ReleaseDC(nullptr, dc);
    return rows == height;
}

}  // namespace

HICON LoadIconFile(const std::string& path, int width, int height) {
    if (path.empty()) return nullptr;
    const std::wstring wide = text::Cp932ToWide(path);
    return static_cast<HICON>(
        LoadImageW(nullptr, wide.c_str(), IMAGE_ICON, width, height, LR_LOADFROMFILE));
}

HICON LoadIconResource(int id) {
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(id),
                                         IMAGE_ICON, 0, 0, LR_DEFAULTCOLOR));
}

std::optional<IconImage> ImageFromIcon(HICON icon) {
    ICONINFO info{};
    if (!icon || !GetIconInfo(icon, &info)) return std::nullopt;
    std::optional<IconImage> result;
    BITMAP colour{};
    if (info.hbmColor && GetObjectW(info.hbmColor, sizeof colour, &colour) == sizeof colour) {
        const int w = colour.bmWidth;
        const int h = colour.bmHeight;
        std::vector<std::uint32_t> pixels;
        std::vector<std::uint32_t> mask;
        if (w > 0 && h > 0 && ReadPixels(info.hbmColor, w, h, pixels) &&
            ReadPixels(info.hbmMask, w, h, mask)) {
            IconImage image = IconImage::Blank(w, h);
            bool anyAlpha = false;
            for (std::uint32_t p : pixels) anyAlpha = anyAlpha || (p >> 24) != 0;
            for (int y = 0; y < h; ++y) {
                for (int x = 0; x < w; ++x) {
                    const std::size_t i = static_cast<std::size_t>(y) * w + x;
                    // An icon with an alpha channel is transparent where alpha is 0.
                    const bool clear =
                        anyAlpha ? (pixels[i] >> 24) == 0 : (mask[i] & 0xFFFFFF) != 0;
                    image.SetColour(x, y, anyAlpha ? pixels[i] : (pixels[i] | 0xFF000000u));
                    image.SetMask(x, y, clear ? 1 : 0);
                }
            }
            result = std::move(image);
        }
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
    return result;
}

HICON IconFromImage(const IconImage& image) {
    if (!image.Valid()) return nullptr;
    const int w = image.width;
    const int h = image.height;
    BITMAPINFO info = TopDown32(w, h);
    void* bits = nullptr;
    HDC dc = GetDC(nullptr);
    HBITMAP colour = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    ReleaseDC(nullptr, dc);
    if (!colour || !bits) return nullptr;
    auto* out = static_cast<std::uint32_t*>(bits);
    // Monochrome rows are padded to 16 bits.
    const int stride = ((w + 15) / 16) * 2;
    std::vector<std::uint8_t> maskBits(static_cast<std::size_t>(stride) * h, 0);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const bool clear = image.MaskAt(x, y) != 0;
            std::uint32_t c = image.ColourAt(x, y);
            if (clear)
                c &= 0x00FFFFFFu;
            else if ((c >> 24) == 0)
                c |= 0xFF000000u;
            out[static_cast<std::size_t>(y) * w + x] = c;
            if (clear) maskBits[static_cast<std::size_t>(y) * stride + x / 8] |= 0x80 >> (x % 8);
        }
    }
    HBITMAP mask = CreateBitmap(w, h, 1, 1, maskBits.data());
    HICON icon = nullptr;
    if (mask) {
        ICONINFO ii{};
        ii.fIcon = TRUE;
        ii.hbmMask = mask;
        ii.hbmColor = colour;
        icon = CreateIconIndirect(&ii);
        DeleteObject(mask);
    }
    DeleteObject(colour);
    return icon;
}

HICON ComposeOverlay(HICON normal, bool error) {
    const std::optional<IconImage> base = ImageFromIcon(normal);
    if (!base) return nullptr;
    HICON overlayIcon = LoadIconResource(OverlayResourceFor(*base, error));
    const std::optional<IconImage> overlay = ImageFromIcon(overlayIcon);
    if (overlayIcon) DestroyIcon(overlayIcon);
    if (!overlay) return nullptr;
    const std::optional<IconImage> composed = ComposeOverlayIcon(*base, *overlay);
    return composed ? IconFromImage(*composed) : nullptr;
}

}  // namespace velmora::win32
