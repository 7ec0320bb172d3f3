#include "service/rate_meter.h"

namespace svc {

constexpr std::chrono::milliseconds RateMeter::kBucket;

void RateMeter::add(uint64_t bytes, Clock::time_point now) {
  if (!started_) {
    started_ = true;
    firstByte_ = now;
  }
  if (!buckets_.empty() && now - buckets_.back().start < kBucket) {
    buckets_.back().bytes += bytes;
  } else {
    buckets_.push_back({now, bytes});
  }
  dropOld(now);
}

void RateMeter::dropOld(Clock::time_point now) const {
  while (!buckets_.empty() && now - buckets_.front().start > window_) buckets_.pop_front();
}

uint64_t RateMeter::bytesPerSecond(Clock::time_point now) const {
  dropOld(now);
  if (buckets_.empty()) return 0;
  uint64_t total = 0;
  for (const auto& bucket : buckets_) total += bucket.bytes;
  Clock::duration span = now - firstByte_;
  if (span > window_) span = window_;
  if (span < std::chrono::milliseconds(250)) span = std::chrono::milliseconds(250);
  double seconds = std::chrono::duration<double>(span).count();
  return static_cast<uint64_t>(static_cast<double>(total) / seconds);
}

void RateMeter::reset() {
  buckets_.clear();
  started_ = false;
}

}  // namespace svc
