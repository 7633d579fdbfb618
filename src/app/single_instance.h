#pragma once
// One running copy per user and instance name. A lock file plays the named
// mutex; a local socket plays the window property by which a second start
// finds the running copy. The first copy listens as soon as it holds the
// lock and keeps what second starts send until the tool sheet takes it.

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace velmora {

// How long a second start waits for the running copy to listen.
inline constexpr int kHandOverWaitMs = 5000;

class SingleInstance : public QObject {
    Q_OBJECT
  public:
    enum class Start {
        First,       // this copy holds the lock
        HandedOver,  // another copy runs and was sent 1057 and 1058
        NoAnswer,    // another copy holds the lock but never listened; Problem() says so
        Unusable,    // the lock or the socket cannot be used; Problem() says why
    };

    // Files in `folder` (default: RuntimeFolder()) named after the instance.
    // Only files and copies of this user are trusted.
    explicit SingleInstance(const QString& instanceName, const QString& folder = {},
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    void SetHandOverWaitMs(int ms) { handOverWaitMs_ = ms; }

    // Takes the lock and listens; a lock whose holder is gone (a crashed copy)
    // is taken over. Otherwise hands over to the running copy, waiting for it
    // to listen when it has only just started.
    Start Acquire();
    // Why the last Acquire or Listen failed: one line naming the file.
    const QString& Problem() const { return problem_; }
    // What the start did that the user should know of though it went on
    // (another runtime folder, a lock taken over): lines for stderr.
    const QStringList& Notes() const { return notes_; }

    // After Acquire gave First to a copy that only hands over a command (終了):
    // a copy that was started an instant earlier may not hold the lock yet.
    // While one runs, waits for it to hand over to this copy, as it does to
    // any running copy, and so end. True when one did.
    bool AwaitStartingCopy();

    // What a hand-over sends instead of 1057 and 1058: one tray menu command
    // (ツール, バージョン情報, 終了), posted to the receiver as a
    // MenuCommandEvent. 0 goes back to the plain second start.
    void SetHandOverCommand(int command);

    // Passes what second starts send (1057, 1058) to `receiver`, each as an
    // event of that type posted to it, and each menu command as a
    // MenuCommandEvent; those that came before are passed on now. Starts
    // listening when Acquire did not; false when that fails.
    bool Listen(QObject* receiver);
    void StopListening();
    bool Listening() const { return server_ && server_->isListening(); }

    QString LockPath() const;
    QString SocketPath() const;

    // $XDG_RUNTIME_DIR when it is this user's alone (owned, mode 0700); else
    // $TMPDIR/runtime-<user>, made so when missing (`notes` says why when
    // XDG_RUNTIME_DIR was set). Empty, with `problem`, when neither is private.
    static QString RuntimeFolder(QStringList* notes = nullptr, QString* problem = nullptr);

  private:
    bool TakeLock(bool& held);
    bool TakeOverLockOfAnotherHost();
    bool OpenSocket();
    Start HandOver();
    void OnConnection();
    void Deliver(int message);

    QString name_;
    QString folder_;
    int handOverWaitMs_ = kHandOverWaitMs;
    QString problem_;
    QString folderProblem_;
    QStringList notes_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    QObject* receiver_ = nullptr;
    std::vector<int> waiting_;  // received before there was a receiver
    int handOverCommand_ = 0;
    int accepted_ = 0;  // connections of this user's starts
};

}  // namespace velmora
