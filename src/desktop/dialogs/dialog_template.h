#pragma once
// Dialogs laid out from their templates in dialog units, in the dialog font.

#include <QFont>
#include <QRect>

class QWidget;

namespace velmora {

// "ＭＳ Ｐゴシック" 9 pt, as every dialog asks for it.
QFont DialogFont();

// Maps the family name above to the Japanese Gothic fonts a Linux desktop
// has (IPA P Gothic first), so that the texts render in a proportional Gothic.
void RegisterDialogFontSubstitutes();

// Dialog units of a font: x in quarters of the average character width, y in
// eighths of the character height.
class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    QRect Rect(int x, int y, int w, int h) const;
    int X(int units) const;
    int Y(int units) const;

  private:
    int baseX_;
    int baseY_;
};

// Moves a top-level window to the centre of the available area of the screen
// under the mouse (or the primary screen).
void CentreOnScreen(QWidget* window);

}  // namespace velmora
