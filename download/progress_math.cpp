#include "download/progress_math.h"

#include <algorithm>

namespace {

constexpr uint64_t kRateGranularity = 1024;

uint64_t remainder(uint64_t whole, uint64_t part) { return whole > part ? whole - part : 0; }

// Converts a non-negative double to an unsigned 64-bit count, saturating instead of overflowing.
uint64_t toCount(double value) {
  constexpr double kTwoTo64 = 18446744073709551616.0;
  if (value >= kTwoTo64) return UINT64_MAX;
  return static_cast<uint64_t>(value);
}

}  // namespace

int32_t PercentOf(uint64_t part, uint64_t whole) {
  if (whole == 0) return 0;
  if (part >= whole) return 100;
  // part < whole, so the percentage is below 100. For counts where part * 100 would overflow,
  // dividing by a hundredth of whole is exact enough but can round up to 100.
  if (part <= UINT64_MAX / 100) return static_cast<int32_t>(part * 100 / whole);
  return static_cast<int32_t>(std::min<uint64_t>(part / (whole / 100), 99));
}

uint64_t SmoothSpeed(uint64_t speed, uint64_t rate) {
  if (speed == 0) return rate;
  return toCount(static_cast<double>(speed) * 0.995 + static_cast<double>(rate) * 0.005);
}

uint64_t EstimateTimeLeft(uint64_t totalBytes, uint64_t totalReceived, uint64_t speed, uint64_t previous) {
  // Whole KiB per second, kept in 64 bits: speeds of 2 GiB/s and more still divide correctly.
  const uint64_t divisor = speed - speed % kRateGranularity;
  if (divisor == 0) return previous;
  return remainder(totalBytes, totalReceived) / divisor;
}

uint64_t DiskSpaceNeeded(uint64_t sizeSum, uint64_t heldSum) {
  const uint64_t missing = remainder(sizeSum, heldSum);
  if (missing == 0) return 0;
  return toCount(static_cast<double>(missing) + static_cast<double>(missing) * 0.1);
}
