#include "desktop/dialogs/dialog_template.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace velmora {

QFont DialogFont() {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    return font;
}

void RegisterDialogFontSubstitutes() {
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("IPA Pゴシック"),
                                QStringLiteral("VL PGothic"), QStringLiteral("Noto Sans CJK JP"),
                                QStringLiteral("IPAGothic")});
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    baseX_ = qMax(1, (fm.horizontalAdvance(alphabet) / 26 + 1) / 2);
    baseY_ = qMax(1, fm.height());
}

int DialogUnits::X(int units) const {
    return (units * baseX_ + 2) / 4;
}
int DialogUnits::Y(int units) const {
    return (units * baseY_ + 4) / 8;
}

QRect DialogUnits::Rect(int x, int y, int w, int h) const {
    return QRect(X(x), Y(y), X(w), Y(h));
}

namespace {

void FitLabel(QLabel* label) {
    if (label->text().isEmpty()) return;
    const QRect room = label->contentsRect();
    const Qt::Alignment align = label->alignment();
    int flags = static_cast<int>(align);
    if (label->wordWrap()) flags |= Qt::TextWordWrap;
    const QRect need = QFontMetrics(label->font()).boundingRect(room, flags, label->text());
    QRect rect = label->geometry();
    const int wider = need.width() - room.width();
    if (wider > 0) rect.setWidth(rect.width() + wider);
    const int taller = need.height() - room.height();
    if (taller > 0) {
        // A centred line stays centred on the row it was given.
        if (align & Qt::AlignVCenter) rect.moveTop(rect.top() - taller / 2);
        rect.setHeight(rect.height() + taller);
    }
    label->setGeometry(rect);
}

}  // namespace

void FitLabelsToText(QWidget* window) {
    const QRect before = window->childrenRect();
    const QSize margin(qMax(0, window->width() - before.right() - 1),
                       qMax(0, window->height() - before.bottom() - 1));
    for (QLabel* label : window->findChildren<QLabel*>()) FitLabel(label);
    // Controls that now reach further keep the window's margin beside them.
    const QRect after = window->childrenRect();
    const QSize need(after.right() + 1 + margin.width(), after.bottom() + 1 + margin.height());
    if (need.width() <= window->width() && need.height() <= window->height()) return;
    const QSize size = window->size().expandedTo(need);
    if (window->minimumSize() == window->maximumSize()) {
        window->setFixedSize(size);
    } else {
        window->setMinimumSize(window->minimumSize().expandedTo(need));
        window->resize(size);
    }
}

void CentreOnScreen(QWidget* window) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    // Another of our windows centred there already (the delivery number
    // dialog when the About box follows it) keeps its title and left edge in
    // sight: the newcomer steps down and right of it.
    constexpr int kStep = 40;
    for (const QWidget* other : QApplication::topLevelWidgets()) {
        if (other == window || !other->isVisible() || !qobject_cast<const QDialog*>(other))
            continue;
        const QRect there = other->frameGeometry();
        if ((there.center() - area.center()).manhattanLength() > 4) continue;
        frame.moveTopLeft(there.topLeft() + QPoint(kStep, kStep));
        frame.moveRight(std::min(frame.right(), area.right()));
        frame.moveBottom(std::min(frame.bottom(), area.bottom()));
        break;
    }
    window->move(frame.topLeft());
}

}  // namespace velmora
