// The real program as a process: its options, the second start and the end by
// SIGTERM, against the demo service on 127.0.0.1, headless.

#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "demo_profile.h"
#include "demo_service.h"
#include "program_test.h"
#include "support/hive_sandbox.h"
#include "support/temp_folder.h"

namespace fs = std::filesystem;
using namespace velmora;

namespace {

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "velmora_process_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

class VelmoraProcessTest : public test_support::ProgramTest {
  protected:
    void SetUp() override {
        App();
        ProgramTest::SetUp();
    }

    void StartService(demo::DemoConfig config = {}) { ProgramTest::StartService(config, 120); }

    QProcessEnvironment Environment() const {
        QProcessEnvironment env = ProfileEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    // `inChild` runs in the child before the program starts.
    QProcess& Launch(const QStringList& args = {}, std::function<void()> inChild = {}) {
        return LaunchWith(Environment(), args, std::move(inChild));
    }

    static bool WaitFor(const std::function<bool()>& done, int ms) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            if (clock.elapsed() > ms) return false;
            QThread::msleep(20);
        }
        return true;
    }

    // Ends `p` by SIGTERM; true when it exits normally with code 0.
    static bool Terminate(QProcess& p) {
        SendTerminate(p);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }
};

}  // namespace

TEST_F(VelmoraProcessTest, VersionAndHelp) {
    QProcess& version = Launch({QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput(), QByteArray("velmora 1.0.1\n"));

    QProcess& help = Launch({QStringLiteral("--help")});
    ASSERT_TRUE(help.waitForFinished(10000));
    EXPECT_EQ(help.exitCode(), 0);
    EXPECT_TRUE(help.readAllStandardOutput().contains("--demo"));
}

TEST_F(VelmoraProcessTest, UnknownArgumentsAreIgnoredForTheStartAndTheHandOver) {
    StartService();
    QProcess& first = Launch({QStringLiteral("file.txt")});
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000))
        << first.readAllStandardError().constData();
    EXPECT_EQ(first.state(), QProcess::Running);

    bool fetchedAgain = false;
    for (int attempt = 0; attempt < 20 && !fetchedAgain; ++attempt) {
        QProcess& second = Launch({QStringLiteral("--bogus"), QStringLiteral("x y")});
        ASSERT_TRUE(second.waitForFinished(15000));
        EXPECT_EQ(second.exitCode(), 0);
        EXPECT_EQ(second.readAllStandardError(),
                  QByteArray("velmora: ignoring unknown arguments '--bogus' 'x y'\n"));
        fetchedAgain = WaitFor([&] { return service_->ServiceRequests() >= 2; }, 1000);
    }
    EXPECT_TRUE(fetchedAgain);

    // An unknown argument does not hide the meaning of the known ones.
    QProcess& version = Launch({QStringLiteral("--bogus"), QStringLiteral("--version")});
    ASSERT_TRUE(version.waitForFinished(10000));
    EXPECT_EQ(version.exitCode(), 0);
    EXPECT_EQ(version.readAllStandardOutput(), QByteArray("velmora 1.0.1\n"));

    ASSERT_TRUE(Terminate(first));
    EXPECT_TRUE(first.readAllStandardError().contains("ignoring unknown argument 'file.txt'\n"));
}

TEST_F(VelmoraProcessTest, WithoutADisplayItSaysHowToRun) {
    QProcessEnvironment env = Environment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        env.remove(QString::fromLatin1(name));
    }
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(VELMORA_EXE), {QStringLiteral("--demo")});
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(p.exitCode(), 1);
    const QByteArray err = p.readAllStandardError();
    EXPECT_TRUE(err.contains("xvfb-run -a velmora --demo")) << err.constData();
    EXPECT_TRUE(err.contains("QT_QPA_PLATFORM=offscreen")) << err.constData();
}

TEST_F(VelmoraProcessTest, SecondStartFetchesAgainAndSigtermSavesTheStore) {
    StartService();
    QProcess& first = Launch();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));

    // A second start ends at once and makes the first copy fetch again; the
    // fetch it starts can only begin once the first cycle has ended.
    bool fetchedAgain = false;
    for (int attempt = 0; attempt < 20 && !fetchedAgain; ++attempt) {
        QProcess& second = Launch();
        ASSERT_TRUE(second.waitForFinished(15000));
        EXPECT_EQ(second.exitCode(), 0);
        fetchedAgain = WaitFor([&] { return service_->ServiceRequests() >= 2; }, 1000);
    }
    ASSERT_TRUE(fetchedAgain);
    EXPECT_EQ(first.state(), QProcess::Running);

    ASSERT_TRUE(Terminate(first)) << first.readAllStandardError().constData();
    FeedChannel stored;
    ASSERT_TRUE(LoadItemStore(Store(), stored));
    EXPECT_EQ(stored.Count(), static_cast<int>(service_->ItemCount()));
}

// Nothing changed while the request hung, so the store is neither lost nor
// written again: a large store on a slow disk made every quit slow.
TEST_F(VelmoraProcessTest, SigtermDuringAHangingRequestEndsPromptlyAndKeepsTheStore) {
    demo::DemoConfig config;
    config.fault = demo::Fault::Slow;
    config.faultCount = 0;
    config.slowSeconds = 600;
    StartService(config);

    FeedChannel channel;
    for (const char* headline : {"kept one", "kept two"}) {
        FeedItem item;
        item.SetHeadline(headline);
        item.SetDate("2024-01-01");
        item.read = 1;
        channel.AppendCopy(item)->read = 1;
    }
    fs::create_directories(Store().parent_path());
    ASSERT_TRUE(SaveItemStore(Store(), channel));
    struct stat before {};
    ASSERT_EQ(stat(Store().c_str(), &before), 0);

    QProcess& p = Launch();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));
    ASSERT_TRUE(Terminate(p)) << p.readAllStandardError().constData();

    struct stat after {};
    ASSERT_EQ(stat(Store().c_str(), &after), 0);
    EXPECT_EQ(before.st_ino, after.st_ino) << "the unchanged store was written again";
    FeedChannel stored;
    ASSERT_TRUE(LoadItemStore(Store(), stored));
    ASSERT_EQ(stored.Count(), 2);
    EXPECT_EQ(stored.First()->Headline(), "kept one");
    EXPECT_EQ(stored.First()->read, 1);
    EXPECT_TRUE(fs::is_empty(root_ / "tmp")) << "work file left behind";
}

TEST_F(VelmoraProcessTest, AChangedFeedIsOnDiskAtOnceSoKillNineKeepsIt) {
    StartService();
    QProcess& p = Launch();
    const auto stored = [&] {
        FeedChannel channel;
        return LoadItemStore(Store(), channel) ? channel.Count() : -1;
    };
    ASSERT_TRUE(WaitFor([&] { return stored() == static_cast<int>(service_->ItemCount()); }, 30000))
        << p.readAllStandardError().constData();
    if (const auto pid = static_cast<pid_t>(p.processId()); pid > 0)
        ::kill(pid, SIGKILL);  // 0 would signal our group
    ASSERT_TRUE(p.waitForFinished(10000));
    EXPECT_EQ(stored(), static_cast<int>(service_->ItemCount()));
    EXPECT_EQ(std::distance(fs::directory_iterator(Store().parent_path()), {}), 1);
}

TEST_F(VelmoraProcessTest, TemporariesOfEarlierRunsAreRemovedAtStart) {
    StartService();
    const fs::path data = Store().parent_path();
    fs::create_directories(data);
    const auto write = [](const fs::path& file, std::size_t bytes) {
        std::ofstream(file, std::ios::binary) << std::string(bytes, 'x');
    };
    write(data / ".VELMORA.dat.a1B2c3", 1 << 20);
    write(data / ".VELMORA.dat.Zz9yY8", 10);
    write(root_ / "tmp" / "LUM0A1B2C3D.tmp", 1000);
    // Not ours: other names, a link, another user's file.
    write(data / ".VELMORA.dat.toolong1", 1);
    write(data / "notes.txt", 1);
    write(root_ / "tmp" / "LUMXYZ.tmp", 1);
    write(root_ / "elsewhere", 1);
    fs::create_symlink(root_ / "elsewhere", root_ / "tmp" / "LUM00000000.tmp");
    const bool root = geteuid() == 0;
    if (root) {
        write(root_ / "tmp" / "LUMFFFFFFFF.tmp", 1);
        ASSERT_EQ(lchown((root_ / "tmp" / "LUMFFFFFFFF.tmp").c_str(), 65534, 65534), 0);
    }

    QProcess& p = Launch();
    ASSERT_TRUE(WaitFor([&] { return service_->ServiceRequests() >= 1; }, 30000));
    for (const char* gone : {".VELMORA.dat.a1B2c3", ".VELMORA.dat.Zz9yY8"}) {
        EXPECT_FALSE(fs::exists(data / gone)) << gone;
    }
    EXPECT_FALSE(fs::exists(root_ / "tmp" / "LUM0A1B2C3D.tmp"));
    EXPECT_TRUE(fs::exists(data / ".VELMORA.dat.toolong1"));
    EXPECT_TRUE(fs::exists(data / "notes.txt"));
    EXPECT_TRUE(fs::exists(root_ / "tmp" / "LUMXYZ.tmp"));
    EXPECT_TRUE(fs::is_symlink(root_ / "tmp" / "LUM00000000.tmp"));
    EXPECT_TRUE(fs::exists(root_ / "elsewhere"));
    if (root) {
        EXPECT_TRUE(fs::exists(root_ / "tmp" / "LUMFFFFFFFF.tmp"));
    }
    ASSERT_TRUE(Terminate(p));
    EXPECT_TRUE(p.readAllStandardError().contains(
        "removed 3 temporary files (1049586 bytes) left by earlier runs"));
}

TEST_F(VelmoraProcessTest, ASaveThatFailsIsToldAndTheEndSaysSoInItsStatus) {
    StartService();
    FeedChannel old;
    FeedItem item;
    item.SetHeadline("old news");
    old.AppendCopy(item)->read = 1;
    fs::create_directories(Store().parent_path());
    ASSERT_TRUE(SaveItemStore(Store(), old));
    const std::string before = velmora::test_support::ReadFile(Store());
    // The data folder turns read-only. Root writes anyway, so the program runs
    // as an ordinary user then.
    std::function<void()> asUser;
    if (geteuid() == 0) {
        if (!test_support::WhyNobodyCannotUse(program_).empty()) UseCopyOfTheProgram();
        for (const auto& entry : fs::recursive_directory_iterator(root_))
            ASSERT_EQ(lchown(entry.path().c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(root_.c_str(), 65534, 65534), 0);
        // Otherwise it would never start, and the wait below would run out.
        if (const std::string why = test_support::WhyNobodyCannotUse(program_); !why.empty())
            GTEST_SKIP() << why;
        asUser = [] {
            if (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0) _exit(77);
        };
    }
    ASSERT_EQ(chmod(Store().parent_path().c_str(), 0555), 0);

    QProcess& p = Launch({}, asUser);
    QByteArray said;
    const std::string expected =
        "velmora: cannot save the news to " + Store().string() + ": Permission denied";
    ASSERT_TRUE(WaitFor(
        [&] {
            p.waitForReadyRead(100);
            said += p.readAllStandardError();
            return said.contains(expected.c_str());
        },
        30000))
        << said.constData();
    if (const auto pid = static_cast<pid_t>(p.processId()); pid > 0)
        ::kill(pid, SIGTERM);  // 0 would signal our group
    ASSERT_TRUE(p.waitForFinished(30000));
    said += p.readAllStandardError();
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(p.exitCode(), 1) << said.constData();
    // Once after the cycle, once at the end.
    EXPECT_EQ(said.count(expected.c_str()), 2) << said.constData();
    EXPECT_EQ(velmora::test_support::ReadFile(Store()), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(Store().parent_path()), {}), 1);
    chmod(Store().parent_path().c_str(), 0700);
}

TEST_F(VelmoraProcessTest, ADirectoryAtTheSocketPathIsToldWithAFailingStatus) {
    const fs::path socket = root_ / "run" / ("velmora." + std::to_string(getuid()) + ".socket");
    fs::create_directories(socket);
    QProcess& p = Launch();
    ASSERT_TRUE(p.waitForFinished(15000));
    EXPECT_EQ(p.exitCode(), 1);
    EXPECT_EQ(p.readAllStandardError(), QByteArray("velmora: cannot listen on ") + socket.c_str() +
                                            ": it is a directory; remove it\n");
}
