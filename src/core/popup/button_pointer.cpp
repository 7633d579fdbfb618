#include "core/popup/button_pointer.h"

namespace velmora {

bool ButtonPointer::Enter() {
    // Moves while the button is held change nothing.
    if (disabled_ || hovering_ || down_) return false;
    hovering_ = true;
    look_ = ButtonLook::Hover;
    return true;
}

bool ButtonPointer::Press(bool hit) {
    if (disabled_) return false;
    down_ = true;
    hovering_ = false;
    return hit;
}

bool ButtonPointer::Release(bool hit) {
    if (disabled_) return false;
    down_ = false;
    return hit;
}

bool ButtonPointer::Leave() {
    if (disabled_) return false;
    hovering_ = false;
    down_ = false;
    look_ = ButtonLook::Normal;
    return true;
}

void ButtonPointer::SetDisabled(bool disabled) {
    disabled_ = disabled;
    look_ = disabled ? ButtonLook::Disabled : ButtonLook::Normal;
}

}  // namespace velmora
