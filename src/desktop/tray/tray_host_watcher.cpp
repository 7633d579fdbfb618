#include "desktop/tray/tray_host_watcher.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QGuiApplication>
#include <QTimer>
#include <cstdlib>
#include <cstring>
#include <string>

namespace velmora {
namespace {

std::uint32_t InternAtom(xcb_connection_t* c, const std::string& name) {
    const xcb_intern_atom_cookie_t cookie =
        xcb_intern_atom(c, 0, static_cast<std::uint16_t>(name.size()), name.c_str());
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(c, cookie, nullptr);
    if (!reply) return 0;
    const std::uint32_t atom = reply->atom;
    std::free(reply);
    return atom;
}

// The screen number of $DISPLAY (":0.1" gives 1).
int DisplayScreen() {
    const char* display = std::getenv("DISPLAY");
    if (!display) return 0;
    const char* colon = std::strrchr(display, ':');
    const char* dot = colon ? std::strchr(colon, '.') : nullptr;
    return dot ? std::atoi(dot + 1) : 0;
}

}  // namespace

TrayHostWatcher::TrayHostWatcher(QObject* parent) : QObject(parent) {
    WatchX11();
    WatchStatusNotifier();
}

TrayHostWatcher::~TrayHostWatcher() {
    if (managerAtom_ && QCoreApplication::instance()) {
        QCoreApplication::instance()->removeNativeEventFilter(this);
    }
}

void TrayHostWatcher::WatchX11() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection()) return;
    xcb_connection_t* c = x11->connection();
    managerAtom_ = InternAtom(c, "MANAGER");
    traySelection_ = InternAtom(c, "_NET_SYSTEM_TRAY_S" + std::to_string(DisplayScreen()));
    if (managerAtom_ && traySelection_)
        QCoreApplication::instance()->installNativeEventFilter(this);
}

void TrayHostWatcher::WatchStatusNotifier() {
    // Without a session bus address nothing is watched (and no bus is launched for it).
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    auto* watcher = new QDBusServiceWatcher(QStringLiteral("org.kde.StatusNotifierWatcher"), bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this,
            [this] { QTimer::singleShot(0, this, &TrayHostWatcher::recreated); });
}

bool TrayHostWatcher::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (eventType != "xcb_generic_event_t") return false;
    const auto* event = static_cast<const xcb_generic_event_t*>(message);
    if ((event->response_type & 0x7F) != XCB_CLIENT_MESSAGE) return false;
    const auto* cm = static_cast<const xcb_client_message_event_t*>(message);
    if (cm->format == 32 && cm->type == managerAtom_ && cm->data.data32[1] == traySelection_) {
        // After the toolkit itself has seen the new tray.
        QTimer::singleShot(0, this, &TrayHostWatcher::recreated);
    }
    return false;
}

}  // namespace velmora
