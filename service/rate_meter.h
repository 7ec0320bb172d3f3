// The download rate the service reports: bytes received over the last few seconds divided by the
// time they took. Time is passed in, so the arithmetic can be checked without waiting.
#ifndef SERVICE_RATE_METER_H
#define SERVICE_RATE_METER_H

#include <stdint.h>

#include <chrono>
#include <deque>

namespace svc {

class RateMeter {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RateMeter(Clock::duration window = std::chrono::seconds(3)) : window_(window) {}

  void add(uint64_t bytes, Clock::time_point now);
  // Bytes per second over the window ending now. A transfer younger than the window is averaged
  // over its own age (at least a quarter second, so the first chunk does not read as a spike).
  uint64_t bytesPerSecond(Clock::time_point now) const;
  void reset();

 private:
  struct Bucket {
    Clock::time_point start;
    uint64_t bytes;
  };
  static constexpr std::chrono::milliseconds kBucket{100};

  void dropOld(Clock::time_point now) const;

  Clock::duration window_;
  mutable std::deque<Bucket> buckets_;
  bool started_ = false;
  Clock::time_point firstByte_{};
};

}  // namespace svc

#endif
