#include "desktop/common/event_loop_waiter.h"

#include <QEventLoop>

namespace velmora {

EventLoopWaiter::EventLoopWaiter() : dispatcher_(QAbstractEventDispatcher::instance()) {}

void EventLoopWaiter::WaitUntil(const std::function<bool()>& done) {
    QEventLoop loop;
    while (!done()) loop.processEvents(QEventLoop::WaitForMoreEvents);
}

void EventLoopWaiter::Wake() {
    // wakeUp is the dispatcher's one thread-safe call.
    if (dispatcher_) dispatcher_->wakeUp();
}

}  // namespace velmora
