// One copy per user and name, with real processes: a second start hands over
// to the running copy, finds a starting one silent, or takes over the lock of
// a crashed one.

#include <gtest/gtest.h>
#include <signal.h>

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

    QProcess& Hold(const QString& name, const QString& mode = QStringLiteral("hold")) {
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral(VELMORA_INSTANCE_PROBE), {folder_.path(), name, mode});
        EXPECT_TRUE(p->waitForStarted(5000));
        EXPECT_TRUE(p->waitForReadyRead(10000));
        EXPECT_EQ(p->readLine().trimmed(), QByteArray("ready"));
        holders_.push_back(std::move(p));
        return *holders_.back();
    }

    QByteArray Start(const QString& name) {
        QProcess p;
        p.start(QStringLiteral(VELMORA_INSTANCE_PROBE), {folder_.path(), name, "start"});
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

TEST_F(SingleInstanceTest, CopyThatDoesNotAnswerYetGetsNothing) {
    QProcess& starting = Hold(QStringLiteral("VELMORA"), QStringLiteral("starting"));
    EXPECT_EQ(Start(QStringLiteral("VELMORA")), QByteArray("no-answer"));
    EXPECT_FALSE(starting.waitForReadyRead(300));
}

TEST_F(SingleInstanceTest, DifferentNamesRunSideBySide) {
    Hold(QStringLiteral("VELMORA"));
    EXPECT_EQ(Start(QStringLiteral("VELMORA2")), QByteArray("first"));
}

TEST_F(SingleInstanceTest, LockOfACrashedCopyIsTakenOver) {
    QProcess& crashed = Hold(QStringLiteral("VELMORA"));
    ::kill(static_cast<pid_t>(crashed.processId()), SIGKILL);
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
