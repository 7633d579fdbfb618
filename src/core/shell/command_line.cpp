#include "core/shell/command_line.h"

#include "core/shell/sheet_messages.h"

namespace velmora {

namespace {

// An option that ends the program before it starts wins over one that changes
// how it runs.
struct Option {
    const char* name;
    LaunchMode mode;
    int rank;
};

constexpr Option kOptions[] = {
    {"--help", LaunchMode::Help, 2},
    {"-h", LaunchMode::Help, 2},
    {"--version", LaunchMode::Version, 1},
    {"--demo", LaunchMode::Demo, 0},
};

}  // namespace

DesktopAction DesktopActionOption(const std::string& arg) {
    if (arg == "--news") return DesktopAction::News;
    if (arg == "--tool") return DesktopAction::Tool;
    if (arg == "--about") return DesktopAction::About;
    if (arg == "--quit") return DesktopAction::Quit;
    return DesktopAction::None;
}

int ActionCommand(DesktopAction action) {
    switch (action) {
        case DesktopAction::Tool:
            return kCmdTool;
        case DesktopAction::About:
            return kCmdAbout;
        case DesktopAction::Quit:
            return kCmdExit;
        case DesktopAction::News:
        case DesktopAction::None:
            break;
    }
    return 0;
}

Launch ParseCommandLine(const std::vector<std::string>& args) {
    Launch launch;
    int rank = -1;
    for (const std::string& a : args) {
        if (const DesktopAction action = DesktopActionOption(a); action != DesktopAction::None) {
            launch.action = action;
            continue;
        }
        const Option* known = nullptr;
        for (const Option& o : kOptions) {
            if (a == o.name) known = &o;
        }
        if (!known) {
            launch.ignored.push_back(a);
        } else if (known->rank > rank) {
            rank = known->rank;
            launch.mode = known->mode;
        }
    }
    return launch;
}

std::string IgnoredArgumentsLine(const std::vector<std::string>& ignored) {
    if (ignored.empty()) return {};
    std::string line = ignored.size() == 1 ? "velmora: ignoring unknown argument"
                                           : "velmora: ignoring unknown arguments";
    for (const std::string& a : ignored) line += " '" + a + "'";
    return line + "\n";
}

std::string UsageText(const std::string& programName) {
    return "Usage: " + programName +
           " [--demo] [--news | --tool | --about | --quit] | --version | --help\n"
           "\n"
           "Velmora, a news client that lives in the system tray. Without options it\n"
           "runs once per user; starting it again brings up the news of the running copy.\n"
           "\n"
           "  --demo     run against a built-in delivery service on 127.0.0.1 with a\n"
           "             throw-away profile; news arrives within seconds\n"
           "  --news     bring up the news of the running copy (as a second start does)\n"
           "  --tool     open the settings sheet (ツール) of the running copy\n"
           "  --about    show the About box (バージョン情報) of the running copy\n"
           "  --quit     quit the running copy (終了); does nothing when none runs\n"
           "             Without a running copy, --news, --tool and --about start the\n"
           "             program first and then do as asked.\n"
           "  --version  print the version and exit\n"
           "  --help     print this help and exit\n"
           "\n"
           "Other arguments are ignored.\n"
           "\n"
           "Settings: $XDG_CONFIG_DIRS/velmora/machine.reg (machine-wide) and\n"
           "$XDG_CONFIG_HOME/velmora/user.reg (per user). Item store:\n"
           "$XDG_DATA_HOME/VELMORA/VELMORA.dat. SIGTERM and SIGINT quit like the\n"
           "tray menu's quit command.\n";
}

std::string VersionText() {
    return "velmora 1.0.1\n";
}

std::string NoDisplayText(const std::string& programName, bool demo) {
    const std::string cmd = programName + (demo ? " --demo" : "");
    return programName +
           ": no display to run on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
           "Run it on a desktop, or under a virtual X server:\n"
           "    xvfb-run -a " +
           cmd +
           "\n"
           "or headless, without tray icon and windows:\n"
           "    QT_QPA_PLATFORM=offscreen " +
           cmd + "\n";
}

StartFailureNotice StartFailureNoticeFor(const std::string& problem) {
    return {"起動エラー", "ヴェルモラを起動できません。\n" + problem};
}

}  // namespace velmora
