// How another thread cuts a blocking wait short: the waiter registers how to wake itself, and the
// other side runs that at most once. Portable, so that waits built on it are tested natively.
#ifndef WINDOWS_COMMON_WAIT_INTERRUPT_H
#define WINDOWS_COMMON_WAIT_INTERRUPT_H

#include <functional>

namespace wincommon {

class WaitInterrupt {
 public:
  virtual ~WaitInterrupt() = default;
  // False when the wait is already over; then nothing is registered and the waiter gives up.
  virtual bool setInterrupt(std::function<void()> interrupt) = 0;
  // Called before what the interrupt touches goes away.
  virtual void clearInterrupt() = 0;
};

}  // namespace wincommon

#endif
