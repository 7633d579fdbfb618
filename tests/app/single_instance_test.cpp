// One copy per user and name, with real processes: a second start hands over
// to the running copy (waiting for one that is still starting), reports one
// that never answers or a lock or socket it cannot use, or takes over the
// lock of a crashed one or of another host. Nothing of another user is trusted.

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <memory>

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "single_instance_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

class SingleInstanceTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        ASSERT_TRUE(folder_.isValid());
    }
    void TearDown() override {
        for (auto& p : holders_) {
            p->closeWriteChannel();
            if (!p->waitForFinished(5000)) p->kill();
        }
    }

    QProcess& Hold(const QString& name, const QString& mode = QStringLiteral("hold"),
                   const QStringList& extra = {}) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(VELMORA_INSTANCE_PROBE), QStringList{Dir(), name, mode} + extra);
        EXPECT_TRUE(p->waitForStarted(5000));
        EXPECT_TRUE(p->waitForReadyRead(10000));
        EXPECT_EQ(p->readLine().trimmed(), QByteArray("ready"));
        holders_.push_back(std::move(p));
        return *holders_.back();
    }

    QString Dir() const { return dir_.isEmpty() ? folder_.path() : dir_; }

    QString SocketPath(const char* name) const {
        return Dir() + QStringLiteral("/%1.%2.socket").arg(name).arg(getuid());
    }

    QByteArray Start(const QString& name, const QStringList& extra = {}) {
        QProcess p;
        p.start(QStringLiteral(VELMORA_INSTANCE_PROBE), QStringList{Dir(), name, "start"} + extra);
        EXPECT_TRUE(p.waitForFinished(10000));
        EXPECT_EQ(p.exitCode(), 0);
        return p.readAllStandardOutput().trimmed();
    }

    static QByteArray ReadLines(QProcess& p, int lines) {
        QByteArray out;
        for (int i = 0; i < lines; ++i) {
            while (!p.canReadLine()) {
                if (!p.waitForReadyRead(10000)) return out;
            }
            out += p.readLine();
        }
        return out;
    }

    QTemporaryDir folder_;
    QString dir_;  // the probes' folder instead of folder_
    std::vector<std::unique_ptr<QProcess>> holders_;
};

}  // namespace

TEST_F(SingleInstanceTest, SecondStartHandsOverShowNewsThenFetchNews) {
    QProcess& first = Hold(QStringLiteral("VELMORA"));
    EXPECT_EQ(Start(QStringLiteral("VELMORA")), QByteArray("handed-over"));
    EXPECT_EQ(ReadLines(first, 2), QByteArray("got 1057\ngot 1058\n"));
    EXPECT_EQ(Start(QStringLiteral("VELMORA")), QByteArray("handed-over"));
    EXPECT_EQ(ReadLines(first, 2), QByteArray("got 1057\ngot 1058\n"));
}

TEST_F(SingleInstanceTest, QuickSecondStartsWaitForASlowFirstCopyAndAllHandOver) {
    // The first copy holds the lock but takes its messages only 800 ms later.
    QProcess& first = Hold(QStringLiteral("VELMORA"), QStringLiteral("late"), {"800"});
    std::vector<std::unique_ptr<QProcess>> starts;
    for (int i = 0; i < 10; ++i) {
        starts.push_back(std::make_unique<QProcess>());
        starts.back()->start(QStringLiteral(VELMORA_INSTANCE_PROBE),
                             {folder_.path(), QStringLiteral("VELMORA"), QStringLiteral("start")});
    }
    for (auto& p : starts) {
        ASSERT_TRUE(p->waitForFinished(15000));
        EXPECT_EQ(p->readAllStandardOutput().trimmed(), QByteArray("handed-over"));
    }
    const QByteArray got = ReadLines(first, 20);
    EXPECT_EQ(got.count("got 1057\n"), 10) << got.constData();
    EXPECT_EQ(got.count("got 1058\n"), 10) << got.constData();
}

TEST_F(SingleInstanceTest, CopyThatNeverListensIsReportedAfterTheWaitUnlessItEnds) {
    Hold(QStringLiteral("VELMORA"), QStringLiteral("silent"));
    const QByteArray said = Start(QStringLiteral("VELMORA"), {"300"});
    EXPECT_TRUE(said.startsWith("no-answer: ")) << said.constData();
    EXPECT_TRUE(said.contains(SocketPath("VELMORA").toUtf8())) << said.constData();

    // One that has stopped listening because it is quitting: a start waiting
    // for it takes its place when it is gone.
    QProcess& going = Hold(QStringLiteral("GOING"), QStringLiteral("silent"));
    QProcess next;
    next.start(QStringLiteral(VELMORA_INSTANCE_PROBE),
               {folder_.path(), QStringLiteral("GOING"), QStringLiteral("start"), "5000"});
    ASSERT_TRUE(next.waitForStarted(5000));
    going.closeWriteChannel();
    ASSERT_TRUE(going.waitForFinished(5000));
    ASSERT_TRUE(next.waitForFinished(10000));
    EXPECT_EQ(next.readAllStandardOutput().trimmed(), QByteArray("first"));
}

TEST_F(SingleInstanceTest, UnusableLockOrSocketIsReported) {
    // A directory where the socket goes.
    ASSERT_TRUE(QDir().mkpath(SocketPath("VELMORA")));
    QByteArray said = Start(QStringLiteral("VELMORA"));
    EXPECT_EQ(said, "unusable: cannot listen on " + SocketPath("VELMORA").toUtf8() +
                        ": it is a directory; remove it");
    // A directory where the lock goes.
    ASSERT_TRUE(QDir().mkpath(folder_.path() + QStringLiteral("/OTHER.%1.lock").arg(getuid())));
    said = Start(QStringLiteral("OTHER"));
    EXPECT_TRUE(said.startsWith("unusable: cannot use the lock file ")) << said.constData();
    EXPECT_TRUE(said.endsWith(": it is a directory")) << said.constData();
    // A folder whose socket path a socket cannot have.
    const QString deep = folder_.path() + QStringLiteral("/") + QString(120, QChar('d'));
    ASSERT_TRUE(QDir().mkpath(deep));
    QProcess p;
    p.start(QStringLiteral(VELMORA_INSTANCE_PROBE), {deep, QStringLiteral("VELMORA"), "start"});
    ASSERT_TRUE(p.waitForFinished(10000));
    said = p.readAllStandardOutput().trimmed();
    EXPECT_TRUE(said.startsWith("unusable: the socket path ")) << said.constData();
    EXPECT_TRUE(said.contains("is too long")) << said.constData();
}

TEST_F(SingleInstanceTest, DifferentNamesRunSideBySide) {
    Hold(QStringLiteral("VELMORA"));
    EXPECT_EQ(Start(QStringLiteral("VELMORA2")), QByteArray("first"));
}

TEST_F(SingleInstanceTest, LockOfACrashedCopyIsTakenOver) {
    QProcess& crashed = Hold(QStringLiteral("VELMORA"));
    if (const auto pid = static_cast<pid_t>(crashed.processId()); pid > 0)
        ::kill(pid, SIGKILL);  // 0 would signal our group
    ASSERT_TRUE(crashed.waitForFinished(5000));
    // Its lock file and socket are still there.
    EXPECT_FALSE(QDir(folder_.path()).entryList(QDir::Files | QDir::System).isEmpty());
    QProcess& next = Hold(QStringLiteral("VELMORA"));
    EXPECT_EQ(Start(QStringLiteral("VELMORA")), QByteArray("handed-over"));
    EXPECT_EQ(ReadLines(next, 2), QByteArray("got 1057\ngot 1058\n"));
}

TEST_F(SingleInstanceTest, OtherMessagesAreNotPassedOn) {
    QProcess& first = Hold(QStringLiteral("VELMORA"));
    const QString socketPath =
        QDir(folder_.path())
            .entryInfoList({QStringLiteral("VELMORA.*.socket")}, QDir::System)
            .value(0)
            .absoluteFilePath();
    ASSERT_FALSE(socketPath.isEmpty());
    QLocalSocket socket;
    socket.connectToServer(socketPath);
    ASSERT_TRUE(socket.waitForConnected(5000));
    socket.write("1056\n1059\nhello\n-1057\n1058\n");
    socket.flush();
    socket.waitForBytesWritten(5000);
    EXPECT_EQ(ReadLines(first, 1), QByteArray("got 1058\n"));
}

namespace {

// A process of uid 65534 that listens at `path` until killed; 0 when that
// cannot be arranged (not root, or that user cannot reach the folder).
pid_t ListenAsNobody(const QString& path) {
    int ready[2];
    if (geteuid() != 0 || pipe(ready) != 0) return 0;
    const QByteArray name = QFile::encodeName(path);
    const pid_t pid = fork();
    if (pid == 0) {
        close(ready[0]);
        sockaddr_un addr{};
        addr.sun_family = AF_UNIX;
        std::strncpy(addr.sun_path, name.constData(), sizeof addr.sun_path - 1);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        const char ok = setgroups(0, nullptr) == 0 && setgid(65534) == 0 && setuid(65534) == 0 &&
                                bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
                                listen(fd, 8) == 0
                            ? '1'
                            : '0';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        for (;;) pause();
    }
    close(ready[1]);
    char ok = '0';
    if (pid < 0 || read(ready[0], &ok, 1) != 1) ok = '0';
    close(ready[0]);
    if (ok == '1') return pid;
    if (pid > 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    return 0;
}

}  // namespace

TEST_F(SingleInstanceTest, ARuntimeFolderLockOrCopyOfAnotherUserIsNeverTrusted) {
    // XDG_RUNTIME_DIR that everyone may write to: a private folder is made instead.
    const QString open = folder_.path() + QStringLiteral("/open");
    const QString tmp = folder_.path() + QStringLiteral("/tmp");
    ASSERT_TRUE(QDir().mkpath(open) && QDir().mkpath(tmp));
    ASSERT_EQ(chmod(QFile::encodeName(open).constData(), 01777), 0);
    const QString privateFolder =
        tmp + QStringLiteral("/runtime-") + QString::fromLocal8Bit(getpwuid(getuid())->pw_name);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), open);
    env.insert(QStringLiteral("TMPDIR"), tmp);
    const auto startIn = [&](const QProcessEnvironment& e) {
        QProcess p;
        p.setProcessEnvironment(e);
        p.start(QStringLiteral(VELMORA_INSTANCE_PROBE),
                {QString(), QStringLiteral("VELMORA"), QStringLiteral("start")});
        EXPECT_TRUE(p.waitForFinished(10000));
        return p.readAllStandardOutput();
    };
    EXPECT_EQ(startIn(env), "note: XDG_RUNTIME_DIR " + open.toUtf8() +
                                " is not private to this user (its mode is 1777, not 0700); "
                                "using " +
                                privateFolder.toUtf8() + "\nfirst\n");
    EXPECT_TRUE(QDir(open).isEmpty(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot));
    EXPECT_EQ(QFileInfo(privateFolder).permissions(), QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner | QFile::ReadUser |
                                                          QFile::WriteUser | QFile::ExeUser);
    // That folder planted beforehand as a link by someone else: nothing is used.
    ASSERT_TRUE(QDir(privateFolder).removeRecursively());
    ASSERT_TRUE(QFile::link(open, privateFolder));
    env.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    EXPECT_EQ(startIn(env), "unusable: cannot use the runtime folder " + privateFolder.toUtf8() +
                                ": it is not a folder; remove it, or set XDG_RUNTIME_DIR to a "
                                "folder of your own with mode 0700\n");

    if (geteuid() != 0) GTEST_SKIP() << "only root can make files of another user";
    // A folder other users may write to, as a shared runtime folder would be.
    ASSERT_EQ(chmod(QFile::encodeName(folder_.path()).constData(), 0711), 0);
    dir_ = folder_.path() + QStringLiteral("/shared");
    ASSERT_TRUE(QDir().mkpath(dir_));
    ASSERT_EQ(chmod(QFile::encodeName(dir_).constData(), 0777), 0);
    // A held lock that belongs to another user.
    Hold(QStringLiteral("VELMORA"), QStringLiteral("silent"));
    const QString lock = dir_ + QStringLiteral("/VELMORA.%1.lock").arg(getuid());
    ASSERT_EQ(chown(QFile::encodeName(lock).constData(), 65534, 65534), 0);
    EXPECT_EQ(Start(QStringLiteral("VELMORA")),
              "unusable: the lock file " + lock.toUtf8() +
                  " belongs to user 65534, not to this user; nothing is handed over to it");
    // Our own lock, but another user answers on the socket.
    Hold(QStringLiteral("OTHER"), QStringLiteral("silent"));
    const pid_t listener = ListenAsNobody(SocketPath("OTHER"));
    if (listener == 0) GTEST_SKIP() << "uid 65534 cannot reach " << qPrintable(dir_);
    const QByteArray said = Start(QStringLiteral("OTHER"), {"2000"});
    kill(listener, SIGKILL);
    waitpid(listener, nullptr, 0);
    EXPECT_EQ(said, "unusable: the copy answering on " + SocketPath("OTHER").toUtf8() +
                        " runs as user 65534, not as this user; nothing is handed over to it");
}

TEST_F(SingleInstanceTest, QuitRightAfterAStartWaitsForTheStartingCopyWhichHandsOverToIt) {
    // The start takes the lock only after the quit has found none.
    QProcess starting;
    starting.start(QStringLiteral(VELMORA_INSTANCE_PROBE),
                   {folder_.path(), QStringLiteral("VELMORA"), QStringLiteral("late-start"),
                    QStringLiteral("400")});
    ASSERT_TRUE(starting.waitForStarted(5000));
    QProcess quit;
    quit.start(QStringLiteral(VELMORA_INSTANCE_PROBE),
               {folder_.path(), QStringLiteral("VELMORA"), QStringLiteral("quit")});
    ASSERT_TRUE(quit.waitForFinished(15000));
    ASSERT_TRUE(starting.waitForFinished(15000));
    EXPECT_EQ(quit.readAllStandardOutput(), "first\na starting copy handed over\n");
    EXPECT_EQ(starting.readAllStandardOutput(), "handed-over\n");
}

TEST_F(SingleInstanceTest, LockLeftByAnotherHostIsTakenOverWhenNoCopyAnswers) {
    QFile lock(folder_.path() + QStringLiteral("/VELMORA.%1.lock").arg(getuid()));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.write("4242\ninstance_probe\nsome-other-host.example\n");
    lock.close();
    EXPECT_EQ(Start(QStringLiteral("VELMORA"), {"300"}),
              "note: took over the lock file " + lock.fileName().toUtf8() +
                  " left by host some-other-host.example, whose copy does not answer here\nfirst");
}
