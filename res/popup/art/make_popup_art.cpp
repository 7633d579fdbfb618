// Draws the popup's skin and button bitmaps into PNG files.
//   make_popup_art <output folder>
// Shapes are cut with a hard edge: every pixel is either key magenta or fully
// part of the picture, so the window region and button masks stay exact.

#include <QDir>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

namespace {

const QColor kMagenta(255, 0, 255);
const QColor kNavyTop(0x27, 0x3a, 0x72);
const QColor kNavyBottom(0x10, 0x19, 0x38);
const QColor kEdge(0x8f, 0xa6, 0xe8);
const QColor kRed(0xcc, 0x00, 0x00);
const QColor kRedLight(0xf0, 0x2e, 0x2e);
const QColor kYellow(0xff, 0xd8, 0x29);
const QColor kYellowEdge(0xc9, 0x9a, 0x00);

QFont Font(int pixelSize, int weight = QFont::Bold) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setWeight(QFont::Weight(weight));
    f.setHintingPreference(QFont::PreferFullHinting);
    return f;
}

QPainterPath RoundedRect(const QRectF& r, qreal radius) {
    QPainterPath p;
    p.addRoundedRect(r, radius, radius);
    return p;
}

// Pixels outside `shape` become magenta; inside they keep the picture. The
// decision is taken at each pixel's centre, so the cut is hard.
void CutToShape(QImage& image, const QPainterPath& shape) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!shape.contains(QPointF(x + 0.5, y + 0.5))) image.setPixelColor(x, y, kMagenta);
}

QImage NewImage(int w, int h, const QColor& fill) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(fill);
    return image;
}

QPainterPath SkinShape(qreal inset) {
    QPainterPath tab = RoundedRect(QRectF(inset, inset, 110 - 2 * inset, 46 - 2 * inset), 10);
    QPainterPath body;
    const QRectF b(86 + inset, inset, 562 + 30 - 86 - 2 * inset, 302 - 2 * inset);
    body.addRoundedRect(b, 18, 18);
    return tab.united(body).simplified();
}

void DrawChevron(QPainter& p, QPointF tip, qreal size, bool left, const QColor& color,
                 qreal width) {
    const qreal dx = left ? size : -size;
    QPainterPath path;
    path.moveTo(tip.x() + dx, tip.y() - size);
    path.lineTo(tip);
    path.lineTo(tip.x() + dx, tip.y() + size);
    p.setPen(QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
}

QImage Skin() {
    QImage image = NewImage(562, 302, kEdge);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // Body: navy with a soft light from the top.
    QLinearGradient body(0, 0, 0, 302);
    body.setColorAt(0, kNavyTop);
    body.setColorAt(1, kNavyBottom);
    p.fillPath(SkinShape(1.5), body);

    // The tab: red, with a highlight on its upper half.
    QLinearGradient tabFill(0, 0, 0, 46);
    tabFill.setColorAt(0, kRedLight);
    tabFill.setColorAt(1, QColor(0xa8, 0x00, 0x00));
    p.save();
    p.setClipRect(QRect(0, 0, 92, 46));
    p.fillPath(RoundedRect(QRectF(1.5, 1.5, 104, 43), 9), tabFill);
    p.restore();
    p.fillRect(QRectF(92, 1.5, 1, 43), QColor(0x7a, 0x00, 0x00));

    // A faint band behind the title and a line under it.
    QLinearGradient shine(0, 0, 0, 36);
    shine.setColorAt(0, QColor(255, 255, 255, 40));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(QRectF(108, 1.5, 454, 34), shine);

    p.setPen(Qt::white);
    p.setFont(Font(17));
    p.drawText(QRectF(250, 4, 300, 28), Qt::AlignLeft | Qt::AlignVCenter, "Velmora");
    p.setPen(kYellow);
    p.setFont(Font(11));
    p.drawText(QRectF(332, 4, 213, 28), Qt::AlignLeft | Qt::AlignVCenter, "NEWS");
    p.setPen(QColor(0xb8, 0xc6, 0xf0));
    p.setFont(Font(9, QFont::Normal));
    p.drawText(QRectF(250, 4, 295, 28), Qt::AlignRight | Qt::AlignVCenter, "news delivery");

    // Ticker bar (247, 37)-(545, 62) inclusive.
    QPainterPath bar = RoundedRect(QRectF(247, 37, 299, 26), 6);
    p.fillPath(bar, kYellowEdge);
    QLinearGradient barFill(0, 37, 0, 63);
    barFill.setColorAt(0, QColor(0xff, 0xe9, 0x7a));
    barFill.setColorAt(1, kYellow);
    p.fillPath(RoundedRect(QRectF(248, 38, 297, 24), 5), barFill);
    QPainterPath bullet;
    bullet.moveTo(255, 44);
    bullet.lineTo(264, 50);
    bullet.lineTo(255, 56);
    bullet.closeSubpath();
    p.fillPath(bullet, kRed);

    // Card frame (248, 78)-(562, 240): white, ruled off from the body.
    p.fillRect(QRect(247, 77, 315, 164), QColor(0x5b, 0x6e, 0xa8));
    p.fillRect(QRect(248, 78, 314, 162), Qt::white);

    // Left column under the MY PAGE button.
    p.setPen(QColor(0x3f, 0x55, 0x96));
    p.drawLine(QPointF(104, 160), QPointF(226, 160));
    p.setPen(Qt::white);
    p.setFont(Font(15));
    p.drawText(QRectF(96, 166, 140, 24), Qt::AlignHCenter | Qt::AlignVCenter, "VELMORA");
    p.setPen(QColor(0xb8, 0xc6, 0xf0));
    p.setFont(Font(9, QFont::Normal));
    p.drawText(QRectF(96, 190, 140, 16), Qt::AlignHCenter | Qt::AlignVCenter, "your news, first");
    for (int i = 0; i < 3; ++i) {
        p.setBrush(i == 0 ? kYellow : QColor(0x3f, 0x55, 0x96));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(152 + 14 * (i - 1), 222), 3.5, 3.5);
    }
    p.setPen(QColor(0x7a, 0x8c, 0xc4));
    p.setFont(Font(8, QFont::Normal));
    p.drawText(QRectF(96, 270, 140, 16), Qt::AlignHCenter | Qt::AlignVCenter, "ver 1.0.1");

    // Between the paging buttons: a dotted rule.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x4a, 0x60, 0xa3));
    for (int x = 332; x <= 458; x += 9) p.drawEllipse(QPointF(x + 0.5, 260.5), 1.5, 1.5);
    p.end();

    CutToShape(image, SkinShape(0));
    return image;
}

QImage Crop(const QImage& skin, int x, int y, int w, int h) {
    return skin.copy(x, y, w, h);
}

// Logo tile: a white "V" medallion and the word mark; the handles show a
// double chevron that invites a click.
QImage LogoTile(const QImage& skin, int variant) {
    QImage image = Crop(skin, 10, 5, 71, 36);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    if (variant == 1) p.fillRect(image.rect(), QColor(255, 255, 255, 36));
    if (variant == 2) p.fillRect(image.rect(), QColor(0, 0, 0, 40));
    const qreal shift = variant == 2 ? 1 : 0;
    if (variant == 0) {
        p.setBrush(Qt::white);
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(17, 18), 13, 13);
        p.setPen(kRed);
        p.setFont(Font(17));
        p.drawText(QRectF(4, 5, 26, 27), Qt::AlignCenter, "V");
    } else {
        DrawChevron(p, QPointF(6 + shift, 18 + shift), 7, true, kYellow, 3);
        DrawChevron(p, QPointF(17 + shift, 18 + shift), 7, true, kYellow, 3);
    }
    p.setPen(Qt::white);
    p.setFont(Font(10));
    p.drawText(QRectF(31 + shift, 6 + shift, 40, 14), Qt::AlignLeft | Qt::AlignVCenter, "NEWS");
    p.setFont(Font(8, QFont::Normal));
    p.drawText(QRectF(31 + shift, 19 + shift, 40, 12), Qt::AlignLeft | Qt::AlignVCenter, "Velmora");
    return image;
}

// The round MY PAGE button on the skin's background.
QImage MyPage(const QImage& skin, int variant) {
    QImage image = Crop(skin, 100, 10, 129, 129);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    const QPointF c(64.5, 64.5 + (variant == 2 ? 1 : 0));
    // Drop shadow, ring, face.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, variant == 2 ? 40 : 70));
    p.drawEllipse(QPointF(64.5, 67.5), 60, 60);
    p.setBrush(Qt::white);
    p.drawEllipse(c, 59, 59);
    QRadialGradient face(c.x() - 18, c.y() - 24, 90);
    const QColor light = variant == 1   ? QColor(0xff, 0x9a, 0x5c)
                         : variant == 2 ? QColor(0xd8, 0x4a, 0x1c)
                                        : QColor(0xff, 0x7a, 0x3d);
    const QColor dark = variant == 1   ? QColor(0xe8, 0x30, 0x24)
                        : variant == 2 ? QColor(0x9a, 0x12, 0x0c)
                                       : QColor(0xc8, 0x1e, 0x16);
    face.setColorAt(0, light);
    face.setColorAt(1, dark);
    p.setBrush(face);
    p.drawEllipse(c, 54, 54);
    // Glass highlight on the upper half.
    QLinearGradient gloss(0, c.y() - 54, 0, c.y());
    gloss.setColorAt(0, QColor(255, 255, 255, variant == 2 ? 50 : 110));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - 42, c.y() - 50, 84, 52));
    // A small house, then the words.
    QPainterPath house;
    house.moveTo(c.x(), c.y() - 36);
    house.lineTo(c.x() + 15, c.y() - 22);
    house.lineTo(c.x() + 10, c.y() - 22);
    house.lineTo(c.x() + 10, c.y() - 10);
    house.lineTo(c.x() - 10, c.y() - 10);
    house.lineTo(c.x() - 10, c.y() - 22);
    house.lineTo(c.x() - 15, c.y() - 22);
    house.closeSubpath();
    p.setBrush(Qt::white);
    p.drawPath(house);
    p.setBrush(dark);
    p.drawRect(QRectF(c.x() - 3, c.y() - 18, 6, 8));
    p.setPen(Qt::white);
    p.setFont(Font(22));
    p.drawText(QRectF(c.x() - 54, c.y() - 8, 108, 28), Qt::AlignCenter, "MY");
    p.drawText(QRectF(c.x() - 54, c.y() + 16, 108, 28), Qt::AlignCenter, "PAGE");
    return image;
}

// Left and Right: arrow and word on a rounded plate; greyed when disabled.
QImage PagingButton(bool next, bool enabled) {
    QImage image = NewImage(67, 26, enabled ? QColor(0x7d, 0x8f, 0xc4) : QColor(0x9a, 0x9a, 0x9a));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient plate(0, 0, 0, 26);
    plate.setColorAt(0, enabled ? Qt::white : QColor(0xe4, 0xe4, 0xe4));
    plate.setColorAt(1, enabled ? QColor(0xd9, 0xe2, 0xf6) : QColor(0xc6, 0xc6, 0xc6));
    p.fillPath(RoundedRect(QRectF(1.2, 1.2, 64.6, 23.6), 8), plate);
    const QColor arrow = enabled ? kRed : QColor(0x9c, 0x9c, 0x9c);
    const QColor word = enabled ? QColor(0x1c, 0x2a, 0x55) : QColor(0x8c, 0x8c, 0x8c);
    QPainterPath tri;
    if (next) {
        tri.moveTo(57, 13);
        tri.lineTo(49, 7.5);
        tri.lineTo(49, 18.5);
    } else {
        tri.moveTo(10, 13);
        tri.lineTo(18, 7.5);
        tri.lineTo(18, 18.5);
    }
    tri.closeSubpath();
    p.fillPath(tri, arrow);
    p.setPen(word);
    p.setFont(Font(11));
    p.drawText(next ? QRectF(8, 0, 40, 26) : QRectF(20, 0, 40, 26), Qt::AlignCenter,
               next ? "NEXT" : "PREV");
    p.end();
    CutToShape(image, RoundedRect(QRectF(0, 0, 67, 26), 9));
    return image;
}

// The picture placeholder: a framed landscape on light grey.
QImage Placeholder() {
    QImage image = NewImage(48, 48, QColor(0xee, 0xf1, 0xf7));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xc3, 0xcb, 0xdc), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(8.5, 11.5, 31, 25));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd8, 0x29));
    p.drawEllipse(QPointF(31, 18.5), 3, 3);
    QPainterPath hills;
    hills.moveTo(9, 36);
    hills.lineTo(19, 23);
    hills.lineTo(26, 31);
    hills.lineTo(30, 27);
    hills.lineTo(39, 36);
    hills.closeSubpath();
    p.setBrush(QColor(0x8f, 0xa6, 0xe8));
    p.drawPath(hills);
    return image;
}

bool Save(const QImage& image, const QDir& dir, int id) {
    const QString path = dir.filePath(QString::number(id) + ".png");
    if (image.convertToFormat(QImage::Format_RGB888).save(path)) return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_popup_art <output folder>\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    const QImage skin = Skin();
    bool ok = Save(skin, dir, 150);
    ok = Save(MyPage(skin, 0), dir, 153) && ok;
    ok = Save(MyPage(skin, 1), dir, 154) && ok;
    ok = Save(MyPage(skin, 2), dir, 155) && ok;
    ok = Save(LogoTile(skin, 1), dir, 157) && ok;
    ok = Save(LogoTile(skin, 2), dir, 158) && ok;
    ok = Save(PagingButton(true, false), dir, 161) && ok;
    ok = Save(PagingButton(false, false), dir, 162) && ok;
    ok = Save(PagingButton(true, true), dir, 163) && ok;
    ok = Save(PagingButton(false, true), dir, 164) && ok;
    ok = Save(LogoTile(skin, 0), dir, 165) && ok;
    ok = Save(Placeholder(), dir, 170) && ok;
    return ok ? 0 : 1;
}
