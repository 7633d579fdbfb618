#pragma once
// The event that carries a tray menu command (core/shell/sheet_messages.h) to
// the tool sheet when it comes from outside the menu (a desktop entry action
// handed over by another start of the program).

#include <QEvent>

#include "core/shell/sheet_messages.h"
#include "desktop/common/messages.h"

namespace velmora {

class MenuCommandEvent : public QEvent {
  public:
    explicit MenuCommandEvent(int command) : QEvent(UM_MENUCOMMAND), command_(command) {}
    int Command() const { return command_; }

  private:
    int command_;
};

}  // namespace velmora
