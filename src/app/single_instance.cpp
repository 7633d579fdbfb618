#include "app/single_instance.h"

#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include "app/menu_commands.h"
#include "desktop/common/messages.h"

namespace velmora {
namespace {

constexpr int kConnectMs = 1000;
constexpr int kWriteMs = 1000;
constexpr int kRetryMs = 25;

// The commands another start may hand over; ヘルプ has no desktop action.
bool HandedOverCommand(int number) {
    return number == kCmdTool || number == kCmdAbout || number == kCmdExit;
}

}  // namespace

SingleInstance::SingleInstance(const QString& instanceName, const QString& folder, QObject* parent)
    : QObject(parent), name_(instanceName), folder_(folder.isEmpty() ? RuntimeFolder() : folder) {}

SingleInstance::~SingleInstance() {
    StopListening();
}

QString SingleInstance::RuntimeFolder() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QDir(runtime).exists()) return runtime;
    // Creates /tmp/runtime-<user> with mode 0700 when needed.
    return QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
}

QString SingleInstance::LockPath() const {
    return folder_ + QStringLiteral("/%1.%2.lock").arg(name_).arg(getuid());
}

QString SingleInstance::SocketPath() const {
    return folder_ + QStringLiteral("/%1.%2.socket").arg(name_).arg(getuid());
}

// False when the lock cannot be used at all; otherwise `held` tells whether
// this copy holds it now.
bool SingleInstance::TakeLock(bool& held) {
    held = false;
    // The lock would take a directory for another copy's lock.
    if (QFileInfo(LockPath()).isDir()) {
        problem_ = QStringLiteral("cannot use the lock file %1: it is a directory").arg(LockPath());
        return false;
    }
    auto lock = std::make_unique<QLockFile>(LockPath());
    // Age never makes the lock stale; only a holder that no longer runs does.
    lock->setStaleLockTime(0);
    held = lock->tryLock(0);
    if (held) {
        lock_ = std::move(lock);
        return true;
    }
    if (lock->error() == QLockFile::LockFailedError) return true;
    const QString why = lock->error() == QLockFile::PermissionError
                            ? QStringLiteral("permission denied")
                            : QStringLiteral("it cannot be created");
    problem_ = QStringLiteral("cannot use the lock file %1: %2").arg(LockPath(), why);
    return false;
}

SingleInstance::Start SingleInstance::Acquire() {
    problem_.clear();
    if (!QDir().mkpath(folder_)) {
        problem_ = QStringLiteral("cannot create the folder %1 for the lock file").arg(folder_);
        return Start::Unusable;
    }
    // Checked first: a path the socket cannot have would make every start wait in vain.
    const QByteArray socketPath = QFile::encodeName(SocketPath());
    if (static_cast<std::size_t>(socketPath.size()) >= sizeof(sockaddr_un::sun_path)) {
        problem_ = QStringLiteral(
                       "the socket path %1 is too long (%2 bytes, at most %3); "
                       "set XDG_RUNTIME_DIR to a shorter folder")
                       .arg(SocketPath())
                       .arg(socketPath.size())
                       .arg(sizeof(sockaddr_un::sun_path) - 1);
        return Start::Unusable;
    }
    bool held = false;
    if (!TakeLock(held)) return Start::Unusable;
    if (!held) return HandOver();
    return OpenSocket() ? Start::First : Start::Unusable;
}

void SingleInstance::SetHandOverCommand(int command) {
    handOverCommand_ = HandedOverCommand(command) ? command : 0;
}

SingleInstance::Start SingleInstance::HandOver() {
    // The running copy may have taken the lock an instant ago and not listen
    // yet: wait for it, and take its place should it end meanwhile.
    const QDeadlineTimer deadline(handOverWaitMs_);
    for (;;) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(kConnectMs)) {
            if (handOverCommand_ != 0) {
                socket.write(QByteArray::number(handOverCommand_) + '\n');
            } else {
                socket.write(QByteArrayLiteral("1057\n1058\n"));
            }
            socket.flush();
            if (socket.bytesToWrite() > 0) socket.waitForBytesWritten(kWriteMs);
            socket.disconnectFromServer();
            if (socket.state() != QLocalSocket::UnconnectedState)
                socket.waitForDisconnected(kWriteMs);
            return Start::HandedOver;
        }
        bool held = false;
        if (!TakeLock(held)) return Start::Unusable;
        if (held) return OpenSocket() ? Start::First : Start::Unusable;
        if (deadline.hasExpired()) break;
        QThread::msleep(kRetryMs);
    }
    problem_ = QStringLiteral("another copy holds %1 but does not answer on %2")
                   .arg(LockPath(), SocketPath());
    return Start::NoAnswer;
}

bool SingleInstance::OpenSocket() {
    if (Listening()) return true;
    const QString path = SocketPath();
    if (QFileInfo(path).isDir()) {
        problem_ = QStringLiteral("cannot listen on %1: it is a directory; remove it").arg(path);
        return false;
    }
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a crashed copy; safe to remove while holding the lock.
    QLocalServer::removeServer(path);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    if (server_->listen(path)) return true;
    problem_ = QStringLiteral("cannot listen on %1: %2").arg(path, server_->errorString());
    server_.reset();
    return false;
}

bool SingleInstance::Listen(QObject* receiver) {
    receiver_ = receiver;
    if (!OpenSocket()) return false;
    if (receiver_) {
        for (const int message : std::exchange(waiting_, {})) Deliver(message);
    }
    return true;
}

void SingleInstance::StopListening() {
    receiver_ = nullptr;
    if (!server_) return;
    server_->close();
    server_.reset();
}

void SingleInstance::Deliver(int message) {
    if (receiver_ && HandedOverCommand(message)) {
        QCoreApplication::postEvent(receiver_, new MenuCommandEvent(message));
    } else if (receiver_) {
        QCoreApplication::postEvent(receiver_, new QEvent(QEvent::Type(message)));
    } else if (waiting_.size() < 64) {
        waiting_.push_back(message);
    }
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        const auto read = [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(16).trimmed();
                const int number = line.toInt();
                // Only the hand-over messages and commands are accepted.
                if (number == UM_SHOWNEWS || number == UM_FETCHNEWS || HandedOverCommand(number))
                    Deliver(number);
            }
            // A peer that sends anything else is not listened to any longer.
            if (socket->bytesAvailable() > 64) socket->abort();
        };
        connect(socket, &QLocalSocket::readyRead, this, read);
        // A second start that wrote and left before the connection was taken.
        if (socket->bytesAvailable() > 0) read();
    }
}

}  // namespace velmora
