#include "desktop/tray/tray_icon.h"

#include <QCoreApplication>
#include <QMenu>

#include "desktop/tray/tray_host_watcher.h"
#include "desktop/tray/tray_notify_event.h"

namespace velmora {

namespace {
// The program has one tray icon; the last one made is the one shown.
CTrayIcon* g_shownIcon = nullptr;
}  // namespace

CTrayIcon::CTrayIcon(QObject* sheet, QObject* parent)
    : QObject(parent), sheet_(sheet), watcher_(new TrayHostWatcher(this)) {
    connect(watcher_, &TrayHostWatcher::recreated, this, &CTrayIcon::hostRecreated);
    g_shownIcon = this;
}

CTrayIcon::~CTrayIcon() {
    if (g_shownIcon == this) g_shownIcon = nullptr;
}

QRect CTrayIcon::ShownGeometry() {
    if (!g_shownIcon || !g_shownIcon->added_ || !g_shownIcon->tray_) return {};
    return g_shownIcon->tray_->geometry();
}

bool CTrayIcon::NoHost() const {
    return !watcher_->HostPresent();
}

void CTrayIcon::MakeTray() {
    // The same question the toolkit asks when it makes the icon.
    statusNotifier_ = TrayHostWatcher::StatusNotifierHostPresent();
    tray_ = std::make_unique<QSystemTrayIcon>();
    connect(tray_.get(), &QSystemTrayIcon::activated, this, &CTrayIcon::OnActivated);
    if (statusNotifier_ && menu_) tray_->setContextMenu(menu_);
}

bool CTrayIcon::Add(const QIcon& icon, const QString& tip) {
    icon_ = icon;
    tip_ = tip;
    added_ = true;
    if (!tray_ && !watcher_->HostPresent()) return false;
    if (!tray_) MakeTray();
    tray_->setIcon(icon);
    tray_->setToolTip(tip);
    // The toolkit registers a status notifier item again by itself when the
    // watcher comes back; an XEmbed icon docks again with a new tray host
    // only when shown anew.
    if (!statusNotifier_ || !tray_->isVisible()) {
        tray_->hide();
        tray_->show();
    }
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void CTrayIcon::SetIcon(const QIcon& icon) {
    icon_ = icon;
    if (tray_) tray_->setIcon(icon);
}

void CTrayIcon::SetTip(const QString& tip) {
    tip_ = tip;
    if (tray_) tray_->setToolTip(tip);
}

void CTrayIcon::Remove() {
    if (tray_) tray_->hide();
    added_ = false;
}

void CTrayIcon::SetExportedMenu(QMenu* menu) {
    menu_ = menu;
    if (tray_ && statusNotifier_) tray_->setContextMenu(menu);
}

void CTrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    int message = 0;
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            message = kWmLButtonDown;
            break;
        case QSystemTrayIcon::Context:
            // A status notifier host shows the exported menu itself; one that
            // calls ContextMenu(x, y) instead gets it at the pointer.
            message = kWmRButtonDown;
            break;
        default:
            return;
    }
    QCoreApplication::postEvent(sheet_, new TrayNotifyEvent(kTrayIconId, message));
}

}  // namespace velmora
