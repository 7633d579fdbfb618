#include "app/error_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <QVariantMap>
#include <cstdio>
#include <cstdlib>

namespace velmora {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");
const QString kInterface = QStringLiteral("org.freedesktop.Notifications");
// A server that takes longer than this is as good as none: the dialog shows.
constexpr int kAnswerMs = 5000;

bool HaveSessionBus() {
    return std::getenv("DBUS_SESSION_BUS_ADDRESS") && QDBusConnection::sessionBus().isConnected();
}

// The Notify call of the notification specification; `urgent` for an error
// the program ends with, which the server keeps in view.
QDBusMessage NotifyCall(const QString& summary, const QString& body, uint replaces,
                        const QStringList& actions, bool urgent) {
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("velmora"));
    if (urgent) hints.insert(QStringLiteral("urgency"), QVariant::fromValue(uchar{2}));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Notify"));
    call << QStringLiteral("ヴェルモラ") << replaces << QStringLiteral("velmora") << summary << body
         << actions << hints << -1;
    return call;
}

}  // namespace

ErrorNotifier::ErrorNotifier(QObject* parent) : QObject(parent) {}

QStringList ErrorNotifier::Actions() {
    return {QString::fromLatin1(kNotifyActionTrouble), QStringLiteral("トラブルシューティング"),
            QString::fromLatin1(kNotifyActionDetails), QStringLiteral("詳細")};
}

void ErrorNotifier::Notify(const QString& summary, const QString& body) {
    if (!HaveSessionBus()) {
        std::fprintf(stderr,
                     "velmora: no session bus for desktop notifications; "
                     "showing the error dialog instead\n");
        QTimer::singleShot(0, this, &ErrorNotifier::unanswered);
        return;
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!listening_) {
        bus.connect(kService, kPath, kInterface, QStringLiteral("ActionInvoked"), this,
                    SLOT(OnActionInvoked(uint, QString)));
        bus.connect(kService, kPath, kInterface, QStringLiteral("NotificationClosed"), this,
                    SLOT(OnClosed(uint, uint)));
        listening_ = true;
    }
    const QDBusMessage call = NotifyCall(summary, body, shown_, Actions(), false);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kAnswerMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &ErrorNotifier::OnReply);
}

bool NotifyBeforeTheEnd(const QString& summary, const QString& body) {
    if (!HaveSessionBus()) return false;
    const QDBusMessage reply = QDBusConnection::sessionBus().call(
        NotifyCall(summary, body, 0, {}, true), QDBus::Block, kAnswerMs);
    return reply.type() == QDBusMessage::ReplyMessage;
}

void ErrorNotifier::OnReply(QDBusPendingCallWatcher* call) {
    call->deleteLater();
    const QDBusPendingReply<uint> reply = *call;
    if (reply.isError()) {
        std::fprintf(stderr,
                     "velmora: no desktop notification server answered (%s); "
                     "showing the error dialog instead\n",
                     qPrintable(reply.error().message()));
        shown_ = 0;
        emit unanswered();
        return;
    }
    shown_ = reply.value();
}

void ErrorNotifier::OnActionInvoked(uint id, const QString& key) {
    if (id == 0 || id != shown_) return;
    if (key == QLatin1String(kNotifyActionTrouble)) {
        emit troubleshootingChosen();
    } else if (key == QLatin1String(kNotifyActionDetails) || key == QLatin1String("default")) {
        emit detailsChosen();
    }
}

void ErrorNotifier::OnClosed(uint id, uint) {
    if (id == shown_) shown_ = 0;
}

}  // namespace velmora
