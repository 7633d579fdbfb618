#pragma once
// Announces a standing error as a desktop notification
// (org.freedesktop.Notifications on the session bus) where no tray icon can
// show it. The notification offers the error dialog's two ways on.

#include <QObject>
#include <QString>
#include <QStringList>

class QDBusPendingCallWatcher;

namespace velmora {

inline constexpr char kNotifyActionTrouble[] = "troubleshooting";
inline constexpr char kNotifyActionDetails[] = "details";

class ErrorNotifier : public QObject {
    Q_OBJECT
  public:
    explicit ErrorNotifier(QObject* parent = nullptr);

    // Sends one notification, replacing the one this notifier showed last.
    // `unanswered` follows when no notification server takes it.
    void Notify(const QString& summary, const QString& body);

    // Action keys and labels, in the order the server gets them.
    static QStringList Actions();

  signals:
    void troubleshootingChosen();
    void detailsChosen();
    void unanswered();

  private slots:
    void OnActionInvoked(uint id, const QString& key);
    void OnClosed(uint id, uint reason);

  private:
    void OnReply(QDBusPendingCallWatcher* call);

    bool listening_ = false;
    uint shown_ = 0;  // id of the notification on screen, 0 for none
};

// One notification without actions, from a program about to end (a start
// that cannot run): waits for the server's answer; true when one took it.
bool NotifyBeforeTheEnd(const QString& summary, const QString& body);

}  // namespace velmora
