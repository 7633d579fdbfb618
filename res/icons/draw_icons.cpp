// Draws the program's icons into PNG files: the mascot (icon 128) at every
// size the desktop asks for, the transparent blink image (129) and the four
// tray overlays (133, 134, 135, 141). Run by res/icons/regenerate.
//
// The overlays are drawn without antialiasing: their transparent pixels are
// the key colour of the composition and every other pixel replaces the base.

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

const QColor kOutline(0x7a, 0x3e, 0x08);
const QColor kBody(0xf3, 0x93, 0x22);
const QColor kBodyLight(0xff, 0xcf, 0x6e);
const QColor kPaper(0xff, 0xff, 0xff);
const QColor kPaperShade(0xdd, 0xe4, 0xec);
const QColor kInk(0x4c, 0x5a, 0x6a);
const QColor kEye(0x26, 0x22, 0x30);
const QColor kCheek(0xff, 0x7f, 0x9a, 200);

QImage Blank(int size) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

// The mascot in a 64-unit design space: a round orange figure with big eyes,
// rosy cheeks and a hat folded from a newspaper.
void DrawMascot(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);

    QRadialGradient body(QPointF(26, 30), 34);
    body.setColorAt(0, kBodyLight);
    body.setColorAt(0.55, kBody);
    body.setColorAt(1, kBody.darker(115));
    p.setPen(QPen(kOutline, 2.6));
    p.setBrush(body);
    p.drawEllipse(QRectF(6, 17, 52, 45));

    // The newspaper hat: a folded triangle over a brim.
    QPainterPath hat;
    hat.moveTo(12, 24);
    hat.lineTo(32, 2);
    hat.lineTo(52, 24);
    hat.closeSubpath();
    p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kPaper);
    p.drawPath(hat);
    p.setPen(QPen(kInk, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(27, 12), QPointF(37, 12));
    p.drawLine(QPointF(23, 16.5), QPointF(33, 16.5));
    p.drawLine(QPointF(36, 16.5), QPointF(41, 16.5));
    p.setPen(QPen(kInk, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(kPaperShade);
    p.drawRoundedRect(QRectF(9, 21.5, 46, 6), 2, 2);

    // Eyes with a highlight, cheeks and a small smile.
    p.setPen(Qt::NoPen);
    for (const double cx : {23.0, 41.0}) {
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(cx, 38), 6, 7);
        p.setBrush(kEye);
        p.drawEllipse(QPointF(cx + 0.8, 39), 4, 4.6);
        p.setBrush(Qt::white);
        p.drawEllipse(QPointF(cx + 2.2, 37), 1.5, 1.5);
    }
    p.setBrush(kCheek);
    p.drawEllipse(QPointF(14.5, 47.5), 4.2, 2.8);
    p.drawEllipse(QPointF(49.5, 47.5), 4.2, 2.8);
    p.setPen(QPen(kEye, 2.2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(27, 44, 10, 7), 200 * 16, 140 * 16);
}

QImage Mascot(int size) {
    QImage image = Blank(size);
    QPainter p(&image);
    p.scale(size / 64.0, size / 64.0);
    DrawMascot(p);
    return image;
}

// At 16 pixels the vector figure blurs; this one is drawn pixel by pixel.
QImage Mascot16() {
    static const char* const rows[16] = {
        "       ii       ",  //
        "      iwwi      ",  //
        "     iwiiwi     ",  //
        "    iwwwwwwi    ",  //
        "   iiiiiiiiii   ",  //
        "  osssssssssso  ",  //
        " ollbbbbbbbbbbo ",  //
        " olbbbbbbbbbbbo ",  //
        "obbbewbbbbewbbbo",  //
        "obbbeebbbbeebbbo",  //
        "obbbeebbbbeebbbo",  //
        "obppbbbbbbbbppbo",  //
        "obbbbbebbebbbbbo",  //
        " obbbbbeebbbbbo ",  //
        "  oobbbbbbbboo  ",  //
        "    oooooooo    ",  //
    };
    QImage image = Blank(16);
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 16; ++x) {
            QColor c;
            switch (rows[y][x]) {
                case 'o':
                    c = kOutline;
                    break;
                case 'b':
                    c = kBody;
                    break;
                case 'l':
                    c = kBodyLight;
                    break;
                case 'w':
                    c = kPaper;
                    break;
                case 's':
                    c = kPaperShade;
                    break;
                case 'i':
                    c = kInk;
                    break;
                case 'e':
                    c = kEye;
                    break;
                case 'p':
                    c = QColor(0xff, 0x8a, 0xa4);
                    break;
                default:
                    continue;
            }
            image.setPixelColor(x, y, c);
        }
    }
    return image;
}

// A disc with a white cross, drawn by pixel centres so that it stays crisp.
QImage ErrorOverlay(int size, double cx, double cy, double r, double crossR, double crossW) {
    QImage image = Blank(size);
    const QColor red(0xe0, 0x1b, 0x24), rim(0x8c, 0x0c, 0x12);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
            const double d = std::hypot(dx, dy);
            if (d > r) continue;
            QColor c = d > r - 1.0 ? rim : red;
            const bool onCross = std::abs(dx) <= crossR && std::abs(dy) <= crossR &&
                                 (std::abs(dx - dy) <= crossW || std::abs(dx + dy) <= crossW);
            if (onCross) c = Qt::white;
            image.setPixelColor(x, y, c);
        }
    }
    return image;
}

QImage BoltOverlay(int size, const QPolygonF& bolt) {
    QImage image = Blank(size);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(QColor(0x9a, 0x62, 0x00), 1));
    p.setBrush(QColor(0xff, 0xd8, 0x1a));
    p.drawPolygon(bolt);
    return image;
}

bool Save(const QImage& image, const QString& dir, const QString& name) {
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path, "PNG")) {
        std::fprintf(stderr, "draw_icons: cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: draw_icons OUTPUT_DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    bool ok = true;
    ok &= Save(Mascot(32), dir, QStringLiteral("128.png"));
    ok &= Save(Blank(32), dir, QStringLiteral("129.png"));
    ok &= Save(ErrorOverlay(16, 5.0, 11.0, 5.0, 2.6, 0.75), dir, QStringLiteral("133.png"));
    ok &=
        Save(BoltOverlay(16, QPolygonF({{5, 0}, {1, 7}, {4, 7}, {2, 12}, {8, 5}, {5, 5}, {8, 0}})),
             dir, QStringLiteral("134.png"));
    ok &= Save(ErrorOverlay(32, 8.0, 24.0, 8.0, 4.2, 1.1), dir, QStringLiteral("135.png"));
    ok &=
        Save(BoltOverlay(
                 32, QPolygonF({{11, 1}, {2, 15}, {8, 15}, {4, 28}, {17, 10}, {11, 10}, {17, 1}})),
             dir, QStringLiteral("141.png"));
    ok &= Save(Mascot16(), dir, QStringLiteral("velmora-16.png"));
    for (const int size : {22, 24, 32, 48, 64, 128, 256}) {
        ok &= Save(Mascot(size), dir, QStringLiteral("velmora-%1.png").arg(size));
    }
    return ok ? 0 : 1;
}
