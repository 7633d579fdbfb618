#pragma once
// The image button of the popup: normal, hover, pressed and disabled images,
// optionally shaped by the key colour of its normal image, or an invisible
// clickable area. A click goes to the parent's OnCommand with the control id.

#include <QImage>
#include <QPointer>
#include <optional>

#include "core/popup/bitmap_region.h"
#include "core/popup/button_pointer.h"
#include "desktop/popup/skin_window.h"

namespace velmora {

class CBmpButton : public CSkinWnd {
    Q_OBJECT
  public:
    CBmpButton();

    // Loads the images and places the button at (x, y) in the size of the
    // normal image; a transparent button takes the shape of that image.
    // False when the button exists already.
    bool CreateImageButton(CSkinWnd* parent, int controlId, int normalId, int pressedId,
                           int hoverId, int x, int y, bool transparent);
    // An invisible area from (left, top) to (right, bottom), both inclusive.
    bool CreateHotArea(CSkinWnd* parent, int controlId, int left, int top, int right, int bottom);
    bool LoadDisabledImage(int id);
    // A disabled button ignores the mouse and shows its disabled image.
    void SetDisabled(bool disabled);

    // The button takes the keyboard focus with Tab while it is enabled;
    // Enter or Space then clicks it.
    void SetKeyboardStop(bool stop);
    // A click from the keyboard or a screen reader; nothing while disabled.
    void Press();

    bool IsDisabled() const { return pointer_.Disabled(); }
    bool IsHotArea() const { return mode_ == Mode::HotArea; }
    // The bitmap number of the image the released button shows, 0 for none.
    int CurrentImageId() const { return current_ ? current_->id : 0; }
    // Whether a point (button coordinates) is on the button's opaque pixels,
    // or inside its rectangle when it has no mask.
    bool HitTest(QPoint point) const;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    enum class Mode { Push, HotArea };
    struct Image {
        int id = 0;
        QImage pixels;  // as drawn: key pixels transparent when the button has a mask
    };

    bool Bind(CSkinWnd* parent, int controlId, QRect geometry);
    // The button takes no capture, but Qt gives the pressed widget every move
    // and the release until the button comes up. What happens off the button
    // is handed to the part of the window under the pointer.
    bool Covers(QPointF local) const;
    bool HandledElsewhere(QMouseEvent* event);
    CSkinWnd* SkinPartAt(QPoint global) const;
    void FollowPointerTo(QWidget* part);
    void PointerLeft();
    Image Load(int id) const;
    void RepaintUnlessHidden();

    Image normal_, pressed_, hover_, disabledImage_;
    const Image* current_ = nullptr;
    std::optional<KeyMask> mask_;
    Mode mode_ = Mode::Push;
    bool bound_ = false;
    ButtonPointer pointer_;  // hover, press and click, as on every desktop
    bool keyboardStop_ = false;
    bool inside_ = false;           // the pointer is over the button (it entered and has not left)
    QPointer<QWidget> moveTarget_;  // the part that had the last move handed over
    // The pressed image is drawn once, not remembered as the current one.
    bool paintPressed_ = false;
};

}  // namespace velmora
