#include "win32/card_painter.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "core/popup/card_escaping.h"
#include "core/popup/card_layout.h"
#include "core/popup/popup_geometry.h"
#include "core/text/wide_text.h"
#include "win32/card_picture.h"
#include "win32/popup_art.h"

namespace velmora::win32 {
namespace {

COLORREF Color(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

HFONT CardFont(int pixels, bool bold) {
    return CreateFontW(-pixels, 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE, FALSE,
                       SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, CLEARTYPE_QUALITY,
                       VARIABLE_PITCH | FF_SWISS, L"MS UI Gothic");
}

// Draws the lines of `text` that fit whole in `box`; gives the y below them.
int DrawWholeLines(HDC dc, const std::wstring& text, HFONT font, COLORREF color, RECT box) {
    if (text.empty() || box.top >= box.bottom) return box.top;
    HGDIOBJ old = SelectObject(dc, font);
    SetTextColor(dc, color);
    const UINT format = DT_WORDBREAK | DT_EDITCONTROL | DT_NOPREFIX | DT_LEFT | DT_TOP;
    RECT measure = box;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure, format | DT_CALCRECT);
    // Whole lines only: the edit control's rule drops a last line cut through.
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    const int lineHeight = metrics.tmHeight > 0 ? metrics.tmHeight : 1;
    const int lines = std::min<int>((measure.bottom - measure.top) / lineHeight,
                                    (box.bottom - box.top) / lineHeight);
    RECT shown = box;
    shown.bottom = box.top + lines * lineHeight;
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &shown, format);
    SelectObject(dc, old);
    return shown.bottom;
}

// The picture at the size the page would give it, centred at the top of the
// picture box (the text below keeps its place); the placeholder fills the box.
void DrawPicture(HDC dc, const DibPicture* picture, HBITMAP placeholder, int boxLeft, int top,
                 int s) {
    HBITMAP bitmap = placeholder;
    PictureSize size{kPictureWidth, kPictureHeight};
    if (picture) {
        const PictureSize fitted = FitCardPicture(picture->Width(), picture->Height());
        if (fitted.width > 0 && fitted.height > 0) {
            bitmap = picture->Bitmap();
            size = fitted;
        }
    }
    if (!bitmap) return;
    BITMAP source{};
    GetObjectW(bitmap, sizeof source, &source);
    HDC memory = CreateCompatibleDC(dc);
    HGDIOBJ old = SelectObject(memory, bitmap);
    SetStretchBltMode(dc, bitmap == placeholder ? COLORONCOLOR : HALFTONE);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchBlt(dc, boxLeft + Scaled((kPictureWidth - size.width) / 2, s), top,
               Scaled(size.width, s), Scaled(size.height, s), memory, 0, 0, source.bmWidth,
               source.bmHeight, SRCCOPY);
    SelectObject(memory, old);
    DeleteDC(memory);
}

void PaintCard(HDC dc, const CardRecord& card, POINT origin, int left, HBITMAP placeholder,
               const DibPicture* picture, HFONT title, HFONT body, int s) {
    const int x0 = origin.x + Scaled(left, s);
    const int y0 = origin.y + Scaled(kCardTop, s);
    HPEN pen = CreatePen(PS_SOLID, 1, Color(kCardBorderRgb));
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, x0, y0, x0 + Scaled(kCardWidth, s), y0 + Scaled(kCardHeight, s));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    const int y = y0 + Scaled(1 + kPictureTop, s);
    DrawPicture(dc, picture, placeholder, x0 + Scaled((kCardWidth - kPictureWidth) / 2, s), y, s);
    RECT box{x0 + Scaled(1 + kCardPadding, s), y + Scaled(kPictureHeight + kPictureBottom, s),
             x0 + Scaled(kCardWidth - 1 - kCardPadding, s), y0 + Scaled(kCardHeight - 1, s)};
    box.top = DrawWholeLines(dc, text::Cp932ToWide(CardPlainText(card.headline)), title,
                             Color(kCardTitleRgb), box);
    DrawWholeLines(dc, text::Cp932ToWide(CardPlainText(card.detail)), body, Color(kCardBodyRgb),
                   box);
}

}  // namespace

void PaintCards(HDC dc, const RECT& area, const std::vector<CardRecord>& items, std::size_t page,
                HBITMAP placeholder, const CardPictures* pictures, int scalePercent) {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    GdiObject<HFONT> title(CardFont(Scaled(10, scalePercent), true));
    GdiObject<HFONT> body(CardFont(Scaled(11, scalePercent), false));
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < 2 && page + i < items.size(); ++i) {
        const CardRecord& card = items[page + i];
        const auto* picture =
            pictures ? dynamic_cast<const DibPicture*>(pictures->Picture(card.image)) : nullptr;
        PaintCard(dc, card, POINT{area.left, area.top}, kCardLefts[i], placeholder, picture,
                  title.Get(), body.Get(), scalePercent);
    }
}

}  // namespace velmora::win32
