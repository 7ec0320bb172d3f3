// The player's speed limit as the service keeps it: one bucket for every connection, checked with
// a clock the test moves, and then on a real segmented download from the testbed origin.
#include "service/rate_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

using Clock = svc::RateBudget::Clock;
using namespace std::chrono_literals;

constexpr int64_t kMiB = 1024 * 1024;

struct FakeClock {
  Clock::time_point now{};
  std::function<Clock::time_point()> function() {
    return [this] { return now; };
  }
};

// Several consumers asking in turn for a large read each, as connections do, for `seconds` of the
// test's clock: what the budget let through.
int64_t drain(svc::RateBudget& budget, FakeClock& clock, int consumers, Clock::duration span) {
  int64_t granted = 0;
  const Clock::time_point end = clock.now + span;
  while (clock.now < end) {
    for (int c = 0; c < consumers; ++c) {
      Clock::duration wait{};
      granted += budget.take(kMiB, &wait);
    }
    clock.now += 1ms;
  }
  return granted;
}

TEST(RateBudget, SeveralConsumersTogetherGetTheLimitAndOneBurstAtMost) {
  FakeClock clock;
  svc::RateBudget budget(clock.function());
  Clock::duration wait{};
  EXPECT_EQ(budget.take(kMiB, &wait), kMiB) << "no limit: everything at once";

  budget.setLimit(5 * kMiB);
  for (int consumers : {1, 4, 12}) {
    const int64_t granted = drain(budget, clock, consumers, 10s);
    // Over ten seconds: the limit, give or take one burst and one grant either way.
    const int64_t slack = svc::RateBudget::burstFor(5 * kMiB) + svc::RateBudget::grantFor(5 * kMiB);
    EXPECT_NEAR(static_cast<double>(granted), 50.0 * kMiB, static_cast<double>(slack)) << consumers << " consumers";
  }
  // An idle spell saves no more than a burst: a connection that waited does not get a second's worth.
  clock.now += 30s;
  EXPECT_LE(drain(budget, clock, 4, 1ms), svc::RateBudget::burstFor(5 * kMiB) + svc::RateBudget::grantFor(5 * kMiB));
}

TEST(RateBudget, AnEmptyBucketSaysHowLongToWaitAndBytesNotReadComeBack) {
  FakeClock clock;
  svc::RateBudget budget(clock.function());
  budget.setLimit(kMiB);
  Clock::duration wait{};
  EXPECT_EQ(budget.take(kMiB, &wait), 0) << "a fresh limit starts empty: nothing saved from before";
  EXPECT_GT(wait, 0ns);
  EXPECT_LE(wait, 2ms);
  clock.now += 50ms;  // 50 KiB, less than one grant
  const int64_t first = budget.take(kMiB, &wait);
  EXPECT_EQ(first, svc::RateBudget::grantFor(kMiB)) << "one grant, not the whole read";
  EXPECT_EQ(budget.take(kMiB, &wait), 0) << "the bucket is spent until time passes";
  const Clock::duration owed = wait;
  // Half the grant was not read: it is there for the next asker at once.
  budget.giveBack(first);
  EXPECT_GT(budget.take(kMiB, &wait), 0);
  EXPECT_GE(owed, 1ms);
}

TEST(RateBudget, AChangeOfLimitHoldsFromThatMoment) {
  FakeClock clock;
  svc::RateBudget budget(clock.function());
  budget.setLimit(kMiB);
  const int64_t slow = drain(budget, clock, 4, 4s);
  budget.setLimit(8 * kMiB);
  const int64_t fast = drain(budget, clock, 4, 4s);
  EXPECT_NEAR(static_cast<double>(slow), 4.0 * kMiB, 0.1 * kMiB);
  EXPECT_NEAR(static_cast<double>(fast), 32.0 * kMiB, 1.5 * kMiB);
  // Lowered mid-transfer: what was taken beyond the old limit (one grant at most) is owed, not
  // forgotten, and the new limit holds from then on.
  budget.setLimit(kMiB / 2);
  const int64_t lowered = drain(budget, clock, 4, 4s);
  EXPECT_GE(lowered, 2 * kMiB - svc::RateBudget::grantFor(8 * kMiB) - svc::RateBudget::grantFor(kMiB / 2));
  EXPECT_LE(lowered, 2 * kMiB + svc::RateBudget::grantFor(kMiB / 2));
  budget.setLimit(0);
  Clock::duration wait{};
  EXPECT_EQ(budget.take(3 * kMiB, &wait), 3 * kMiB) << "lifted: no limit at all";
  EXPECT_EQ(budget.limit(), 0);
}

// Connections waiting for bytes go on at once when the limit is lifted, and one that is told to
// stop while it waits stops.
TEST(RateBudget, WaitersGoOnWhenTheLimitIsLiftedAndStopWhenTold) {
  svc::RateBudget budget;
  budget.setLimit(1);  // a byte a second: nobody gets anything soon
  std::atomic<int> done{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      Clock::duration wait{};
      while (budget.take(1, &wait) > 0) {
      }
      if (budget.acquire(kMiB, [] { return true; }, 10s) == kMiB) ++done;
    });
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(done.load(), 0);
  budget.setLimit(0);
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(done.load(), 3) << "all three woke to the lifted limit (a 10 s poll would have kept them)";

  budget.setLimit(1);
  Clock::duration wait{};
  while (budget.take(1, &wait) > 0) {
  }
  std::atomic<bool> keepGoing{true};
  std::thread stopping([&] { std::this_thread::sleep_for(50ms); keepGoing = false; });
  EXPECT_EQ(budget.acquire(kMiB, [&] { return keepGoing.load(); }, 10ms), 0);
  stopping.join();
}

}  // namespace
