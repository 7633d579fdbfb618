#pragma once
// Icons between the shell's handles and the core's pixel planes, where the
// tray's overlay images are composed.

#include <windows.h>

#include <optional>
#include <string>

#include "core/tray/icon_image.h"

namespace velmora::win32 {

// An icon file at its own size, or null; `path` is CP932.
HICON LoadIconFile(const std::string& path, int width = 0, int height = 0);
// An icon resource of this program at its own size, or null.
HICON LoadIconResource(int id);

std::optional<IconImage> ImageFromIcon(HICON icon);
HICON IconFromImage(const IconImage& image);

// The normal icon with the error or the communicating overlay, or null when
// it cannot be composed.
HICON ComposeOverlay(HICON normal, bool error);

}  // namespace velmora::win32
