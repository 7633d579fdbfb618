#pragma once
// One running copy per user and instance name. A lock file plays the named
// mutex; a local socket, listening only once the tool sheet is ready, plays
// the window property by which a second start finds the running copy.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace velmora {

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Start {
        First,       // this copy holds the lock
        HandedOver,  // another copy runs and was sent 1057 and 1058
        NoAnswer,    // another copy runs but does not answer yet; nothing sent
    };

    // Files in `folder` (default: RuntimeFolder()) named after the instance.
    explicit SingleInstance(const QString& instanceName, const QString& folder = {},
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // Takes the lock; a lock whose holder is gone (a crashed copy) is taken
    // over. Otherwise hands over to the running copy.
    Start Acquire();

    // What a hand-over sends instead of 1057 and 1058: one tray menu command
    // (ツール, バージョン情報, 終了), posted to the receiver as a
    // MenuCommandEvent. 0 goes back to the plain second start.
    void SetHandOverCommand(int command);

    // Starts answering second starts: each message number received (1057,
    // 1058) is posted to `receiver` as an event of that type, each menu
    // command as a MenuCommandEvent.
    bool Listen(QObject* receiver);
    void StopListening();
    bool Listening() const { return server_ && server_->isListening(); }

    QString LockPath() const;
    QString SocketPath() const;

    // $XDG_RUNTIME_DIR, or the toolkit's per-user runtime folder.
    static QString RuntimeFolder();

  private:
    Start HandOver();
    void OnConnection();

    QString name_;
    QString folder_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    QObject* receiver_ = nullptr;
    int handOverCommand_ = 0;
};

}  // namespace velmora
