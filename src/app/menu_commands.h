#pragma once
// The tray menu's commands, and the event that carries one to the tool sheet
// when it comes from outside the menu (a desktop entry action handed over by
// another start of the program).

#include <QEvent>

#include "desktop/common/messages.h"

namespace velmora {

inline constexpr int kCmdTool = 32778;
inline constexpr int kCmdHelp = 32775;
inline constexpr int kCmdAbout = 32779;
inline constexpr int kCmdExit = 32771;

class MenuCommandEvent : public QEvent {
  public:
    explicit MenuCommandEvent(int command) : QEvent(UM_MENUCOMMAND), command_(command) {}
    int Command() const { return command_; }

  private:
    int command_;
};

}  // namespace velmora
