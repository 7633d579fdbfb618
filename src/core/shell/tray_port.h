#pragma once
// What the tool sheet asks of the tray: add and remove the icon, pick one of
// its four images, set the tooltip, blink. Each desktop's tray stands behind
// it; tests record the calls.

#include <string>

#include "core/delivery/delivery_ui.h"

namespace velmora {

class TrayPort {
  public:
    virtual ~TrayPort() = default;
    // Shows the icon with the normal image and string 109 as its tooltip;
    // false when no tray shows it.
    virtual bool Add() = 0;
    // Takes the icon away for good: a later tray host gets none.
    virtual void Remove() = 0;
    virtual void SetImage(TrayImage image) = 0;
    // `cp932` is cut to the tooltip's limit.
    virtual void SetTip(const std::string& cp932) = 0;
    // The icon alternates between the normal and the blink image until stopped.
    virtual void StartBlinking() = 0;
    virtual void StopBlinking() = 0;
    // No tray host shows the icon.
    virtual bool WithoutTray() const = 0;
};

}  // namespace velmora
