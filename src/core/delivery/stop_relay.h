#pragma once
// Forwards a stop request from one token to another source, by looking at the
// token on a thread of its own. std::stop_callback would do it without the
// thread, but its destructor waits on a semaphore that can miss its wake-up
// when the callback runs on another thread (libstdc++ 12 on Windows), and the
// waiting thread then hangs for good.

#include <condition_variable>
#include <mutex>
#include <stop_token>
#include <thread>

namespace velmora {

class StopRelay {
  public:
    // Forwards as long as the relay lives; no thread when `from` cannot stop
    // at all, none either when it has already stopped (forwarded at once).
    StopRelay(std::stop_token from, std::stop_source& to);
    ~StopRelay();
    StopRelay(const StopRelay&) = delete;
    StopRelay& operator=(const StopRelay&) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable ending_;
    bool ended_ = false;  // guarded by mutex_
    std::thread watcher_;
};

}  // namespace velmora
