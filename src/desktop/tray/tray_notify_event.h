#pragma once
// UM_TRAYNOTIFY with its two parameters: the icon id and the mouse message
// (core/shell/sheet_messages.h).

#include <QEvent>

#include "core/shell/sheet_messages.h"
#include "desktop/common/messages.h"

namespace velmora {

class TrayNotifyEvent : public QEvent {
  public:
    TrayNotifyEvent(int iconId, int mouseMessage)
        : QEvent(UM_TRAYNOTIFY), iconId_(iconId), mouseMessage_(mouseMessage) {}
    int IconId() const { return iconId_; }
    int MouseMessage() const { return mouseMessage_; }

  private:
    int iconId_;
    int mouseMessage_;
};

}  // namespace velmora
