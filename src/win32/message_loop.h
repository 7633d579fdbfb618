#pragma once
// The thread's message loop, and the wait of a transfer running on a worker
// thread while this thread keeps dispatching timers, clicks and dialogs.

#include <windows.h>

#include <functional>

#include "core/delivery/threaded_transfer.h"

namespace velmora::win32 {

// Gives a message to the modeless dialogs first (IsDialogMessage); true when
// one of them took it.
using PreTranslate = std::function<bool(MSG&)>;

// Dispatches what is queued now; false once WM_QUIT came (it is posted again
// for the outer loop).
bool DispatchQueued(const PreTranslate& preTranslate);

// Runs until WM_QUIT; its exit code.
int RunMessageLoop(const PreTranslate& preTranslate);

class MessageLoopWaiter final : public TransferWaiter {
  public:
    explicit MessageLoopWaiter(PreTranslate preTranslate);
    ~MessageLoopWaiter() override;
    MessageLoopWaiter(const MessageLoopWaiter&) = delete;
    MessageLoopWaiter& operator=(const MessageLoopWaiter&) = delete;

    void WaitUntil(const std::function<bool()>& done) override;
    void Wake() override;

  private:
    PreTranslate preTranslate_;
    HANDLE woken_;
};

}  // namespace velmora::win32
