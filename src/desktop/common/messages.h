#pragma once
// Private window messages as custom QEvent types, keeping their numbers.
// Posted messages go through QCoreApplication::postEvent; sent ones are direct calls.

#include <QEvent>

namespace velmora {

// To the tool sheet.
inline constexpr QEvent::Type UM_TRAYNOTIFY = QEvent::Type(1034);
inline constexpr QEvent::Type UM_SHOWHELP = QEvent::Type(1056);
inline constexpr QEvent::Type UM_SHOWNEWS = QEvent::Type(1057);
inline constexpr QEvent::Type UM_FETCHNEWS = QEvent::Type(1058);
inline constexpr QEvent::Type UM_POLL = QEvent::Type(1059);
inline constexpr QEvent::Type UM_ERRORCLOSED = QEvent::Type(1064);
// A tray menu command from a desktop entry action (app/menu_commands.h).
inline constexpr QEvent::Type UM_MENUCOMMAND = QEvent::Type(1070);

// To the news popup.
inline constexpr QEvent::Type UM_POPUP_SETCHANNEL = QEvent::Type(1057);
inline constexpr QEvent::Type UM_POPUP_OPEN = QEvent::Type(1058);
inline constexpr QEvent::Type UM_POPUP_SHOWTAB = QEvent::Type(1062);

}  // namespace velmora
