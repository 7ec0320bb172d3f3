// The retry policy, the rate samples and the arithmetic behind bars, speed, estimate and disk need.
#include <gtest/gtest.h>

#include <vector>

#include "download/progress_math.h"
#include "download/retry_policy.h"
#include "download/sample_window.h"

namespace {

std::vector<int32_t> delaysOf(std::vector<RetryReason> reasons) {
  RetryCounters counters;
  std::vector<int32_t> delays;
  for (RetryReason reason : reasons) delays.push_back(EscalateRetry(counters, reason));
  return delays;
}

TEST(RetryPolicy, WaitsGrowPerLevelAndStayAtTheTop) {
  const std::vector<RetryReason> nineSid(9, RetryReason::RetrySid);
  EXPECT_EQ(delaysOf(nineSid), (std::vector<int32_t>{1, 1, 5, 5, 30, 30, 30, 120, 120}));
  const std::vector<RetryReason> sixStalls(6, RetryReason::RetryDownload);
  EXPECT_EQ(delaysOf(sixStalls), (std::vector<int32_t>{30, 30, 30, 120, 120, 120}));
  // A stall after two server failures jumps to the download retries' lowest level.
  EXPECT_EQ(delaysOf({RetryReason::RetryConfig, RetryReason::RetryConfig, RetryReason::RetryDownload,
                      RetryReason::RetryDownload, RetryReason::RetryDownload, RetryReason::RetryDownload}),
            (std::vector<int32_t>{1, 1, 30, 30, 30, 120}));
}

TEST(RetryPolicy, CountersFollowTheLevels) {
  RetryCounters counters;
  EscalateRetry(counters, RetryReason::RetrySid);
  EXPECT_EQ(counters.level, 1);
  EXPECT_EQ(counters.tries, 1);
  EXPECT_EQ(counters.threshold, 2);
  for (int i = 0; i < 7; ++i) EscalateRetry(counters, RetryReason::RetrySid);
  EXPECT_EQ(counters.level, 4);
  EXPECT_EQ(counters.threshold, kNoLimit);
  const RetryCounters top = counters;
  EscalateRetry(counters, RetryReason::RetryDownload);
  EXPECT_EQ(counters.level, top.level);
  EXPECT_EQ(counters.tries, top.tries);
}

TEST(RetryPolicy, DelayOutsideTheLevelsIsZero) {
  EXPECT_EQ(RetryDelayOf(0), 0);
  EXPECT_EQ(RetryDelayOf(5), 0);
  EXPECT_EQ(RetryDelayOf(-1), 0);
  EXPECT_EQ(RetryDelayOf(4), 120);
}

TEST(SampleWindowRecording, FirstSampleAlwaysThenOncePerInterval) {
  SampleWindow window;
  window.Record(100, 1000, 10);
  EXPECT_EQ(window.count, 1u);
  window.Record(500, 1010, 10);  // exactly the interval: too early
  EXPECT_EQ(window.sum, 100u);
  window.Record(300, 1011, 10);
  EXPECT_EQ(window.sum, 400u);
  EXPECT_EQ(window.count, 2u);
  EXPECT_EQ(window.lastTime, 1011);
  window.Record(200, 900, 10);  // the clock went back
  EXPECT_EQ(window.count, 3u);
  EXPECT_EQ(window.MeanRate(), 200u);
  EXPECT_EQ(SampleWindow().MeanRate(), 0u);
}

TEST(SampleWindowRecording, AnEmptySumRestartsTheWindow) {
  SampleWindow window;
  window.Record(0, 1000, 180);
  window.Record(0, 1001, 180);
  EXPECT_EQ(window.count, 1u);
  window.Record(700, 1002, 180);
  EXPECT_EQ(window.sum, 700u);
  EXPECT_EQ(window.count, 1u);
  EXPECT_EQ(window.lastTime, 1002);
}

TEST(ProgressMath, PercentTruncatesAndNeverPassesOneHundred) {
  const struct {
    uint64_t part, whole;
    int32_t percent;
  } kCases[] = {
      {0, 0, 0},          {5, 0, 0},
      {0, 10, 0},         {999, 1000, 99},
      {1000, 1000, 100},  {1500, 1000, 100},
      {1, 3, 33},         {UINT64_MAX - 1, UINT64_MAX, 99},
      {(1ull << 62), (1ull << 63), 50},
  };
  for (const auto& c : kCases) EXPECT_EQ(PercentOf(c.part, c.whole), c.percent) << c.part << "/" << c.whole;
}

TEST(ProgressMath, SpeedMovesHalfAPercentTowardsTheRate) {
  EXPECT_EQ(SmoothSpeed(0, 51200), 51200u);
  EXPECT_EQ(SmoothSpeed(100000, 300000), 101000u);
  EXPECT_EQ(SmoothSpeed(100000, 0), 99500u);
  EXPECT_EQ(SmoothSpeed(1, 1), 1u);     // 0.995 + 0.005 is not below 1
  EXPECT_EQ(SmoothSpeed(201, 0), 199u);  // 199.995 truncates
  EXPECT_EQ(SmoothSpeed(UINT64_MAX, UINT64_MAX), UINT64_MAX);
}

TEST(ProgressMath, TimeLeftDividesByWholeKibPerSecond) {
  const struct {
    uint64_t total, received, speed, previous, expected;
  } kCases[] = {
      {1024000, 0, 1000, 77, 77},             // below 1 KiB/s: the estimate stays
      {1024000, 0, 1024, 77, 1000},
      {1024000, 0, 2047, 77, 1000},           // the remainder below 1024 is dropped
      {1024000, 512000, 2048, 0, 250},
      {1000, 5000, 4096, 9, 0},               // more received than the total: nothing left
      {1ull << 40, 0, 1ull << 31, 0, 512},    // 2 GiB/s still divides correctly
      {1ull << 40, 0, (1ull << 32) + 1024, 0, 255},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(EstimateTimeLeft(c.total, c.received, c.speed, c.previous), c.expected) << c.speed;
  }
}

TEST(ProgressMath, DiskNeedIsMissingBytesPlusTenPercent) {
  EXPECT_EQ(DiskSpaceNeeded(3000000, 2000000), 1100000u);
  EXPECT_EQ(DiskSpaceNeeded(1000, 1000), 0u);
  EXPECT_EQ(DiskSpaceNeeded(1000, 4000), 0u);  // the client holds more than the sizes say
  EXPECT_EQ(DiskSpaceNeeded(15, 0), 16u);      // 16.5 truncates
  EXPECT_EQ(DiskSpaceNeeded(UINT64_MAX, 0), UINT64_MAX);
}

}  // namespace
