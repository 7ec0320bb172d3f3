#include "service/rate_budget.h"

#include <algorithm>

namespace svc {

RateBudget::RateBudget(std::function<Clock::time_point()> now) : now_(std::move(now)), refilled_(now_()) {}

int64_t RateBudget::grantFor(int64_t bytesPerSecond) {
  // Small enough that several connections share a low limit smoothly, large enough that a high
  // one costs few turns through here.
  return std::clamp<int64_t>(bytesPerSecond / 16, 4096, 1024 * 1024);
}

int64_t RateBudget::burstFor(int64_t bytesPerSecond) { return std::max(bytesPerSecond / 8, grantFor(bytesPerSecond)); }

void RateBudget::refillLocked(Clock::time_point now) {
  if (limit_ <= 0) return;
  const double seconds = std::chrono::duration<double>(now - refilled_).count();
  if (seconds <= 0) return;
  refilled_ = now;
  tokens_ = std::min(static_cast<double>(burstFor(limit_)), tokens_ + seconds * static_cast<double>(limit_));
}

void RateBudget::setLimit(int64_t bytesPerSecond) {
  bytesPerSecond = std::max<int64_t>(bytesPerSecond, 0);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    const Clock::time_point now = now_();
    // What the old limit allowed so far stays allowed; what was taken beyond it stays owed.
    refillLocked(now);
    if (limit_ == 0) tokens_ = 0;
    limit_ = bytesPerSecond;
    refilled_ = now;
    if (limit_ > 0) tokens_ = std::min(tokens_, static_cast<double>(burstFor(limit_)));
  }
  changed_.notify_all();
}

int64_t RateBudget::limit() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return limit_;
}

int64_t RateBudget::take(int64_t wanted, Clock::duration* wait) {
  if (wanted <= 0) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (limit_ <= 0) return wanted;
  refillLocked(now_());
  if (tokens_ > 0) {
    const int64_t granted = std::min(wanted, grantFor(limit_));
    tokens_ -= static_cast<double>(granted);
    return granted;
  }
  // Until the bucket is above zero again, and at least a millisecond.
  const double seconds = (1 - tokens_) / static_cast<double>(limit_);
  *wait = std::max<Clock::duration>(std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds)),
                                    std::chrono::milliseconds(1));
  return 0;
}

void RateBudget::giveBack(int64_t bytes) {
  if (bytes <= 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (limit_ <= 0) return;
  tokens_ = std::min(static_cast<double>(burstFor(limit_)), tokens_ + static_cast<double>(bytes));
}

int64_t RateBudget::acquire(int64_t wanted, const std::function<bool()>& keepGoing, Clock::duration poll) {
  for (;;) {
    Clock::duration wait{};
    const int64_t granted = take(wanted, &wait);
    if (granted > 0 || wanted <= 0) return granted;
    if (keepGoing && !keepGoing()) return 0;
    std::unique_lock<std::mutex> lock(mutex_);
    // A change of limit wakes every waiter: lifting it lets them read at once.
    changed_.wait_for(lock, std::min(wait, poll));
  }
}

}  // namespace svc
