// The arithmetic of the progress display: percentages, the smoothed speed, the time estimate and
// the disk space a download still needs. Byte counts from the service may disagree with each
// other (more received than the size), so differences never wrap below zero.
#ifndef DOWNLOAD_PROGRESS_MATH_H
#define DOWNLOAD_PROGRESS_MATH_H

#include <stdint.h>

// part * 100 / whole, truncated and at most 100; 0 when whole is 0.
int32_t PercentOf(uint64_t part, uint64_t whole);

// The first reading sets the speed; later ones move it by half a percent towards the rate.
uint64_t SmoothSpeed(uint64_t speed, uint64_t rate);

// The seconds the remaining bytes take at speed counted in whole KiB per second. Below 1 KiB/s
// there is no estimate and previous stays.
uint64_t EstimateTimeLeft(uint64_t totalBytes, uint64_t totalReceived, uint64_t speed, uint64_t previous);

// The missing bytes plus 10 %, or 0 when nothing is missing.
uint64_t DiskSpaceNeeded(uint64_t sizeSum, uint64_t heldSum);

#endif
