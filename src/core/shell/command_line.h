#pragma once
// The few options of the executable. Without options nothing is read; what
// it does not know (desktop launchers may pass files or their own options) is
// left alone.

#include <string>
#include <vector>

namespace velmora {

enum class LaunchMode { Run, Demo, Version, Help };

// What a desktop entry action asks of the running copy (or of a new one).
enum class DesktopAction { None, News, Tool, About, Quit };

struct Launch {
    LaunchMode mode = LaunchMode::Run;
    std::vector<std::string> ignored;            // unknown arguments, in the order given
    DesktopAction action = DesktopAction::None;  // the last one given counts
};

// "--news", "--tool", "--about", "--quit"; None for anything else.
DesktopAction DesktopActionOption(const std::string& arg);

// The tray menu command a desktop action stands for; 0 for the news and for none.
int ActionCommand(DesktopAction action);

// `args` without the program name, and without the toolkit's own options.
Launch ParseCommandLine(const std::vector<std::string>& args);

// The one stderr line that names the ignored arguments; empty when there are none.
std::string IgnoredArgumentsLine(const std::vector<std::string>& ignored);

// The texts of --help and --version.
std::string UsageText(const std::string& programName);
std::string VersionText();

// Shown instead of starting when there is no display to start on.
std::string NoDisplayText(const std::string& programName, bool demo);

// What a start that cannot run shows the user beside its stderr line, for one
// who started it from a menu and sees no terminal (UTF-8). `problem` is that
// line without the program's name.
struct StartFailureNotice {
    std::string title;
    std::string text;
};
StartFailureNotice StartFailureNoticeFor(const std::string& problem);

}  // namespace velmora
