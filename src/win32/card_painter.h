#pragma once
// The news cards drawn with GDI from the card records, for when no
// WebBrowser control renders them: the page's layout, picture placeholder,
// headline and detail in the cards' colours. Never an empty box.

#include <windows.h>

#include <cstddef>
#include <vector>

#include "core/popup/card_record.h"

namespace velmora::win32 {

// Items `page` and `page` + 1 into `area` (the visible part of the card
// area, whose artwork size is 292 x 158) at `scalePercent`.
void PaintCards(HDC dc, const RECT& area, const std::vector<CardRecord>& items, std::size_t page,
                HBITMAP placeholder, int scalePercent);

}  // namespace velmora::win32
