#pragma once
// The numbers the tool sheet, the tray and the news popup pass between them,
// as plain integers for both desktops: private window messages (WM_USER + n),
// the tray callback's parameters, the tray menu's commands and the timer ids.

namespace velmora {

namespace message {
// To the tool sheet.
inline constexpr int UM_TRAYNOTIFY = 1034;
inline constexpr int UM_SHOWHELP = 1056;
inline constexpr int UM_SHOWNEWS = 1057;
inline constexpr int UM_FETCHNEWS = 1058;
inline constexpr int UM_POLL = 1059;
inline constexpr int UM_ERRORCLOSED = 1064;
// A tray menu command handed over by another start (word parameter: the command).
inline constexpr int UM_MENUCOMMAND = 1070;

// To the news popup.
inline constexpr int UM_POPUP_SETCHANNEL = 1057;
inline constexpr int UM_POPUP_OPEN = 1058;
inline constexpr int UM_POPUP_SHOWTAB = 1062;
}  // namespace message

// UM_TRAYNOTIFY's word parameter is the icon id, its long parameter the mouse message.
inline constexpr int kTrayIconId = 128;
inline constexpr int kWmLButtonDown = 513;
inline constexpr int kWmRButtonDown = 516;

// The tray menu's commands.
inline constexpr int kCmdTool = 32778;
inline constexpr int kCmdHelp = 32775;
inline constexpr int kCmdAbout = 32779;
inline constexpr int kCmdExit = 32771;

// The sheet's timers.
inline constexpr int kBlinkTimerId = 1;
inline constexpr int kPollTimerId = 2;

}  // namespace velmora
