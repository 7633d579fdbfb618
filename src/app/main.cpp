// velmora: the tray news client. Starts once per user; a second start hands
// over to the running copy.

#include <QApplication>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSignalBlocker>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "app/demo_session.h"
#include "app/error_notifier.h"
#include "app/quit_signals.h"
#include "app/single_instance.h"
#include "app/store_saver.h"
#include "app/tool_sheet.h"
#include "core/delivery/clock.h"
#include "core/delivery/curl_transfer.h"
#include "core/feed/item_store.h"
#include "core/platform/data_paths.h"
#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "core/shell/command_line.h"
#include "desktop/common/icon_resources.h"
#include "desktop/common/qt_text.h"
#include "desktop/dialogs/dialog_template.h"
#include "desktop_demo.h"

namespace velmora {
namespace {

CToolSheet* g_sheet = nullptr;

// When the toolkit ends the process on its own (the X server went away with
// the session), the read marks are still saved.
void SaveOnUnexpectedExit() {
    if (!g_sheet || g_sheet->Ended()) return;
    // The saver knows what is on disk already: only a change is written. No
    // signal: the tray it would update may be gone with the display.
    if (auto* saver = g_sheet->findChild<StoreSaver*>()) {
        const QSignalBlocker quiet(saver);
        saver->SaveNow();  // says on stderr when it fails
        return;
    }
    StoreError error;
    if (!SaveItemStore(g_sheet->DataFile(), g_sheet->Feed(), &error)) {
        std::fprintf(stderr, "velmora: cannot save the news to %s: %s\n",
                     g_sheet->DataFile().c_str(), error.reason.c_str());
    }
}

std::string ExecutablePath(const char* argv0) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(argv0 ? argv0 : "velmora") : self.string();
}

bool HasDisplay() {
    const auto set = [](const char* name) {
        const char* v = std::getenv(name);
        return v && *v;
    };
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

// The popup places itself on the screen, which Wayland does not allow: run on
// XWayland when it is there.
void PreferX11() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const char* display = std::getenv("DISPLAY");
    if ((!platform || !*platform) && wayland && *wayland && display && *display) {
        setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
}

QImage LoadSettingsIcon(const char* valueName, int resource, std::string& path) {
    path = settings::ReadIconPath(valueName);
    if (!path.empty()) {
        const QImage image = LoadIconFile(QStringFromCp932(path));
        if (!image.isNull()) return image;
    }
    return IconResourceImage(resource);
}

int Run(int argc, char** argv, bool demoMode) {
    // The demo is a copy of its own beside the user's real one. Its lock and
    // socket stay in the user's runtime folder, not in the throw-away profile,
    // so that its second starts hand over to it.
    std::unique_ptr<DemoSession> demo;
    QString instanceFolder;
    if (demoMode) {
        QStringList notes;
        instanceFolder = SingleInstance::RuntimeFolder(&notes);
        for (const QString& note : notes) std::fprintf(stderr, "velmora: %s\n", qPrintable(note));
        demo = std::make_unique<DemoSession>();
        std::string error;
        if (!demo->Start(error)) {
            std::fprintf(stderr, "velmora: demo: %s\n", error.c_str());
            return 1;
        }
    }

    PreferX11();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    QGuiApplication::setDesktopFileName(QStringLiteral("velmora"));

    std::vector<std::string> rest;
    for (const QString& a : QCoreApplication::arguments().mid(1)) rest.push_back(a.toStdString());
    // The toolkit has taken its own options out by now.
    const Launch launch = ParseCommandLine(rest);
    std::fputs(IgnoredArgumentsLine(launch.ignored).c_str(), stderr);

    const std::string instanceName =
        InstanceNameFromPath(ExecutablePath(argv[0])) + (demoMode ? "-demo" : "");
    SingleInstance instance(QString::fromStdString(instanceName), instanceFolder);
    instance.SetHandOverCommand(ActionCommand(launch.action));
    const SingleInstance::Start start = instance.Acquire();
    for (const QString& note : instance.Notes())
        std::fprintf(stderr, "velmora: %s\n", qPrintable(note));
    switch (start) {
        case SingleInstance::Start::First:
            // Quitting a copy that does not run is nothing to do; one that is
            // still starting hands over to this copy and so ends.
            if (launch.action == DesktopAction::Quit) {
                instance.AwaitStartingCopy();
                return 0;
            }
            break;
        case SingleInstance::Start::HandedOver:
            if (demo) std::fputs(demo::DemoHandedOverLine().c_str(), stdout);
            return 0;
        case SingleInstance::Start::NoAnswer:
        case SingleInstance::Start::Unusable: {
            std::fprintf(stderr, "velmora: %s\n", qPrintable(instance.Problem()));
            std::fflush(stderr);
            // Started from a menu, the user sees no stderr: the desktop tells it too.
            const StartFailureNotice notice =
                StartFailureNoticeFor(instance.Problem().toStdString());
            NotifyBeforeTheEnd(QString::fromStdString(notice.title),
                               QString::fromStdString(notice.text));
            return 1;
        }
    }
    if (demo) {
        std::fputs(demo::DemoServiceLine(demo->ServiceAddress()).c_str(), stdout);
        std::fputs(demo::DemoProfileLine(demo->Root().string()).c_str(), stdout);
        std::fflush(stdout);
    }

    const std::filesystem::path dataFolder = PrepareDataFolder();
    SheetStartup startup;
    startup.dataFile =
        dataFolder.empty() ? std::filesystem::path(kItemStoreName) : ItemStorePath(dataFolder);
    // Only one copy runs: whatever temporaries are there, no one writes them.
    if (const Leftovers gone = RemoveLeftovers(startup.dataFile, WorkFileFolder()); gone.files) {
        std::fprintf(stderr,
                     "velmora: removed %d temporary files (%ju bytes) left by earlier runs\n",
                     gone.files, gone.bytes);
    }
    startup.normalIcon = LoadSettingsIcon(settings::kNormalIcon, settings::kNormalIconResource,
                                          startup.normalIconPath);
    std::string blinkPath;
    startup.blinkIcon =
        LoadSettingsIcon(settings::kBlinkIcon, settings::kBlinkIconResource, blinkPath);
    startup.colors.text = settings::ReadTextColor();
    startup.colors.readText = settings::ReadReadTextColor();

    RegisterDialogFontSubstitutes();

    CurlTransfer network;
    SystemClock clock;
    SheetServices services;
    services.network = &network;
    services.clock = &clock;
    services.instance = &instance;
    CToolSheet sheet(QStringLiteral("ツール"), std::move(startup), std::move(services));
    g_sheet = &sheet;
    std::atexit(SaveOnUnexpectedExit);

    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &sheet, [&sheet](int signo) {
        std::fprintf(stderr, "velmora: signal %d, quitting\n", signo);
        sheet.RequestQuit();
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &sheet,
                     [&sheet](QSessionManager& manager) {
                         manager.setRestartHint(QSessionManager::RestartNever);
                         sheet.RequestQuit();
                     });
    // A store that could not be saved at the end is a failure (the reason is on stderr).
    QObject::connect(&sheet, &CToolSheet::ended, &app,
                     [&sheet] { QCoreApplication::exit(sheet.Saved() ? 0 : 1); });
    if (demo) {
        QObject::connect(
            &sheet, &CToolSheet::cycleFinished, &sheet, [&sheet, &demo](CycleResult r) {
                std::fputs(
                    demo::DemoCycleLine(r, sheet.Feed().Count(), demo->ServiceRequests()).c_str(),
                    stdout);
                std::fflush(stdout);
            });
        QObject::connect(&sheet, &CToolSheet::ended, &sheet, [&sheet] {
            std::fputs(demo::DemoQuitLine(sheet.Saved()).c_str(), stdout);
            std::fflush(stdout);
        });
        std::printf(
            "velmora demo: click the tray icon for news; its menu's 終了 or Ctrl+C quits\n");
        std::fflush(stdout);
    }

    sheet.OnInitDialog();
    sheet.PostDesktopAction(launch.action);
    const int code = app.exec();
    // A quit that arrived outside the sheet (the session manager) still saves.
    if (!sheet.Ended()) sheet.RequestQuit();
    g_sheet = nullptr;
    return code == 0 && !sheet.Saved() ? 1 : code;
}

}  // namespace
}  // namespace velmora

int main(int argc, char** argv) {
    using namespace velmora;
    const Launch launch = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (launch.mode == LaunchMode::Help) {
        std::fputs(UsageText("velmora").c_str(), stdout);
        return 0;
    }
    if (launch.mode == LaunchMode::Version) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }
    const bool demoMode = launch.mode == LaunchMode::Demo;
    if (!HasDisplay()) {
        std::fputs(NoDisplayText("velmora", demoMode).c_str(), stderr);
        return 1;
    }
    return Run(argc, argv, demoMode);
}
