#include "desktop/popup/bmp_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include "desktop/popup/popup_resources.h"

namespace velmora {
namespace {

// Seen on the dark skin and on the light buttons alike.
const QColor kFocusColor(0xFF, 0xD8, 0x3A);
const QColor kFocusShadow(0x10, 0x18, 0x40);

// What a screen reader learns of an image button: a push button with its
// name and description, disabled while greyed, pressed through its action.
class BmpButtonAccessible : public QAccessibleWidget {
  public:
    explicit BmpButtonAccessible(CBmpButton* button)
        : QAccessibleWidget(button, QAccessible::Button) {}
    QAccessible::State state() const override {
        QAccessible::State s = QAccessibleWidget::state();
        if (Button()->IsDisabled()) {
            s.disabled = true;
            s.focusable = false;
        }
        return s;
    }
    QStringList actionNames() const override {
        return QStringList{pressAction()} + QAccessibleWidget::actionNames();
    }
    void doAction(const QString& action) override {
        if (action == pressAction())
            Button()->Press();
        else
            QAccessibleWidget::doAction(action);
    }

  private:
    CBmpButton* Button() const { return static_cast<CBmpButton*>(widget()); }
};

QAccessibleInterface* BmpButtonAccessibleFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("velmora::CBmpButton") && object && object->isWidgetType())
        return new BmpButtonAccessible(static_cast<CBmpButton*>(object));
    return nullptr;
}

}  // namespace

CBmpButton::CBmpButton() : CSkinWnd(nullptr) {
    static const bool installed = (QAccessible::installFactory(BmpButtonAccessibleFactory), true);
    (void)installed;
}

void CBmpButton::SetKeyboardStop(bool stop) {
    keyboardStop_ = stop;
    setFocusPolicy(stop && !pointer_.Disabled() ? Qt::TabFocus : Qt::NoFocus);
}

void CBmpButton::Press() {
    if (pointer_.Disabled()) return;
    if (CSkinWnd* parent = GetParentObject()) parent->OnCommand(GetControlId());
}

bool CBmpButton::CreateImageButton(CSkinWnd* parent, int controlId, int normalId, int pressedId,
                                   int hoverId, int x, int y, bool transparent) {
    if (bound_) return false;
    const QImage normal = LoadPopupBitmap(normalId);
    if (transparent && !normal.isNull()) mask_ = KeyMask::FromBitmap(ViewOf(normal));
    normal_ = Load(normalId);
    pressed_ = Load(pressedId);
    hover_ = Load(hoverId);
    current_ = &normal_;
    if (!Bind(parent, controlId, QRect(QPoint(x, y), normal.size()))) return false;
    if (mask_) SetBitmapRegion(normal);
    return true;
}

bool CBmpButton::CreateHotArea(CSkinWnd* parent, int controlId, int left, int top, int right,
                               int bottom) {
    if (bound_) return false;
    if (!Bind(parent, controlId, QRect(QPoint(left, top), QPoint(right, bottom)))) return false;
    mode_ = Mode::HotArea;
    return true;
}

bool CBmpButton::LoadDisabledImage(int id) {
    disabledImage_ = Load(id);
    return true;
}

void CBmpButton::SetDisabled(bool disabled) {
    pointer_.SetDisabled(disabled);
    current_ = disabled ? &disabledImage_ : &normal_;
    // A greyed button is no stop for Tab; one that has the focus keeps it.
    if (keyboardStop_) setFocusPolicy(disabled ? Qt::NoFocus : Qt::TabFocus);
    Repaint();
}

bool CBmpButton::HitTest(QPoint point) const {
    if (!rect().contains(point)) return false;
    return MaskHit(mask_ ? &*mask_ : nullptr, point.x(), point.y());
}

bool CBmpButton::Bind(CSkinWnd* parent, int controlId, QRect geometry) {
    if (!parent) return false;
    setParent(parent);
    SetControlId(controlId);
    setGeometry(geometry);
    setCursor(Qt::PointingHandCursor);
    setMouseTracking(true);
    show();
    bound_ = true;
    return true;
}

CBmpButton::Image CBmpButton::Load(int id) const {
    const QImage image = LoadPopupBitmap(id);
    if (image.isNull()) return {id, {}};
    return {id, mask_ ? WithTransparentKey(image) : image};
}

void CBmpButton::RepaintUnlessHidden() {
    if (mode_ != Mode::HotArea) Repaint();
}

void CBmpButton::paintEvent(QPaintEvent*) {
    const bool pressed = paintPressed_;
    paintPressed_ = false;
    QPainter painter(this);
    const Image* image = pressed ? &pressed_ : current_;
    if (mode_ != Mode::HotArea && image && !image->pixels.isNull())
        painter.drawImage(0, 0, image->pixels);
    if (!hasFocus()) return;
    if (mode_ == Mode::HotArea) {
        // An area has no picture of its own: the focus is a bar across it.
        painter.fillRect(rect().adjusted(0, 1, 0, -1), kFocusColor);
        return;
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kFocusShadow, 4));
    painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 6, 6);
    painter.setPen(QPen(kFocusColor, 2));
    painter.drawRoundedRect(QRectF(rect()).adjusted(2, 2, -2, -2), 6, 6);
}

void CBmpButton::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) &&
        !event->isAutoRepeat()) {
        event->accept();
        Press();
        return;
    }
    CSkinWnd::keyPressEvent(event);
}

void CBmpButton::focusInEvent(QFocusEvent* event) {
    CSkinWnd::focusInEvent(event);
    update();
}

void CBmpButton::focusOutEvent(QFocusEvent* event) {
    CSkinWnd::focusOutEvent(event);
    update();
}

bool CBmpButton::Covers(QPointF local) const {
    const QPoint p = local.toPoint();
    return rect().contains(p) && (mask().isEmpty() || mask().contains(p));
}

CSkinWnd* CBmpButton::SkinPartAt(QPoint global) const {
    QWidget* top = window();
    // Another window in front of ours takes the pointer itself.
    if (QWidget* front = QApplication::topLevelAt(global); front && front != top) return nullptr;
    const QPoint local = top->mapFromGlobal(global);
    if (!top->rect().contains(local) || (!top->mask().isEmpty() && !top->mask().contains(local)))
        return nullptr;
    QWidget* part = top->childAt(local);
    return qobject_cast<CSkinWnd*>(part ? part : top);
}

// The pointer is over `part` (none: over nothing of the window) and no
// longer over the part that had the moves before.
void CBmpButton::FollowPointerTo(QWidget* part) {
    if (moveTarget_ && moveTarget_ != part) {
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(moveTarget_, &leave);
    }
    moveTarget_ = part;
}

bool CBmpButton::HandledElsewhere(QMouseEvent* event) {
    if (Covers(event->position())) {
        FollowPointerTo(nullptr);
        return false;
    }
    if (inside_) PointerLeft();
    const QPoint global = event->globalPosition().toPoint();
    CSkinWnd* part = SkinPartAt(global);
    if (part == this) part = nullptr;
    FollowPointerTo(part);
    // After the release the toolkit tracks the pointer again.
    if (event->type() == QEvent::MouseButtonRelease) moveTarget_ = nullptr;
    if (part) {
        QMouseEvent handed(event->type(), QPointF(part->mapFromGlobal(global)),
                           event->globalPosition(), event->button(), event->buttons(),
                           event->modifiers(), event->pointingDevice());
        QCoreApplication::sendEvent(part, &handed);
    }
    return true;
}

void CBmpButton::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (HandledElsewhere(event)) return;
    inside_ = true;
    if (!pointer_.Enter()) return;
    current_ = &hover_;
    RepaintUnlessHidden();
}

void CBmpButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || pointer_.Disabled()) return;
    inside_ = true;
    if (!pointer_.Press(HitTest(event->position().toPoint()))) return;
    if (mode_ == Mode::HotArea) return;
    paintPressed_ = true;
    Repaint();
}

void CBmpButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (HandledElsewhere(event)) return;
    if (event->button() != Qt::LeftButton || pointer_.Disabled()) return;
    if (pointer_.Release(HitTest(event->position().toPoint()))) {
        if (CSkinWnd* parent = GetParentObject()) parent->OnCommand(GetControlId());
    }
    RepaintUnlessHidden();
}

void CBmpButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // A second click in quick succession is a press like the first.
    mousePressEvent(event);
}

void CBmpButton::leaveEvent(QEvent*) {
    PointerLeft();
}

void CBmpButton::PointerLeft() {
    inside_ = false;
    if (!pointer_.Leave()) return;
    current_ = &normal_;
    RepaintUnlessHidden();
}

}  // namespace velmora
