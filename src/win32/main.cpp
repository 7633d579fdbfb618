// velmora.exe: the tray news client on Windows. Starts once per instance
// name; a second start hands over to the running copy.

#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/delivery/clock.h"
#include "core/delivery/curl_transfer.h"
#include "core/platform/data_paths.h"
#include "core/settings/settings.h"
#include "core/settings/typed_settings.h"
#include "core/shell/command_line.h"
#include "core/text/wide_text.h"
#include "desktop_demo.h"
#include "win32/console.h"
#include "win32/demo_session.h"
#include "win32/icons.h"
#include "win32/res/resource_ids.h"
#include "win32/settings_import.h"
#include "win32/single_instance.h"
#include "win32/tool_sheet.h"

namespace velmora::win32 {
namespace {

// A start that cannot run says why on stderr, and where that reaches no one
// in a message box too.
void ShowStartFailure(const std::string& problem) {
    const StartFailureNotice notice = StartFailureNoticeFor(problem);
    TellWithoutConsole(notice.title, notice.text);
}

void TellStartFailure(const std::string& problem) {
    std::fprintf(stderr, "velmora: %s\n", problem.c_str());
    std::fflush(stderr);
    ShowStartFailure(problem);
}

std::vector<std::string> Arguments() {
    int count = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> args;
    for (int i = 1; argv && i < count; ++i) args.push_back(text::WideToUtf8(argv[i]));
    if (argv) LocalFree(argv);
    return args;
}

std::string ExecutablePath() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return text::WideToUtf8(path);
}

HICON LoadSettingsIcon(const char* valueName, int resource, std::string& path) {
    path = settings::ReadIconPath(valueName);
    if (HICON icon = LoadIconFile(path)) return icon;
    return LoadIconResource(resource);
}

void Say(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fflush(stdout);
}

int Run(const Launch& launch) {
    const bool demoMode = launch.mode == LaunchMode::Demo;
    // The demo runs beside the real copy, and its second starts reach it.
    const std::wstring name =
        text::Utf8ToWide(InstanceNameFromPath(ExecutablePath())) + (demoMode ? L"-demo" : L"");
    SingleInstance instance(name);
    switch (instance.Acquire(ActionCommand(launch.action))) {
        case SingleInstance::Start::First:
            // Quitting a copy that does not run is nothing to do.
            if (launch.action == DesktopAction::Quit) return 0;
            break;
        case SingleInstance::Start::HandedOver:
            if (demoMode) Say(demo::DemoHandedOverLine());
            return 0;
        case SingleInstance::Start::NoAnswer:
            TellStartFailure("another copy holds the name " + text::WideToUtf8(name) +
                             " but shows no tool sheet; end it in the Task Manager");
            return 1;
    }

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    // Before any setting is read: the demo's settings are its own.
    std::unique_ptr<DemoSession> demo;
    if (demoMode) {
        demo = std::make_unique<DemoSession>();
        std::string error;
        if (!demo->Start(error)) {
            TellStartFailure("demo: " + error);
            return 1;
        }
        Say(demo::DemoServiceLine(demo->ServiceAddress()));
        Say(demo::DemoProfileLine(demo->ProfileText()));
    }

    const std::filesystem::path dataFolder = demo ? demo->DataFolder() : PrepareDataFolder();
    SheetStartup startup;
    startup.dataFile =
        dataFolder.empty() ? std::filesystem::path(kItemStoreName) : ItemStorePath(dataFolder);
    // Only one copy runs: whatever temporaries are there, no one writes them.
    if (const Leftovers gone = RemoveLeftovers(startup.dataFile, WorkFileFolder()); gone.files) {
        std::fprintf(stderr,
                     "velmora: removed %d temporary files (%llu bytes) left by earlier runs\n",
                     gone.files, static_cast<unsigned long long>(gone.bytes));
    }
    startup.normalIcon =
        LoadSettingsIcon(settings::kNormalIcon, IDI_NORMAL, startup.normalIconPath);
    std::string blinkPath;
    startup.blinkIcon = LoadSettingsIcon(settings::kBlinkIcon, IDI_BLINK, blinkPath);
    startup.colors.text = settings::ReadTextColor();
    startup.colors.readText = settings::ReadReadTextColor();
    startup.instanceName = name;
    if (demo) {
        startup.cycleFinished = [&demo](CycleResult result, int items) {
            Say(demo::DemoCycleLine(result, items, demo->ServiceRequests()));
        };
        // The session may end the process right after: the profile goes now.
        startup.ended = [&demo] { demo->Remove(); };
        Say("velmora demo: click the tray icon for news; its menu's 終了 or "
            "velmora --demo --quit quits\n");
    }

    int code = 1;
    {
        CurlTransfer network;
        SystemClock clock;
        CToolSheet sheet(std::move(startup), network, clock);
        if (sheet.Create()) {
            sheet.PostDesktopAction(launch.action);
            code = sheet.Run();
            if (demo) Say(demo::DemoQuitLine(code == 0));
        } else {
            ShowStartFailure("cannot create the tool sheet window");  // stderr has the detail
        }
    }
    return code;
}

}  // namespace
}  // namespace velmora::win32

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    using namespace velmora;
    win32::UseParentConsole();
    const std::vector<std::string> args = win32::Arguments();
    // The installer's /REG: provisions the machine and ends.
    if (args.size() == 2 && args[0] == "--import-machine-settings") {
        return win32::ImportMachineSettings(std::filesystem::path(text::Utf8ToWide(args[1])));
    }
    const Launch launch = ParseCommandLine(args);
    if (launch.mode == LaunchMode::Help) {
        std::fputs(UsageText("velmora").c_str(), stdout);
        return 0;
    }
    if (launch.mode == LaunchMode::Version) {
        std::fputs(VersionText().c_str(), stdout);
        return 0;
    }
    std::fputs(IgnoredArgumentsLine(launch.ignored).c_str(), stderr);
    return win32::Run(launch);
}
