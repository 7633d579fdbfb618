#include "desktop/dialogs/dialog_template.h"

#include <QCursor>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

void CentreOnScreen(QWidget* window) {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    const QRect area = screen->availableGeometry();
    QRect frame = window->frameGeometry();
    frame.moveCenter(area.center());
    window->move(frame.topLeft());
}

}  // namespace velmora
