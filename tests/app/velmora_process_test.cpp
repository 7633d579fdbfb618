// The real program as a process: its options, the second start and the end by
// SIGTERM, against the demo service on 127.0.0.1, headless.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <filesystem>
#include <memory>
#include <string>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "demo_profile.h"
#include "demo_service.h"
#include "support/hive_sandbox.h"

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

const demo::Identity kClient{"C-TEST-1", "client-password"};

class VelmoraProcessTest : public ::testing::Test {
  protected:
    void SetUp() override {
        App();
        std::string pattern = (fs::temp_directory_path() / "velmora-proc-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        for (const char* sub : {"config", "xdg", "data", "tmp", "run", "home"}) {
            fs::create_directories(root_ / sub);
        }
        chmod((root_ / "run").c_str(), 0700);
    }
    void TearDown() override {
        for (auto& p : running_) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        running_.clear();
        if (service_) service_->Stop();
        fs::remove_all(root_);
    }

    void StartService(demo::DemoConfig config = {}) {
        config.clients = {kClient};
        service_ = std::make_unique<demo::DemoService>(config);
        ASSERT_TRUE(service_->Start());
        demo::DemoProfile profile;
        profile.client = kClient;
        profile.timeoutSeconds = 120;
        std::string error;
        ASSERT_TRUE(
            demo::WriteDemoProfile(*service_, profile, root_ / "config", root_ / "xdg", error))
            << error;
    }

    QProcessEnvironment Environment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const auto set = [&](const char* name, const fs::path& p) {
            env.insert(QString::fromLatin1(name), QString::fromStdString(p.string()));
        };
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        set("XDG_CONFIG_HOME", root_ / "config");
        set("XDG_CONFIG_DIRS", root_ / "xdg");
        set("XDG_DATA_HOME", root_ / "data");
        set("XDG_RUNTIME_DIR", root_ / "run");
        set("TMPDIR", root_ / "tmp");
        set("HOME", root_ / "home");
        return env;
    }

    QProcess& Launch(const QStringList& args = {}) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(Environment());
        p->start(QStringLiteral(VELMORA_EXE), args);
        EXPECT_TRUE(p->waitForStarted(10000));
        running_.push_back(std::move(p));
        return *running_.back();
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
        ::kill(static_cast<pid_t>(p.processId()), SIGTERM);
        return p.waitForFinished(30000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    }

    fs::path Store() const { return root_ / "data" / "VELMORA" / "VELMORA.dat"; }

    fs::path root_;
    std::unique_ptr<demo::DemoService> service_;
    std::vector<std::unique_ptr<QProcess>> running_;
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
    EXPECT_EQ(stored.count(), static_cast<int>(service_->ItemCount()));
}

TEST_F(VelmoraProcessTest, SigtermDuringAHangingRequestEndsPromptlyAndSaves) {
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
    EXPECT_NE(before.st_ino, after.st_ino) << "the store was not written again";
    FeedChannel stored;
    ASSERT_TRUE(LoadItemStore(Store(), stored));
    ASSERT_EQ(stored.count(), 2);
    EXPECT_EQ(stored.first()->headline(), "kept one");
    EXPECT_EQ(stored.first()->read, 1);
    EXPECT_TRUE(fs::is_empty(root_ / "tmp")) << "work file left behind";
}
