#include "publisher/rate_limiter.h"

#include <algorithm>
#include <chrono>

namespace publisher {

RateLimiter::RateLimiter(double perSecond, double burst, Clock clock)
    : perSecond_(perSecond), burst_(std::max(burst, 1.0)), clock_(std::move(clock)) {
  if (!clock_) {
    clock_ = [] {
      return static_cast<int64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                      std::chrono::steady_clock::now().time_since_epoch())
                                      .count());
    };
  }
}

bool RateLimiter::allow(const std::string& client) {
  if (perSecond_ <= 0) return true;
  const int64_t now = clock_();
  std::lock_guard<std::mutex> lock(mutex_);
  if (now - lastSweep_ >= 60000) forgetFullBuckets(now);
  auto [it, added] = buckets_.try_emplace(client, Bucket{burst_, now});
  Bucket& bucket = it->second;
  if (!added) {
    bucket.tokens = std::min(burst_, bucket.tokens + static_cast<double>(now - bucket.at) * perSecond_ / 1000.0);
    bucket.at = now;
  }
  if (bucket.tokens < 1.0) return false;
  bucket.tokens -= 1.0;
  return true;
}

size_t RateLimiter::trackedClients() {
  std::lock_guard<std::mutex> lock(mutex_);
  return buckets_.size();
}

void RateLimiter::forgetFullBuckets(int64_t now) {
  lastSweep_ = now;
  for (auto it = buckets_.begin(); it != buckets_.end();) {
    const double refilled = it->second.tokens + static_cast<double>(now - it->second.at) * perSecond_ / 1000.0;
    it = refilled >= burst_ ? buckets_.erase(it) : std::next(it);
  }
}

}  // namespace publisher
