#pragma once
// The tray as the Qt desktop makes it: the core's TrayPort, the images it
// starts with, and the menu a status notifier host shows itself.

#include <QImage>
#include <functional>
#include <memory>

#include "core/shell/tray_port.h"

class QMenu;
class QObject;

namespace velmora {

// The images the tray starts with.
struct TrayArtwork {
    QImage normal;
    QImage blink;
};
// Clicks on the icon are posted to `clicksTo` (as UM_TRAYNOTIFY events);
// `exportedMenu` is the menu a status notifier host shows.
using TrayFactory = std::function<std::unique_ptr<TrayPort>(
    const TrayArtwork& artwork, QMenu* exportedMenu, QObject* clicksTo)>;

}  // namespace velmora
