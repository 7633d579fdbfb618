#pragma once
// The popup's bitmaps and HTML templates, compiled in as Qt resources and
// addressed by their numbers.

#include <QImage>
#include <QRegion>
#include <cstddef>
#include <string>
#include <vector>

#include "core/popup/bitmap_region.h"
#include "core/popup/card_page.h"

namespace velmora {

// The bitmap as 32-bit RGB; a null image when there is no such bitmap.
QImage LoadPopupBitmap(int id);
// The bitmap's PNG file as stored.
QByteArray PopupBitmapFile(int id);

// Copies template `id` (CP932) into `buffer`. False, leaving `buffer` empty,
// when it needs more than `bufferSize` bytes with its terminator. A missing
// template is empty.
bool LoadTemplate(int id, std::string& buffer, std::size_t bufferSize);

// The pixels of an RGB32 or ARGB32 image for the Qt-free shape functions.
PixelView ViewOf(const QImage& image);
QRegion RegionOf(const std::vector<RegionRect>& rects);

}  // namespace velmora
