// The command line: its few options, what it ignores, and its texts.

#include "core/shell/command_line.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/shell/sheet_messages.h"

using namespace velmora;

TEST(CommandLine, KnowsItsFewOptions) {
    EXPECT_EQ(ParseCommandLine({}).mode, LaunchMode::Run);
    EXPECT_EQ(ParseCommandLine({"--demo"}).mode, LaunchMode::Demo);
    EXPECT_EQ(ParseCommandLine({"--version"}).mode, LaunchMode::Version);
    EXPECT_EQ(ParseCommandLine({"--demo", "--help"}).mode, LaunchMode::Help);
    EXPECT_EQ(ParseCommandLine({"--help", "--version"}).mode, LaunchMode::Help);

    // What a desktop launcher may add is ignored and named once.
    const Launch odd = ParseCommandLine({"--demo", "--bogus", "file.txt"});
    EXPECT_EQ(odd.mode, LaunchMode::Demo);
    EXPECT_THAT(odd.ignored, ::testing::ElementsAre("--bogus", "file.txt"));
    EXPECT_EQ(IgnoredArgumentsLine(odd.ignored),
              "velmora: ignoring unknown arguments '--bogus' 'file.txt'\n");
    const Launch file = ParseCommandLine({"file.txt"});
    EXPECT_EQ(file.mode, LaunchMode::Run);
    EXPECT_EQ(IgnoredArgumentsLine(file.ignored),
              "velmora: ignoring unknown argument 'file.txt'\n");
    EXPECT_EQ(ParseCommandLine({"x", "--version"}).mode, LaunchMode::Version);
    EXPECT_EQ(IgnoredArgumentsLine({}), "");
    EXPECT_THAT(VersionText(), ::testing::HasSubstr("1.0.1"));
    EXPECT_THAT(NoDisplayText("velmora", true), ::testing::HasSubstr("xvfb-run -a velmora --demo"));
    EXPECT_THAT(NoDisplayText("velmora", false),
                ::testing::HasSubstr("QT_QPA_PLATFORM=offscreen velmora"));
}

TEST(CommandLine, DesktopActionsRunTheProgramWithACommand) {
    EXPECT_EQ(ParseCommandLine({}).action, DesktopAction::None);
    const Launch news = ParseCommandLine({"--news"});
    EXPECT_EQ(news.mode, LaunchMode::Run);
    EXPECT_EQ(news.action, DesktopAction::News);
    EXPECT_EQ(ParseCommandLine({"--tool"}).action, DesktopAction::Tool);
    EXPECT_EQ(ParseCommandLine({"--about"}).action, DesktopAction::About);
    const Launch quit = ParseCommandLine({"--demo", "--quit"});
    EXPECT_EQ(quit.mode, LaunchMode::Demo);
    EXPECT_EQ(quit.action, DesktopAction::Quit);
    // --help wins over an action and lists all four.
    EXPECT_EQ(ParseCommandLine({"--quit", "--help"}).mode, LaunchMode::Help);
    for (const char* option : {"--news", "--tool", "--about", "--quit"}) {
        EXPECT_THAT(UsageText("velmora"), ::testing::HasSubstr(option));
    }
    // Each stands for a tray menu command, the news for none.
    EXPECT_EQ(ActionCommand(DesktopAction::Tool), kCmdTool);
    EXPECT_EQ(ActionCommand(DesktopAction::About), kCmdAbout);
    EXPECT_EQ(ActionCommand(DesktopAction::Quit), kCmdExit);
    EXPECT_EQ(ActionCommand(DesktopAction::News), 0);
}
