#include "win32/message_loop.h"

namespace velmora::win32 {
namespace {

void Dispatch(MSG& msg, const PreTranslate& preTranslate) {
    if (preTranslate && preTranslate(msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

}  // namespace

bool DispatchQueued(const PreTranslate& preTranslate) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        Dispatch(msg, preTranslate);
    }
    return true;
}

int RunMessageLoop(const PreTranslate& preTranslate) {
    MSG msg;
    BOOL got;
    while ((got = GetMessageW(&msg, nullptr, 0, 0)) != 0) {
        if (got == -1) return 1;
        Dispatch(msg, preTranslate);
    }
    return static_cast<int>(msg.wParam);
}

MessageLoopWaiter::MessageLoopWaiter(PreTranslate preTranslate)
    : preTranslate_(std::move(preTranslate)),
      woken_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

MessageLoopWaiter::~MessageLoopWaiter() {
    if (woken_) CloseHandle(woken_);
}

void MessageLoopWaiter::WaitUntil(const std::function<bool()>& done) {
    while (!done()) {
        // Wakes for the worker's event or for any message; a quit that came
        // meanwhile waits for the outer loop.
        MsgWaitForMultipleObjectsEx(1, &woken_, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (!DispatchQueued(preTranslate_)) {
            // Leave the quit queued and wait for the worker alone.
            while (!done()) WaitForSingleObject(woken_, 50);
            return;
        }
    }
}

void MessageLoopWaiter::Wake() {
    SetEvent(woken_);
}

}  // namespace velmora::win32
