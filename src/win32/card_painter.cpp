#include "win32/card_painter.h"

#include <algorithm>
#include <string>

#include "core/popup/card_escaping.h"
#include "core/popup/popup_geometry.h"
#include "core/text/wide_text.h"
#include "win32/popup_art.h"

namespace velmora::win32 {
namespace {

// The card page as the visible part of the card area shows it: two cards of
// 136 x 150 centred in cells of 145, under a top margin.
constexpr int kCardWidth = 136;
constexpr int kCardHeight = 150;
constexpr int kCardTop = 1;
constexpr int kCardLefts[2] = {2, 147};
constexpr int kPadding = 5;
constexpr int kPictureWidth = 120;
constexpr int kPictureHeight = 80;
constexpr int kPictureTop = 3, kPictureBottom = 7;
constexpr COLORREF kBorder = RGB(0xE3, 0xE3, 0xE3);
constexpr COLORREF kTitleColor = RGB(0xCC, 0x00, 0x00);
constexpr COLORREF kBodyColor = RGB(0x66, 0x66, 0x66);

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

void PaintCard(HDC dc, const CardRecord& card, POINT origin, int left, HBITMAP placeholder,
               HFONT title, HFONT body, int s) {
    const int x0 = origin.x + Scaled(left, s);
    const int y0 = origin.y + Scaled(kCardTop, s);
    HPEN pen = CreatePen(PS_SOLID, 1, kBorder);
    HGDIOBJ oldPen = SelectObject(dc, pen);
    HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, x0, y0, x0 + Scaled(kCardWidth, s), y0 + Scaled(kCardHeight, s));
    SelectObject(dc, oldBrush);
    SelectObject(dc, oldPen);
    DeleteObject(pen);

    int y = y0 + Scaled(1 + kPictureTop, s);
    if (placeholder) {
        BITMAP size{};
        GetObjectW(placeholder, sizeof size, &size);
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, placeholder);
        SetStretchBltMode(dc, COLORONCOLOR);
        StretchBlt(dc, x0 + Scaled((kCardWidth - kPictureWidth) / 2, s), y,
                   Scaled(kPictureWidth, s), Scaled(kPictureHeight, s), memory, 0, 0, size.bmWidth,
                   size.bmHeight, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
    }
    y += Scaled(kPictureHeight + kPictureBottom, s);
    RECT box{x0 + Scaled(1 + kPadding, s), y, x0 + Scaled(kCardWidth - 1 - kPadding, s),
             y0 + Scaled(kCardHeight - 1, s)};
    box.top = DrawWholeLines(dc, text::Cp932ToWide(CardPlainText(card.headline)), title,
                             kTitleColor, box);
    DrawWholeLines(dc, text::Cp932ToWide(CardPlainText(card.detail)), body, kBodyColor, box);
}

}  // namespace

void PaintCards(HDC dc, const RECT& area, const std::vector<CardRecord>& items, std::size_t page,
                HBITMAP placeholder, int scalePercent) {
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    GdiObject<HFONT> title(CardFont(Scaled(10, scalePercent), true));
    GdiObject<HFONT> body(CardFont(Scaled(11, scalePercent), false));
    SetBkMode(dc, TRANSPARENT);
    for (std::size_t i = 0; i < 2 && page + i < items.size(); ++i)
        PaintCard(dc, items[page + i], POINT{area.left, area.top}, kCardLefts[i], placeholder,
                  title.Get(), body.Get(), scalePercent);
}

}  // namespace velmora::win32
