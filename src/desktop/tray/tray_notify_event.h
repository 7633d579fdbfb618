#pragma once
// UM_TRAYNOTIFY with its two parameters: the icon id and the mouse message.

#include <QEvent>

#include "desktop/common/messages.h"

namespace velmora {

inline constexpr int kTrayIconId = 128;
// The mouse messages the tray callback carries.
inline constexpr int kWmLButtonDown = 513;
inline constexpr int kWmRButtonDown = 516;

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
