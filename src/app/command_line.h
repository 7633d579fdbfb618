#pragma once
// The few options of the executable. Without options nothing is read.

#include <string>
#include <vector>

namespace velmora {

enum class LaunchMode { Run, Demo, Version, Help, Invalid };

// What a desktop entry action asks of the running copy (or of a new one).
enum class DesktopAction { None, News, Tool, About, Quit };

struct Launch {
    LaunchMode mode = LaunchMode::Run;
    std::string problem;  // for Invalid: what was wrong
    DesktopAction action = DesktopAction::None;
};

// "--news", "--tool", "--about", "--quit"; None for anything else.
DesktopAction DesktopActionOption(const std::string& arg);

// `args` without the program name, and without the toolkit's own options.
Launch ParseCommandLine(const std::vector<std::string>& args);

// The texts of --help and --version.
std::string UsageText(const std::string& programName);
std::string VersionText();

// Shown instead of starting when there is no display to start on.
std::string NoDisplayText(const std::string& programName, bool demo);

}  // namespace velmora
