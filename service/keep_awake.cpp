#include "service/keep_awake.h"

namespace svc {

void KeepAwake::begin() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (active_++ == 0 && request_) request_(true);
}

void KeepAwake::end() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (--active_ == 0 && request_) request_(false);
}

}  // namespace svc
