// The numbers events report, as the texts they are sent as. "%d" numbers are written from the
// low 32 bits of the computed value, as the analytics records have always carried them.
#ifndef TELEMETRY_EVENT_VALUES_H
#define TELEMETRY_EVENT_VALUES_H

#include <stdint.h>

#include <string>

// The low 32 bits of value as a signed decimal ("%d").
std::wstring FormatLow32(uint64_t value);
// value as an unsigned 64-bit decimal.
std::wstring FormatUnsigned64(uint64_t value);

// received * 100 / size, truncated (unsigned 64-bit); "0" when size is 0.
std::wstring FilePieceCompletion(uint64_t received, uint64_t size);

// The mean of the rate samples in KiB per second: (sum / count) >> 10; "0" without samples.
std::wstring ApproxSpeed(uint64_t sampleSum, uint64_t sampleCount);

// Minutes from startTime to now with one decimal ("%.1f" of seconds / 60.0): 90 s gives 1.5.
std::wstring ElapsedMinutesOneDecimal(int64_t now, int64_t startTime);

// Whole minutes from startTime to now, truncated ("%ld" of seconds / 60): 119 s gives 1.
std::wstring ElapsedWholeMinutes(int64_t now, int64_t startTime);

#endif
