// How long to wait before redoing a failed step, as data: waits grow with repeated failures,
// and only a reset lowers them again.
#ifndef DOWNLOAD_RETRY_POLICY_H
#define DOWNLOAD_RETRY_POLICY_H

#include <stdint.h>

#include "download/job_state.h"

struct RetryLevel {
  int32_t delaySeconds;
  int32_t allowedRetries;  // retries at this level before it rises; kNoLimit: it never rises
};

constexpr int32_t kNoLimit = -1;

// Levels 1 to 4.
constexpr RetryLevel kRetryLevels[] = {{1, 2}, {5, 2}, {30, 3}, {120, kNoLimit}};
constexpr int32_t kTopRetryLevel = 4;

// A download retry never waits less than this level's delay: the service gets time to recover.
constexpr int32_t kLowestDownloadRetryLevel = 3;

// The escalation state kept between failures.
struct RetryCounters {
  int32_t level = 0;      // 0: idle
  int32_t tries = 0;      // retries made at the current level
  int32_t threshold = 0;  // retries allowed at the current level; kNoLimit once at the top
};

// Counts one more retry for reason, raising the level when the current one is used up, and
// returns the delay to wait before it, in seconds.
int32_t EscalateRetry(RetryCounters& counters, RetryReason reason);

// The delay of a level; 0 outside 1 to 4.
int32_t RetryDelayOf(int32_t level);

#endif
