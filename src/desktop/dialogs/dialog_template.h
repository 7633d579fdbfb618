#pragma once
// Dialogs laid out from their templates in dialog units, in the dialog font.

#include <QFont>
#include <QRect>

class QLabel;
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

// The template's rectangles are measured for the font the dialogs ask for;
// the font a desktop really has may run wider. Grows each label of `window`
// until its text fits (wider for one line, taller for wrapped text), then the
// window until it holds its controls. Run after every change of a label's text.
void FitLabelsToText(QWidget* window);

// Moves a top-level window to the centre of the available area of the screen
// under the mouse (or the primary screen).
void CentreOnScreen(QWidget* window);

}  // namespace velmora
