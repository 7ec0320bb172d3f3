#include "download/retry_policy.h"

int32_t RetryDelayOf(int32_t level) {
  if (level < 1 || level > kTopRetryLevel) return 0;
  return kRetryLevels[level - 1].delaySeconds;
}

int32_t EscalateRetry(RetryCounters& counters, RetryReason reason) {
  if (counters.threshold != kNoLimit) {
    if (counters.level <= 0) {
      counters.tries = 0;
      counters.level = 1;
    } else if (counters.tries >= counters.threshold) {
      counters.tries = 0;
      counters.level += 1;
    }
    if (counters.level > kTopRetryLevel) counters.level = kTopRetryLevel;
    if (reason == RetryReason::RetryDownload && counters.level < kLowestDownloadRetryLevel) {
      counters.level = kLowestDownloadRetryLevel;
    }
    counters.threshold = kRetryLevels[counters.level - 1].allowedRetries;
    counters.tries += 1;
  }
  return RetryDelayOf(counters.level);
}
