#pragma once
// A fixture for tests that run the real program as a process against the
// demo service: a throw-away profile (settings, data, runtime and temporary
// folders, home), the service, and the programs started, all ended and
// removed after each test.

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QProcess>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/feed/feed_channel.h"
#include "core/feed/item_store.h"
#include "demo_profile.h"
#include "demo_service.h"

namespace velmora::test_support {

class ProgramTest : public ::testing::Test {
  protected:
    inline static const demo::Identity kClient{"C-TEST-1", "client-password"};

    void SetUp() override {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "velmora-program-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        root_ = pattern;
        for (const char* sub : {"config", "xdg", "data", "tmp", "run", "home"}) {
            std::filesystem::create_directories(root_ / sub);
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
        if (!root_.empty()) std::filesystem::remove_all(root_);
    }

    // The demo service and a profile that logs in to it as kClient.
    void StartService(demo::DemoConfig config, std::uint32_t timeoutSeconds) {
        config.clients = {kClient};
        service_ = std::make_unique<demo::DemoService>(config);
        ASSERT_TRUE(service_->Start());
        demo::DemoProfile profile;
        profile.client = kClient;
        profile.timeoutSeconds = timeoutSeconds;
        std::string error;
        ASSERT_TRUE(
            demo::WriteDemoProfile(*service_, profile, root_ / "config", root_ / "xdg", error))
            << error;
    }

    // This environment with every per-user folder inside the profile.
    QProcessEnvironment ProfileEnvironment() const {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const auto set = [&](const char* name, const std::filesystem::path& p) {
            env.insert(QString::fromLatin1(name), QString::fromStdString(p.string()));
        };
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        set("XDG_CONFIG_HOME", root_ / "config");
        set("XDG_CONFIG_DIRS", root_ / "xdg");
        set("XDG_DATA_HOME", root_ / "data");
        set("XDG_RUNTIME_DIR", root_ / "run");
        set("TMPDIR", root_ / "tmp");
        set("HOME", root_ / "home");
        return env;
    }

    // `inChild` runs in the child before the program starts.
    QProcess& LaunchWith(const QProcessEnvironment& env, const QStringList& args,
                         std::function<void()> inChild = {}) {
        auto p = std::make_unique<QProcess>();
        p->setProcessEnvironment(env);
        if (inChild) p->setChildProcessModifier(inChild);
        p->start(QString::fromStdString(program_.string()), args);
        EXPECT_TRUE(p->waitForStarted(10000));
        running_.push_back(std::move(p));
        return *running_.back();
    }

    // SIGTERM to a copy that still runs (a pid of 0 would signal the test's
    // own process group).
    static void SendTerminate(QProcess& p) {
        if (const auto pid = static_cast<pid_t>(p.processId()); pid > 0) ::kill(pid, SIGTERM);
    }

    std::filesystem::path Store() const { return root_ / "data" / "VELMORA" / "VELMORA.dat"; }

    // The store holds as many items as the service serves.
    bool StoreHoldsTheChannel() const {
        FeedChannel stored;
        return LoadItemStore(Store(), stored) &&
               stored.Count() == static_cast<int>(service_->ItemCount());
    }

    // For another user who cannot reach the build tree (a clone in a private
    // folder): the program and the card renderer it starts, copied into the profile.
    void UseCopyOfTheProgram() {
        const std::filesystem::path built = VELMORA_EXE;
        std::filesystem::create_directories(root_ / "bin");
        for (const char* name : {"velmora", "velmora-cards"}) {
            if (std::filesystem::exists(built.parent_path() / name))
                std::filesystem::copy_file(built.parent_path() / name, root_ / "bin" / name);
        }
        program_ = root_ / "bin" / built.filename();
    }

    std::filesystem::path program_ = VELMORA_EXE;
    std::filesystem::path root_;
    std::unique_ptr<demo::DemoService> service_;
    std::vector<std::unique_ptr<QProcess>> running_;
};

}  // namespace velmora::test_support
