// Lets another thread cut a fetch short. A fetch blocked in its platform's read registers how to
// interrupt that read; abort() runs it (or, before the fetch has registered, makes the
// registration fail so the fetch ends at once).
#ifndef SERVICE_FETCH_ABORT_H
#define SERVICE_FETCH_ABORT_H

#include <functional>
#include <mutex>
#include <utility>

#include "windows_common/wait_interrupt.h"

namespace svc {

class FetchAbort final : public wincommon::WaitInterrupt {
 public:
  void abort() {
    std::lock_guard<std::mutex> lock(mutex_);
    aborted_ = true;
    if (interrupt_) interrupt_();
    interrupt_ = nullptr;
  }
  // False when abort() already ran; then nothing is registered.
  bool setInterrupt(std::function<void()> interrupt) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (aborted_) return false;
    interrupt_ = std::move(interrupt);
    return true;
  }
  void clearInterrupt() override {
    std::lock_guard<std::mutex> lock(mutex_);
    interrupt_ = nullptr;
  }

 private:
  std::mutex mutex_;
  bool aborted_ = false;
  std::function<void()> interrupt_;
};

}  // namespace svc

#endif
