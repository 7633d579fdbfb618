// One copy per user and name, with real processes: a second start hands over
// to the running copy (waiting for one that is still starting), reports one
// that never answers or a lock or socket it cannot use, or takes over the
// lock of a crashed one.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>
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
        p->start(QStringLiteral(VELMORA_INSTANCE_PROBE),
                 QStringList{folder_.path(), name, mode} + extra);
        EXPECT_TRUE(p->waitForStarted(5000));
        EXPECT_TRUE(p->waitForReadyRead(10000));
        EXPECT_EQ(p->readLine().trimmed(), QByteArray("ready"));
        holders_.push_back(std::move(p));
        return *holders_.back();
    }

    QString SocketPath(const char* name) const {
        return folder_.path() + QStringLiteral("/%1.%2.socket").arg(name).arg(getuid());
    }

    QByteArray Start(const QString& name, const QStringList& extra = {}) {
        QProcess p;
        p.start(QStringLiteral(VELMORA_INSTANCE_PROBE),
                QStringList{folder_.path(), name, "start"} + extra);
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

TEST_F(SingleInstanceTest, CopyThatNeverListensIsReportedAfterTheWait) {
    Hold(QStringLiteral("VELMORA"), QStringLiteral("silent"));
    const QByteArray said = Start(QStringLiteral("VELMORA"), {"300"});
    EXPECT_TRUE(said.startsWith("no-answer: ")) << said.constData();
    EXPECT_TRUE(said.contains(SocketPath("VELMORA").toUtf8())) << said.constData();
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
