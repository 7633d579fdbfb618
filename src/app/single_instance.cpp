#include "app/single_instance.h"

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QLocalSocket>
#include <QStandardPaths>

#include "app/menu_commands.h"
#include "app/messages.h"

namespace velmora {
namespace {

constexpr int kConnectMs = 1000;
constexpr int kWriteMs = 1000;

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

SingleInstance::Start SingleInstance::Acquire() {
    QDir().mkpath(folder_);
    lock_ = std::make_unique<QLockFile>(LockPath());
    // Age never makes the lock stale; only a holder that no longer runs does.
    lock_->setStaleLockTime(0);
    if (lock_->tryLock(0)) return Start::First;
    // A lock that cannot be created at all (no folder, no permission): start
    // as the first copy, as when the mutex cannot be made.
    if (lock_->error() != QLockFile::LockFailedError) {
        lock_.reset();
        return Start::First;
    }
    lock_.reset();
    return HandOver();
}

void SingleInstance::SetHandOverCommand(int command) {
    handOverCommand_ = HandedOverCommand(command) ? command : 0;
}

SingleInstance::Start SingleInstance::HandOver() {
    QLocalSocket socket;
    socket.connectToServer(SocketPath());
    if (!socket.waitForConnected(kConnectMs)) return Start::NoAnswer;
    if (handOverCommand_ != 0) {
        socket.write(QByteArray::number(handOverCommand_) + '\n');
    } else {
        socket.write(QByteArrayLiteral("1057\n1058\n"));
    }
    socket.flush();
    if (socket.bytesToWrite() > 0) socket.waitForBytesWritten(kWriteMs);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState) socket.waitForDisconnected(kWriteMs);
    return Start::HandedOver;
}

bool SingleInstance::Listen(QObject* receiver) {
    receiver_ = receiver;
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket file left by a crashed copy; safe to remove while holding the lock.
    QLocalServer::removeServer(SocketPath());
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
    if (server_->listen(SocketPath())) return true;
    server_.reset();
    return false;
}

void SingleInstance::StopListening() {
    if (!server_) return;
    server_->close();
    server_.reset();
}

void SingleInstance::OnConnection() {
    while (QLocalSocket* socket = server_ ? server_->nextPendingConnection() : nullptr) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            while (socket->canReadLine()) {
                const QByteArray line = socket->readLine(16).trimmed();
                const int number = line.toInt();
                // Only the hand-over messages and commands are accepted.
                if ((number == UM_SHOWNEWS || number == UM_FETCHNEWS) && receiver_) {
                    QCoreApplication::postEvent(receiver_, new QEvent(QEvent::Type(number)));
                } else if (HandedOverCommand(number) && receiver_) {
                    QCoreApplication::postEvent(receiver_, new MenuCommandEvent(number));
                }
            }
            // A peer that sends anything else is not listened to any longer.
            if (socket->bytesAvailable() > 64) socket->abort();
        });
    }
}

}  // namespace velmora
