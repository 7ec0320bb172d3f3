// The download speed limit the player chose, kept across every file and every connection the
// service fetches over: one token bucket for the whole service (one service runs per account, so
// one budget per player). A connection asks for bytes before it reads them and gives back what it
// did not read; while the bucket is empty it waits, reads nothing, and TCP slows the sender.
//
// The bucket holds at most a short burst (an eighth of a second of the limit), so a connection
// that was idle cannot take a second's worth at once. While it holds anything, a connection takes
// a grant (a sixteenth of a second of the limit, at most its read) at once and gives back what the
// read did not bring. Once it is empty, a grant is a reservation: taken at once, below zero, and
// read when the bucket would have held it, so each waiting connection sleeps once, for its own
// turn after those already waiting, instead of all of them waking whenever a little is there.
// The debt is paid before anyone reads at once again, so over any stretch of time no more than
// the limit, one burst and a grant per connection go through. Time is passed in through the
// clock, so the arithmetic can be checked without waiting.
#ifndef SERVICE_RATE_BUDGET_H
#define SERVICE_RATE_BUDGET_H

#include <stdint.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace svc {

class RateBudget {
 public:
  using Clock = std::chrono::steady_clock;

  explicit RateBudget(std::function<Clock::time_point()> now = Clock::now);

  // Bytes per second for everything together; 0 lifts the limit. Takes effect at once, also for
  // connections waiting for bytes.
  void setLimit(int64_t bytesPerSecond);
  int64_t limit() const;

  // Takes up to wanted bytes (one grant at most; wanted without a limit) and sets *wait to how long
  // the reader must wait before it reads them: zero while the bucket holds anything.
  int64_t take(int64_t wanted, Clock::duration* wait);
  // Bytes taken and not read after all.
  void giveBack(int64_t bytes);

  // Takes bytes as take does and waits out their turn, asking keepGoing at least every poll; 0
  // (with the bytes given back) when keepGoing said to stop. A limit lifted meanwhile ends the
  // wait at once.
  int64_t acquire(int64_t wanted, const std::function<bool()>& keepGoing, Clock::duration poll);

  // The most one grant gives at this limit, and the most the bucket holds.
  static int64_t grantFor(int64_t bytesPerSecond);
  static int64_t burstFor(int64_t bytesPerSecond);

 private:
  void refillLocked(Clock::time_point now);

  std::function<Clock::time_point()> now_;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  int64_t limit_ = 0;
  double tokens_ = 0;
  Clock::time_point refilled_{};
};

}  // namespace svc

#endif
