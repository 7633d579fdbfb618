#include "core/popup/card_layout.h"

#include <algorithm>
#include <cmath>

namespace velmora {

PictureSize FitCardPicture(int width, int height) {
    if (width <= 0 || height <= 0) return {};
    if (width <= kPictureWidth && height <= kPictureHeight) return {width, height};
    const double scale = std::min(static_cast<double>(kPictureWidth) / width,
                                  static_cast<double>(kPictureHeight) / height);
    return {static_cast<int>(std::floor(width * scale)),
            static_cast<int>(std::floor(height * scale))};
}

}  // namespace velmora
