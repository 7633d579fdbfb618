#include "desktop_session.h"

#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <cstdlib>
#include <cstring>

namespace velmora::test_support {
namespace {

constexpr int kStartMs = 15000;

xcb_atom_t Atom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
    if (!reply) return XCB_NONE;
    const xcb_atom_t atom = reply->atom;
    std::free(reply);
    return atom;
}

void EndProcess(std::unique_ptr<QProcess>& p) {
    if (!p) return;
    if (p->state() != QProcess::NotRunning) {
        p->terminate();
        if (!p->waitForFinished(5000)) {
            p->kill();
            p->waitForFinished(5000);
        }
    }
    p.reset();
}

}  // namespace

DesktopSession::~DesktopSession() {
    Stop();
}

bool DesktopSession::Start(std::string& why) {
    return StartX(why) && StartBus(why);
}

void DesktopSession::Stop() {
    if (!connectionName_.isEmpty()) {
        QDBusConnection::disconnectFromBus(connectionName_);
        connectionName_.clear();
    }
    EndProcess(bus_);
    xserver_.Stop();
}

bool DesktopSession::StartX(std::string& why) {
    const std::string display = xserver_.Start();
    if (display.empty()) {
        why = "Xvfb is not installed or names no display";
        return false;
    }
    display_ = QString::fromStdString(display);
    return true;
}

bool DesktopSession::StartBus(std::string& why) {
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (daemon.isEmpty()) {
        why = "dbus-daemon is not installed";
        return false;
    }
    bus_ = std::make_unique<QProcess>();
    bus_->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    bus_->start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                         QStringLiteral("--print-address")});
    if (!bus_->waitForStarted(kStartMs)) {
        why = "dbus-daemon does not start";
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!bus_->canReadLine() && clock.elapsed() < kStartMs) bus_->waitForReadyRead(100);
    busAddress_ = QString::fromUtf8(bus_->readLine()).trimmed();
    if (busAddress_.isEmpty()) {
        why = "dbus-daemon printed no address";
        return false;
    }
    connectionName_ = QStringLiteral("velmora-test-%1").arg(display_);
    if (!Bus().isConnected()) {
        why = "cannot connect to the private bus";
        return false;
    }
    return true;
}

QDBusConnection DesktopSession::Bus() const {
    return QDBusConnection::connectToBus(busAddress_, connectionName_);
}

std::vector<MappedWindow> DesktopSession::Windows() const {
    std::vector<MappedWindow> windows;
    xcb_connection_t* c = xcb_connect(display_.toLatin1().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return windows;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t netName = Atom(c, "_NET_WM_NAME");
    const xcb_atom_t utf8 = Atom(c, "UTF8_STRING");
    xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr);
    if (tree) {
        const xcb_window_t* children = xcb_query_tree_children(tree);
        for (int i = 0; i < xcb_query_tree_children_length(tree); ++i) {
            const xcb_window_t w = children[i];
            xcb_get_window_attributes_reply_t* attrs =
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
            const bool viewable = attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
            std::free(attrs);
            if (!viewable) continue;
            MappedWindow mapped;
            xcb_get_property_reply_t* name = xcb_get_property_reply(
                c, xcb_get_property(c, 0, w, netName, utf8, 0, 256), nullptr);
            if (name) {
                mapped.title.assign(static_cast<const char*>(xcb_get_property_value(name)),
                                    static_cast<std::size_t>(xcb_get_property_value_length(name)));
                std::free(name);
            }
            xcb_get_geometry_reply_t* geometry =
                xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
            if (geometry) {
                mapped.x = geometry->x;
                mapped.y = geometry->y;
                mapped.width = geometry->width;
                mapped.height = geometry->height;
                std::free(geometry);
            }
            windows.push_back(mapped);
        }
        std::free(tree);
    }
    xcb_disconnect(c);
    return windows;
}

bool DesktopSession::FindWindow(const std::string& title, MappedWindow* found) const {
    for (const MappedWindow& w : Windows()) {
        if (w.title != title) continue;
        if (found) *found = w;
        return true;
    }
    return false;
}

}  // namespace velmora::test_support
