#include "desktop/popup/card_cover.h"

#include <QPainter>
#include <QTextDocumentFragment>
#include <QTextLayout>
#include <cmath>

#include "core/popup/popup_geometry.h"
#include "core/text/cp932.h"
#include "desktop/popup/popup_resources.h"

namespace velmora {
namespace {

// The card page's layout as the visible part of the card area shows it: two
// cards of 136 x 150 centred in cells of 145, under a top margin.
constexpr int kCardWidth = 136;
constexpr int kCardHeight = 150;
constexpr int kCardTop = 1;
constexpr int kCardLefts[2] = {2, 147};
constexpr int kPadding = 5;
constexpr int kPictureWidth = 120;
constexpr int kPictureHeight = 80;
constexpr int kPictureTop = 3, kPictureBottom = 7;
const QColor kBorder(0xE3, 0xE3, 0xE3);
const QColor kTitleColor(0xCC, 0x00, 0x00);
const QColor kBodyColor(0x66, 0x66, 0x66);

// The text as the card shows it: markup rendered to its words, entities read.
QString Plain(const std::string& cp932) {
    return QTextDocumentFragment::fromHtml(QString::fromStdString(text::Cp932ToUtf8(cp932)))
        .toPlainText()
        .simplified();
}

QFont CardFont(int pixels, bool bold) {
    QFont font(QStringLiteral("MS UI Gothic"));
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(pixels);
    font.setBold(bold);
    return font;
}

// Draws the lines of `text` wrapped to `width` that fit whole above `bottom`,
// never one cut through; gives the y below the last line drawn.
int DrawWholeLines(QPainter& painter, const QString& text, const QFont& font, QPoint topLeft,
                   int width, int bottom) {
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    int end = topLeft.y();
    for (int i = 0; i < layout.lineCount(); ++i) {
        const QTextLine line = layout.lineAt(i);
        if (topLeft.y() + line.y() + line.height() > bottom) break;
        line.draw(&painter, topLeft);
        end = topLeft.y() + static_cast<int>(std::ceil(line.y() + line.height()));
    }
    return end;
}

}  // namespace

CardCover::CardCover(QWidget* popup, QRect area) : QWidget(popup) {
    setGeometry(area);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    placeholder_ = LoadPopupBitmap(kPlaceholderBitmap);
}

std::vector<CardRecord> CardCover::Pair(const std::vector<CardRecord>& items, std::size_t page) {
    std::vector<CardRecord> pair;
    for (std::size_t i = page; i < items.size() && i < page + 2; ++i) pair.push_back(items[i]);
    return pair;
}

void CardCover::SetCards(const std::vector<CardRecord>& items, std::size_t page) {
    cards_ = Pair(items, page);
    update();
}

void CardCover::SetPicture(const QImage& picture, const std::vector<CardRecord>& items,
                           std::size_t page) {
    if (picture.isNull()) return;
    picture_ = picture;
    pictureCards_ = Pair(items, page);
    update();
}

bool CardCover::ShowsPicture() const {
    return !picture_.isNull() && pictureCards_ == cards_;
}

void CardCover::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (ShowsPicture()) {
        painter.drawImage(0, 0, picture_);
        return;
    }
    painter.fillRect(rect(), Qt::white);
    for (std::size_t i = 0; i < cards_.size(); ++i) DrawCard(painter, cards_[i], kCardLefts[i]);
}

void CardCover::DrawCard(QPainter& painter, const CardRecord& card, int left) {
    painter.setPen(kBorder);
    painter.drawRect(left, kCardTop, kCardWidth - 1, kCardHeight - 1);
    const int pictureLeft = left + (kCardWidth - kPictureWidth) / 2;
    int y = kCardTop + 1 + kPictureTop;
    if (!placeholder_.isNull())
        painter.drawImage(QRect(pictureLeft, y, kPictureWidth, kPictureHeight), placeholder_);
    y += kPictureHeight + kPictureBottom;

    const int textLeft = left + 1 + kPadding;
    const int textWidth = kCardWidth - 2 - 2 * kPadding;
    const int bottom = kCardTop + kCardHeight - 1;
    const struct {
        QString text;
        QFont font;
        QColor color;
    } blocks[] = {{Plain(card.headline), CardFont(10, true), kTitleColor},
                  {Plain(card.detail), CardFont(11, false), kBodyColor}};
    for (const auto& block : blocks) {
        if (y >= bottom) break;
        painter.setPen(block.color);
        y = DrawWholeLines(painter, block.text, block.font, QPoint(textLeft, y), textWidth, bottom);
    }
}

}  // namespace velmora
