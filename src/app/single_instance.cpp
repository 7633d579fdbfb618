#include "app/single_instance.h"

#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "app/menu_commands.h"
#include "core/platform/xdg_folders.h"
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

// Empty when `path` is a folder of this user that no one else may enter;
// otherwise why not. `followLink`: a link the user chose may lead there.
QString NotPrivate(const QString& path, bool followLink) {
    struct stat st {};
    const QByteArray name = QFile::encodeName(path);
    if ((followLink ? ::stat(name.constData(), &st) : ::lstat(name.constData(), &st)) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (!S_ISDIR(st.st_mode)) return QStringLiteral("it is not a folder");
    if (st.st_uid != ::getuid()) return QStringLiteral("it belongs to user %1").arg(st.st_uid);
    if ((st.st_mode & 07777) != 0700)
        return QStringLiteral("its mode is %1, not 0700").arg(st.st_mode & 07777, 4, 8, QChar('0'));
    return {};
}

QString UserName() {
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(::getuid());
}

// The user of the process at the other end of a local socket; -1 when unknown.
long PeerUid(qintptr descriptor) {
    ucred cred{};
    socklen_t length = sizeof cred;
    if (::getsockopt(static_cast<int>(descriptor), SOL_SOCKET, SO_PEERCRED, &cred, &length) != 0)
        return -1;
    return static_cast<long>(cred.uid);
}

// Another process of this user runs a program of this file name: a copy that
// is starting (or ending) and holds no lock.
bool AnotherCopyRuns() {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec).filename();
    if (ec) return false;
    const std::string ownPid = std::to_string(::getpid());
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid == ownPid || pid.find_first_not_of("0123456789") != std::string::npos) continue;
        struct stat st {};
        if (::stat(entry.path().c_str(), &st) != 0 || st.st_uid != ::getuid()) continue;
        std::error_code linkError;
        const fs::path exe = fs::read_symlink(entry.path() / "exe", linkError);
        if (!linkError && exe.filename() == self) return true;
    }
    return false;
}

}  // namespace

SingleInstance::SingleInstance(const QString& instanceName, const QString& folder, QObject* parent)
    : QObject(parent), name_(instanceName), folder_(folder) {
    if (folder_.isEmpty()) folder_ = RuntimeFolder(&notes_, &folderProblem_);
}

SingleInstance::~SingleInstance() {
    StopListening();
}

QString SingleInstance::RuntimeFolder(QStringList* notes, QString* problem) {
    // Another user who may write to the folder could fake our lock and socket
    // and so take the hand-over of every start.
    const QString fallback = QFile::decodeName(platform::TempFolder().c_str()) +
                             QStringLiteral("/runtime-") + UserName();
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        const QString why = NotPrivate(runtime, true);
        if (why.isEmpty()) return runtime;
        if (notes)
            *notes << QStringLiteral(
                          "XDG_RUNTIME_DIR %1 is not private to this user (%2); using %3")
                          .arg(runtime, why, fallback);
    }
    const QByteArray name = QFile::encodeName(fallback);
    ::mkdir(name.constData(), 0700);
    struct stat st {};
    // A folder of ours with a loose mode is tightened, as the toolkit does.
    if (::lstat(name.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
        ::chmod(name.constData(), 0700);
    const QString why = NotPrivate(fallback, false);
    if (why.isEmpty()) return fallback;
    if (problem)
        *problem = QStringLiteral(
                       "cannot use the runtime folder %1: %2; remove it, or set XDG_RUNTIME_DIR "
                       "to a folder of your own with mode 0700")
                       .arg(fallback, why);
    return {};
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
    if (lock->error() == QLockFile::LockFailedError) {
        struct stat st {};
        if (::stat(QFile::encodeName(LockPath()).constData(), &st) == 0 &&
            st.st_uid != ::getuid()) {
            problem_ = QStringLiteral(
                           "the lock file %1 belongs to user %2, not to this user; nothing is "
                           "handed over to it")
                           .arg(LockPath())
                           .arg(st.st_uid);
            return false;
        }
        return true;
    }
    const QString why = lock->error() == QLockFile::PermissionError
                            ? QStringLiteral("permission denied")
                            : QStringLiteral("it cannot be created");
    problem_ = QStringLiteral("cannot use the lock file %1: %2").arg(LockPath(), why);
    return false;
}

SingleInstance::Start SingleInstance::Acquire() {
    problem_.clear();
    if (folder_.isEmpty()) {
        problem_ = folderProblem_;
        return Start::Unusable;
    }
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
            if (const long uid = PeerUid(socket.socketDescriptor());
                uid != static_cast<long>(::getuid())) {
                problem_ = QStringLiteral(
                               "the copy answering on %1 runs as user %2, not as this user; "
                               "nothing is handed over to it")
                               .arg(SocketPath())
                               .arg(uid);
                return Start::Unusable;
            }
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
    if (TakeOverLockOfAnotherHost()) return OpenSocket() ? Start::First : Start::Unusable;
    if (!problem_.isEmpty()) return Start::Unusable;
    qint64 pid = 0;
    QString host, app;
    QLockFile(LockPath()).getLockInfo(&pid, &host, &app);
    problem_ = QStringLiteral(
                   "another copy (process %1) holds %2 but does not answer on %3; end it, or "
                   "remove %2 if it no longer runs")
                   .arg(pid)
                   .arg(LockPath(), SocketPath());
    return Start::NoAnswer;
}

// A lock written on another host (a shared folder) whose holder did not answer
// here: no copy of this host holds it, and none there could be reached through
// this socket anyway.
bool SingleInstance::TakeOverLockOfAnotherHost() {
    qint64 pid = 0;
    QString host, app;
    QLockFile other(LockPath());
    if (!other.getLockInfo(&pid, &host, &app) || host.isEmpty() ||
        host == QSysInfo::machineHostName())
        return false;
    bool held = false;
    if (!other.removeStaleLockFile() || !TakeLock(held) || !held) return false;
    notes_ << QStringLiteral(
                  "took over the lock file %1 left by host %2, whose copy does not "
                  "answer here")
                  .arg(LockPath(), host);
    return true;
}

bool SingleInstance::AwaitStartingCopy() {
    const QDeadlineTimer deadline(handOverWaitMs_);
    const int before = accepted_;
    while (Listening() && AnotherCopyRuns() && !deadline.hasExpired()) {
        // OnConnection takes what arrives.
        bool timedOut = false;
        server_->waitForNewConnection(kRetryMs, &timedOut);
        if (accepted_ != before) return true;
    }
    return accepted_ != before;
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
        // Only this user's own starts are listened to.
        if (PeerUid(socket->socketDescriptor()) != static_cast<long>(::getuid())) {
            socket->abort();
            continue;
        }
        ++accepted_;
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
