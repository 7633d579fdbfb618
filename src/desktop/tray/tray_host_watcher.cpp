#include "desktop/tray/tray_host_watcher.h"

#include <xcb/xcb.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
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
    x11_ = true;
    if (managerAtom_ && traySelection_)
        QCoreApplication::instance()->installNativeEventFilter(this);
}

bool TrayHostWatcher::XEmbedHostPresent() const {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection() || !traySelection_) return false;
    xcb_connection_t* c = x11->connection();
    xcb_get_selection_owner_reply_t* reply =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, traySelection_), nullptr);
    if (!reply) return false;
    const bool owned = reply->owner != XCB_NONE;
    std::free(reply);
    return owned;
}

bool TrayHostWatcher::StatusNotifierHostPresent() {
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    const QString watcher = QString::fromLatin1(kStatusNotifierWatcher);
    if (!bus.interface()->isServiceRegistered(watcher)) return false;
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    constexpr int kAskMs = 2000;
    const QDBusMessage reply = bus.call(get, QDBus::Block, kAskMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

bool TrayHostWatcher::HostPresent() const {
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("xcb") && !platform.startsWith(QLatin1String("wayland")))
        return true;
    return (x11_ && XEmbedHostPresent()) || StatusNotifierHostPresent();
}

void TrayHostWatcher::WatchStatusNotifier() {
    // Without a session bus address nothing is watched (and no bus is launched for it).
    if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    auto* watcher = new QDBusServiceWatcher(QString::fromLatin1(kStatusNotifierWatcher), bus,
                                            QDBusServiceWatcher::WatchForRegistration, this);
    connect(watcher, &QDBusServiceWatcher::serviceRegistered, this,
            [this] { QTimer::singleShot(0, this, &TrayHostWatcher::recreated); });
    // A panel may register as host only after the watcher came up.
    bus.connect(QString(), QStringLiteral("/StatusNotifierWatcher"),
                QString::fromLatin1(kStatusNotifierWatcher),
                QStringLiteral("StatusNotifierHostRegistered"), this, SLOT(OnHostRegistered()));
}

void TrayHostWatcher::OnHostRegistered() {
    QTimer::singleShot(0, this, &TrayHostWatcher::recreated);
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
