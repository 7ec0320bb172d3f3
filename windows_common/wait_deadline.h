// A wait cut short after a time: the downloader starts its requests on the window's thread, which
// may wait for the search of the user's proxy (a configuration script's server that does not answer
// would hold it for as long as WinHTTP's own time-outs) only so long. Portable, tested natively.
#ifndef WINDOWS_COMMON_WAIT_DEADLINE_H
#define WINDOWS_COMMON_WAIT_DEADLINE_H

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>
#include <utility>

#include "windows_common/wait_interrupt.h"

namespace wincommon {

class WaitDeadline final : public WaitInterrupt {
 public:
  explicit WaitDeadline(std::chrono::milliseconds limit) : limit_(limit) {}
  ~WaitDeadline() override {
    clearInterrupt();
    if (watch_.joinable()) watch_.join();
  }
  WaitDeadline(const WaitDeadline&) = delete;
  WaitDeadline& operator=(const WaitDeadline&) = delete;

  // Runs interrupt once the limit has passed, unless clearInterrupt came first. One wait per object.
  bool setInterrupt(std::function<void()> interrupt) override {
    if (watch_.joinable()) return false;
    watch_ = std::thread([this, interrupt = std::move(interrupt)] {
      std::unique_lock<std::mutex> lock(mutex_);
      if (!changed_.wait_for(lock, limit_, [this] { return cleared_; })) interrupt();
    });
    return true;
  }
  void clearInterrupt() override {
    std::lock_guard<std::mutex> lock(mutex_);
    cleared_ = true;
    changed_.notify_all();
  }

 private:
  const std::chrono::milliseconds limit_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool cleared_ = false;
  std::thread watch_;
};

}  // namespace wincommon

#endif
