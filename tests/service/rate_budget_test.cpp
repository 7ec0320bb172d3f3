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

// Consumers that each take a grant as soon as their last one was read, as connections do, every
// millisecond of the test's clock for span: the bytes whose turn came by its end.
int64_t drain(svc::RateBudget& budget, FakeClock& clock, int consumers, Clock::duration span) {
  std::vector<Clock::time_point> free(static_cast<size_t>(consumers), clock.now);
  int64_t readable = 0;
  const Clock::time_point end = clock.now + span;
  while (clock.now < end) {
    for (Clock::time_point& at : free) {
      if (at > clock.now) continue;
      Clock::duration wait{};
      const int64_t granted = budget.take(kMiB, &wait);
      at = clock.now + wait;
      if (at <= end) readable += granted;
    }
    clock.now += 1ms;
  }
  return readable;
}

double seconds(Clock::duration span) { return std::chrono::duration<double>(span).count(); }

// The limit over the span, give or take one burst and a grant per consumer, and what was owed
// from before.
void expectLimitKept(int64_t readable, int64_t limit, double spanSeconds, int consumers, int64_t owedBefore = 0) {
  const double expected = static_cast<double>(limit) * spanSeconds;
  const double burst = static_cast<double>(svc::RateBudget::burstFor(limit));
  const double grants = consumers * static_cast<double>(svc::RateBudget::grantFor(limit));
  EXPECT_LE(static_cast<double>(readable), expected + burst + grants);
  EXPECT_GE(static_cast<double>(readable), expected - burst - grants - static_cast<double>(owedBefore));
}

TEST(RateBudget, SeveralConsumersTogetherGetTheLimitAndOneBurstAtMost) {
  FakeClock clock;
  svc::RateBudget budget(clock.function());
  Clock::duration wait{};
  EXPECT_EQ(budget.take(kMiB, &wait), kMiB) << "no limit: everything at once";
  EXPECT_EQ(wait, Clock::duration::zero());

  budget.setLimit(5 * kMiB);
  for (int consumers : {1, 4, 12}) {
    SCOPED_TRACE(consumers);
    expectLimitKept(drain(budget, clock, consumers, 10s), 5 * kMiB, 10, consumers,
                    12 * svc::RateBudget::grantFor(5 * kMiB));
  }
  // An idle spell saves no more than a burst: a connection that waited does not get a second's worth.
  clock.now += 30s;
  EXPECT_LE(drain(budget, clock, 4, 1ms), svc::RateBudget::burstFor(5 * kMiB) + svc::RateBudget::grantFor(5 * kMiB));
}

TEST(RateBudget, AnEmptyBucketGivesEachAskerItsOwnTurnAndBytesNotReadComeBack) {
  FakeClock clock;
  svc::RateBudget budget(clock.function());
  budget.setLimit(kMiB);
  const int64_t grant = svc::RateBudget::grantFor(kMiB);
  const double turn = static_cast<double>(grant) / kMiB;
  Clock::duration wait{};
  EXPECT_EQ(budget.take(kMiB, &wait), grant) << "one grant, not the whole read";
  EXPECT_NEAR(seconds(wait), turn, 1e-6) << "a fresh limit starts empty: nothing saved from before";
  const int64_t second = budget.take(kMiB, &wait);
  EXPECT_NEAR(seconds(wait), 2 * turn, 1e-6) << "the next asker's turn comes after the first one's";
  // Not read after all: the next asker's turn is no later than the one given back.
  budget.giveBack(second);
  budget.take(kMiB, &wait);
  EXPECT_NEAR(seconds(wait), 2 * turn, 1e-6);
  clock.now += 1s;
  EXPECT_EQ(budget.take(kMiB, &wait), grant);
  EXPECT_EQ(wait, Clock::duration::zero()) << "a second later the bucket holds enough to read at once";
}

TEST(RateBudget, AChangeOfLimitHoldsFromThatMoment) {
  FakeClock clock;
  svc::RateBudget budget(clock.function());
  budget.setLimit(kMiB);
  expectLimitKept(drain(budget, clock, 4, 4s), kMiB, 4, 4);
  budget.setLimit(8 * kMiB);
  expectLimitKept(drain(budget, clock, 4, 4s), 8 * kMiB, 4, 4, 4 * svc::RateBudget::grantFor(kMiB));
  // Lowered mid-transfer: what was taken beyond the old limit is owed, not forgotten, and the new
  // limit holds from then on.
  budget.setLimit(kMiB / 2);
  expectLimitKept(drain(budget, clock, 4, 4s), kMiB / 2, 4, 4, 4 * svc::RateBudget::grantFor(8 * kMiB));
  budget.setLimit(0);
  Clock::duration wait{};
  EXPECT_EQ(budget.take(3 * kMiB, &wait), 3 * kMiB) << "lifted: no limit at all";
  EXPECT_EQ(wait, Clock::duration::zero());
  EXPECT_EQ(budget.limit(), 0);
}

// Connections waiting for their turn go on at once when the limit is lifted, and one that is told
// to stop while it waits stops and gives its grant back.
TEST(RateBudget, WaitersGoOnWhenTheLimitIsLiftedAndStopWhenTold) {
  svc::RateBudget budget;
  budget.setLimit(1);  // a byte a second, from an empty bucket: every turn is more than an hour away
  std::atomic<int> done{0};
  std::vector<std::thread> waiters;
  for (int i = 0; i < 3; ++i) {
    waiters.emplace_back([&] {
      if (budget.acquire(kMiB, [] { return true; }, 10s) > 0) ++done;
    });
  }
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(done.load(), 0);
  budget.setLimit(0);
  for (std::thread& waiter : waiters) waiter.join();
  EXPECT_EQ(done.load(), 3) << "all three woke to the lifted limit (a 10 s poll would have kept them)";

  budget.setLimit(1);
  std::atomic<bool> keepGoing{true};
  std::thread stopping([&] {
    std::this_thread::sleep_for(50ms);
    keepGoing = false;
  });
  EXPECT_EQ(budget.acquire(kMiB, [&] { return keepGoing.load(); }, 10ms), 0);
  stopping.join();
}

}  // namespace
