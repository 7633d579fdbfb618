#pragma once
// What the delivery cycle asks of the desktop: the tray image and tooltip, the
// poll timer, the delivery number dialog and the simulated tray click. The tool
// sheet implements it; tests use a recording fake.

#include <cstdint>
#include <string>

namespace velmora {

// The four tray images the cycle switches between.
enum class TrayImage {
    Normal,         // idle
    Blink,          // second image of the blinking icon
    Error,          // the last request failed
    Communicating,  // a request is running
};

// How the delivery number dialog ended.
struct DeliveryNumberAnswer {
    bool accepted = false;         // true only for OK with both fields filled
    std::string deliveryNo;        // CP932, as typed
    std::string deliveryPassword;  // CP932, as typed; kept in memory only
};

class DeliveryUi {
  public:
    virtual ~DeliveryUi() = default;

    virtual void SetTrayImage(TrayImage image) = 0;
    // `tip` is CP932; cutting it to the tray's limit is the implementation's job.
    virtual void SetTrayTip(const std::string& tip) = 0;

    // Poll timer (id 2): starting a running timer restarts it with the new interval.
    virtual void StartPollTimer(std::uint32_t intervalMs) = 0;
    virtual void StopPollTimer() = 0;

    // Runs the delivery number dialog modally with `prompt` and the number
    // pre-filled (both CP932). Events keep being dispatched while it is open.
    virtual DeliveryNumberAnswer AskDeliveryNumber(const std::string& prompt,
                                                   const std::string& deliveryNo) = 0;

    // Posts UM_TRAYNOTIFY (1034) to the tool sheet with icon id 128 and
    // WM_LBUTTONDOWN (513): a left click on the tray icon, handled later.
    virtual void PostTrayClick() = 0;
};

}  // namespace velmora
