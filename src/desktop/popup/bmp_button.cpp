#include "desktop/popup/bmp_button.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include "desktop/popup/popup_resources.h"

namespace velmora {

CBmpButton::CBmpButton() : CSkinWnd(nullptr) {}

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
    disabled_ = disabled;
    current_ = disabled ? &disabledImage_ : &normal_;
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
    if (mode_ == Mode::HotArea) return;
    const Image* image = pressed ? &pressed_ : current_;
    if (!image || image->pixels.isNull()) return;
    QPainter painter(this);
    painter.drawImage(0, 0, image->pixels);
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
    if (disabled_ || hovering_ || down_) return;
    hovering_ = true;
    current_ = &hover_;
    RepaintUnlessHidden();
}

void CBmpButton::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton || disabled_) return;
    inside_ = true;
    down_ = true;
    hovering_ = false;
    if (!HitTest(event->position().toPoint())) return;
    if (mode_ == Mode::HotArea) return;
    paintPressed_ = true;
    Repaint();
}

void CBmpButton::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (HandledElsewhere(event)) return;
    if (event->button() != Qt::LeftButton || disabled_) return;
    down_ = false;
    if (HitTest(event->position().toPoint())) {
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
    if (disabled_) return;
    hovering_ = false;
    down_ = false;
    current_ = &normal_;
    RepaintUnlessHidden();
}

}  // namespace velmora
