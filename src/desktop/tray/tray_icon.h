#pragma once
// The tray icon: add, change image, change tooltip, remove. Clicks reach the
// tool sheet as posted UM_TRAYNOTIFY events, as the shell's callback would.
//
// The toolkit picks its tray kind (XEmbed or a status notifier item on the
// session bus) once, when the first icon is made. So the icon is made only
// once a tray host is there; until then the program has no tray at all.

#include <QIcon>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>
#include <QSystemTrayIcon>
#include <memory>

class QMenu;

namespace velmora {

class TrayHostWatcher;

class CTrayIcon : public QObject {
    Q_OBJECT
  public:
    // `sheet` receives the UM_TRAYNOTIFY events.
    explicit CTrayIcon(QObject* sheet, QObject* parent = nullptr);
    ~CTrayIcon() override;

    // Shows the icon with `icon` and `tip`; shown again even when it was shown.
    bool Add(const QIcon& icon, const QString& tip);
    void SetIcon(const QIcon& icon);
    void SetTip(const QString& tip);
    void Remove();

    // The menu a status notifier host shows itself (exported over D-Bus). An
    // XEmbed tray never gets it: there the sheet opens its menu at the pointer.
    void SetExportedMenu(QMenu* menu);

    bool Added() const { return added_; }
    QString Tip() const { return tip_; }
    QIcon Icon() const { return icon_; }

    // The tray is the status notifier item on the session bus.
    bool OnStatusNotifierHost() const { return tray_ && statusNotifier_; }
    // On a desktop with neither kind of tray host nobody sees the icon.
    bool NoHost() const;

    // Where the program's shown tray icon is on the desktop: the popup keeps
    // to that monitor. Empty when there is none or its host does not say (a
    // status notifier host never does).
    static QRect ShownGeometry();

  signals:
    // The desktop's tray host was started anew (its panel restarted), or one
    // appeared where there was none: the icon must be added again.
    void hostRecreated();

  private:
    void MakeTray();
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QObject* sheet_;
    std::unique_ptr<QSystemTrayIcon> tray_;
    TrayHostWatcher* watcher_ = nullptr;
    QPointer<QMenu> menu_;
    QIcon icon_;
    QString tip_;
    bool statusNotifier_ = false;
    bool added_ = false;
};

}  // namespace velmora
