#include "desktop/popup/popup_resources.h"

#include <QFile>

// The resources live in a static library: pull them in by name.
static void InitPopupResources() {
    Q_INIT_RESOURCE(popup);
}

namespace velmora {
namespace {

QByteArray ReadResource(const QString& path) {
    static const bool initialised = (InitPopupResources(), true);
    (void)initialised;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return file.readAll();
}

}  // namespace

QByteArray PopupBitmapFile(int id) {
    return ReadResource(QStringLiteral(":/velmora/popup/bmp/%1.png").arg(id));
}

QImage LoadPopupBitmap(int id) {
    QImage image;
    if (!image.loadFromData(PopupBitmapFile(id), "PNG")) return {};
    return image.convertToFormat(QImage::Format_RGB32);
}

bool LoadTemplate(int id, std::string& buffer, std::size_t bufferSize) {
    const QByteArray bytes = ReadResource(QStringLiteral(":/velmora/popup/html/%1.html").arg(id));
    buffer.clear();
    if (static_cast<std::size_t>(bytes.size()) + 1 > bufferSize) return false;
    buffer.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

PixelView ViewOf(const QImage& image) {
    return {reinterpret_cast<const std::uint32_t*>(image.constBits()), image.width(),
            image.height(), static_cast<int>(image.bytesPerLine() / 4)};
}

QRegion RegionOf(const std::vector<RegionRect>& rects) {
    QRegion region;
    for (const RegionRect& r : rects)
        region += QRect(r.left, r.top, r.right - r.left, r.bottom - r.top);
    return region;
}

}  // namespace velmora
