// Samples of the download rate, taken at most once per interval; analytics report their mean.
#ifndef DOWNLOAD_SAMPLE_WINDOW_H
#define DOWNLOAD_SAMPLE_WINDOW_H

#include <stdint.h>

struct SampleWindow {
  uint64_t sum = 0;       // bytes per second, summed over the samples
  int64_t lastTime = 0;   // seconds since 1970 of the last sample
  uint64_t count = 0;

  // Takes rate as a sample at now: always when the window holds nothing yet (sum 0), otherwise
  // when more than intervalSeconds have passed since the last sample or the clock went back.
  void Record(uint64_t rate, int64_t now, int64_t intervalSeconds);

  // The mean rate, sum / count; 0 without samples.
  uint64_t MeanRate() const;
};

// Sampling intervals of the whole download and of the current file.
constexpr int64_t kTotalSampleIntervalSeconds = 180;
constexpr int64_t kFileSampleIntervalSeconds = 10;

#endif
