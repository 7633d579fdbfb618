#include "desktop/tray/tray_icon.h"

#include <QCoreApplication>

#include "desktop/tray/tray_host_watcher.h"
#include "desktop/tray/tray_notify_event.h"

namespace velmora {

CTrayIcon::CTrayIcon(QObject* sheet, QObject* parent)
    : QObject(parent), sheet_(sheet), watcher_(new TrayHostWatcher(this)) {
    connect(&tray_, &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
    connect(watcher_, &TrayHostWatcher::recreated, this, &CTrayIcon::hostRecreated);
}

CTrayIcon::~CTrayIcon() = default;

bool CTrayIcon::Add(const QIcon& icon, const QString& tip) {
    tray_.setIcon(icon);
    tray_.setToolTip(tip);
    // Hiding first makes the icon dock again with a tray host that replaced the old one.
    tray_.hide();
    tray_.show();
    added_ = true;
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::SetIcon(const QIcon& icon) {
    tray_.setIcon(icon);
}

void CTrayIcon::SetTip(const QString& tip) {
    tray_.setToolTip(tip);
}

void CTrayIcon::Remove() {
    tray_.hide();
    added_ = false;
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    int message = 0;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            message = kWmLButtonDown;
            break;
        case QSystemTrayIcon::Context:
            message = kWmRButtonDown;
            break;
        default:
            return;
    }
    QCoreApplication::postEvent(sheet_, new TrayNotifyEvent(kTrayIconId, message));
}

}  // namespace velmora
