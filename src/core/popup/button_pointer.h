#pragma once
// What the pointer does to an image button: hover, press, release and leave,
// and whether a release is a click. Each desktop's button feeds it the
// pointer's events and draws what it says. Qt-free.

namespace velmora {

// Which image the released button shows.
enum class ButtonLook { Normal, Hover, Disabled };

class ButtonPointer {
  public:
    // The pointer moved over the button. True when the hover image is taken
    // up now: repaint, and ask to be told when the pointer leaves.
    bool Enter();
    // The left button went down on the button; `hit` when on an opaque pixel.
    // True when the pressed image is to be drawn (it is not remembered).
    bool Press(bool hit);
    // The left button came up over the button. True when that is a click:
    // wherever the press was, as long as the point hits.
    bool Release(bool hit);
    // The pointer left: the held and the hover state go. True to repaint.
    bool Leave();
    void SetDisabled(bool disabled);

    ButtonLook Look() const { return look_; }
    bool Disabled() const { return disabled_; }
    bool Down() const { return down_; }

  private:
    ButtonLook look_ = ButtonLook::Normal;
    bool disabled_ = false;
    bool down_ = false;
    bool hovering_ = false;
};

}  // namespace velmora
