#pragma once
// Private window messages as custom QEvent types, keeping their numbers.
// Posted messages go through QCoreApplication::postEvent; sent ones are direct calls.

#include <QEvent>

#include "core/shell/sheet_messages.h"

namespace velmora {

// To the tool sheet.
inline constexpr QEvent::Type UM_TRAYNOTIFY = QEvent::Type(message::UM_TRAYNOTIFY);
inline constexpr QEvent::Type UM_SHOWHELP = QEvent::Type(message::UM_SHOWHELP);
inline constexpr QEvent::Type UM_SHOWNEWS = QEvent::Type(message::UM_SHOWNEWS);
inline constexpr QEvent::Type UM_FETCHNEWS = QEvent::Type(message::UM_FETCHNEWS);
inline constexpr QEvent::Type UM_POLL = QEvent::Type(message::UM_POLL);
inline constexpr QEvent::Type UM_ERRORCLOSED = QEvent::Type(message::UM_ERRORCLOSED);
// A tray menu command from a desktop entry action (app/menu_commands.h).
inline constexpr QEvent::Type UM_MENUCOMMAND = QEvent::Type(message::UM_MENUCOMMAND);

// To the news popup.
inline constexpr QEvent::Type UM_POPUP_SETCHANNEL = QEvent::Type(message::UM_POPUP_SETCHANNEL);
inline constexpr QEvent::Type UM_POPUP_OPEN = QEvent::Type(message::UM_POPUP_OPEN);
inline constexpr QEvent::Type UM_POPUP_SHOWTAB = QEvent::Type(message::UM_POPUP_SHOWTAB);

}  // namespace velmora
