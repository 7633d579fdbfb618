#pragma once
// The program's icons: the built-in images by resource number, icon files
// named in the settings, and the composed overlay images, as QImage.

#include <QImage>
#include <QString>

#include "core/tray/icon_image.h"

namespace velmora {

// The built-in image of resource `id` (128, 129, 133, 134, 135, 141); null
// for an unknown number.
QImage IconResourceImage(int id);

// The image of an icon file. `size` 0: the file's own size (its first image);
// otherwise the file's image of that size if it has one, else its first image
// scaled. Null when the file is missing or not an image.
QImage LoadIconFile(const QString& path, int size = 0);

// The two planes of an image: fully transparent pixels become key colour 0
// with mask 1, every other pixel keeps its colour (alpha included) with mask 0.
IconImage IconImageFromQImage(const QImage& image);
// Back: mask 1 is transparent; an opaque pixel without alpha becomes fully opaque.
QImage QImageFromIconImage(const IconImage& icon);

// The base with the error (red cross) or communicating (lightning) overlay of
// its size; null when the composition fails.
QImage ComposeOverlayImage(const QImage& base, bool error);

}  // namespace velmora
