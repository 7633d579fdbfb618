#pragma once
// What the tool sheet asks of the tray: add and remove the icon, pick one of
// its four images, set the tooltip, blink. The tray presenter stands behind
// it; tests record the calls.

#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "core/delivery/delivery_ui.h"

class QMenu;
class QObject;

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
    // The menu a status notifier host shows itself.
    virtual void SetExportedMenu(QMenu* menu) = 0;
    // No tray host shows the icon.
    virtual bool WithoutTray() const = 0;
};

// The images the tray starts with and the object its clicks are posted to
// (as UM_TRAYNOTIFY events).
struct TrayArtwork {
    QImage normal;
    QImage blink;
};
using TrayFactory =
    std::function<std::unique_ptr<TrayPort>(const TrayArtwork& artwork, QObject* clicksTo)>;

}  // namespace velmora
