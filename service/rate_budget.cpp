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
  *wait = Clock::duration::zero();
  if (wanted <= 0) return 0;
  std::lock_guard<std::mutex> lock(mutex_);
  if (limit_ <= 0) return wanted;
  refillLocked(now_());
  // A whole byte at least in the bucket: read at once. Else the grant is reserved, in turn after
  // those already waiting, and read when the bucket would have held it.
  const bool atOnce = tokens_ >= 1;
  const int64_t granted = std::min(wanted, grantFor(limit_));
  tokens_ -= static_cast<double>(granted);
  if (!atOnce) {
    *wait = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(-tokens_ / static_cast<double>(limit_)));
  }
  return granted;
}

void RateBudget::giveBack(int64_t bytes) {
  if (bytes <= 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (limit_ <= 0) return;
  tokens_ = std::min(static_cast<double>(burstFor(limit_)), tokens_ + static_cast<double>(bytes));
}

int64_t RateBudget::acquire(int64_t wanted, const std::function<bool()>& keepGoing, Clock::duration poll) {
  Clock::duration wait{};
  const int64_t granted = take(wanted, &wait);
  if (wait <= Clock::duration::zero()) return granted;
  // The turn comes at a real time whatever clock the bucket keeps.
  const auto turn = std::chrono::steady_clock::now() + wait;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    const auto now = std::chrono::steady_clock::now();
    // Lifted meanwhile: no turn to wait for.
    if (now >= turn || limit_ <= 0) return granted;
    lock.unlock();
    if (keepGoing && !keepGoing()) {
      giveBack(granted);
      return 0;
    }
    lock.lock();
    changed_.wait_for(lock, std::min<std::chrono::steady_clock::duration>(turn - now, poll));
  }
}

}  // namespace svc
