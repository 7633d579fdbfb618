#pragma once
// The tray icon: add, change image, change tooltip, remove. Clicks reach the
// tool sheet as posted UM_TRAYNOTIFY events, as the shell's callback would.

#include <QIcon>
#include <QObject>
#include <QString>
#include <QSystemTrayIcon>

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

    bool Added() const { return added_; }
    QString Tip() const { return tray_.toolTip(); }
    QIcon Icon() const { return tray_.icon(); }

  signals:
    // The desktop's tray host was started anew (its panel restarted): the
    // icon must be added again.
    void hostRecreated();

  private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);

    QObject* sheet_;
    QSystemTrayIcon tray_;
    TrayHostWatcher* watcher_ = nullptr;
    bool added_ = false;
};

}  // namespace velmora
