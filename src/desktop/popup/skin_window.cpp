#include "desktop/popup/skin_window.h"

#include "desktop/popup/popup_resources.h"

namespace velmora {

CSkinWnd::CSkinWnd(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

CSkinWnd* CSkinWnd::GetParentObject() const {
    return qobject_cast<CSkinWnd*>(parentWidget());
}

bool CSkinWnd::SetBitmapRegion(const QImage& bitmap, std::uint32_t keyColor) {
    if (bitmap.isNull()) return false;
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB32);
    setMask(RegionOf(CreateBitmapRegion(ViewOf(rgb), keyColor)));
    resize(bitmap.size());
    return true;
}

void CSkinWnd::OnCommand(int) {}

QImage WithTransparentKey(const QImage& bitmap, std::uint32_t keyColor) {
    QImage image = bitmap.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            if (IsKeyPixel(row[x], keyColor)) row[x] = 0;
    }
    return image;
}

}  // namespace velmora
