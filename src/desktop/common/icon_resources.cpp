#include "desktop/common/icon_resources.h"

#include <QImageReader>

namespace velmora {

QImage IconResourceImage(int id) {
    switch (id) {
        case kIconNormal:
        case kIconBlink:
        case kOverlayError16:
        case kOverlayBusy16:
        case kOverlayError32:
        case kOverlayBusy32:
            return QImage(QStringLiteral(":/velmora/icons/%1.png").arg(id))
                .convertToFormat(QImage::Format_ARGB32);
        default:
            return {};
    }
}

QImage LoadIconFile(const QString& path, int size) {
    if (path.isEmpty()) return {};
    QImageReader reader(path);
    if (!reader.canRead()) return {};
    QImage chosen;
    if (size > 0) {
        // An icon file holds several sizes; take the wanted one when present.
        for (int i = 0; i < qMax(1, reader.imageCount()); ++i) {
            if (i > 0 && !reader.jumpToImage(i)) break;
            QImage image = reader.read();
            if (image.isNull()) break;
            if (chosen.isNull()) chosen = image;
            if (image.width() == size && image.height() == size) {
                chosen = image;
                break;
            }
        }
        if (!chosen.isNull() && chosen.size() != QSize(size, size)) {
            chosen = chosen.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        }
    } else {
        chosen = reader.read();
    }
    if (chosen.isNull()) return {};
    return chosen.convertToFormat(QImage::Format_ARGB32);
}

IconImage IconImageFromQImage(const QImage& image) {
    if (image.isNull()) return {};
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    IconImage icon = IconImage::Blank(argb.width(), argb.height());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb p = row[x];
            if (qAlpha(p) == 0) continue;  // stays key colour 0, transparent
            icon.SetColour(x, y, p);
            icon.SetMask(x, y, 0);
        }
    }
    return icon;
}

QImage QImageFromIconImage(const IconImage& icon) {
    if (!icon.Valid()) return {};
    QImage image(icon.width, icon.height, QImage::Format_ARGB32);
    for (int y = 0; y < icon.height; ++y) {
        auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < icon.width; ++x) {
            if (icon.MaskAt(x, y) != 0) {
                row[x] = 0;
                continue;
            }
            QRgb p = icon.ColourAt(x, y);
            if (qAlpha(p) == 0) p |= 0xFF000000u;
            row[x] = p;
        }
    }
    return image;
}

QImage ComposeOverlayImage(const QImage& base, bool error) {
    const IconImage baseIcon = IconImageFromQImage(base);
    if (!baseIcon.Valid()) return {};
    const IconImage overlay =
        IconImageFromQImage(IconResourceImage(OverlayResourceFor(baseIcon, error)));
    const std::optional<IconImage> composed = ComposeOverlayIcon(baseIcon, overlay);
    if (!composed) return {};
    return QImageFromIconImage(*composed);
}

}  // namespace velmora
