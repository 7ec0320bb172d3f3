// Byte counts, speeds and remaining times as the texts the window and its prompts show.
// Pure functions: no state, no failure, any thread.
#ifndef TELEMETRY_DISPLAY_FORMATS_H
#define TELEMETRY_DISPLAY_FORMATS_H

#include <stdint.h>

#include <string>

// "999 B", "976.6 KB", "0.95 MB", "5.00 GB"; empty from 10^12 bytes on. Units are chosen by
// decimal thresholds but divide by powers of 1024.
std::wstring FormatSize(uint64_t bytes);

// As FormatSize with one decimal fewer: "1 KB", "5.0 GB".
std::wstring FormatSizeCompact(uint64_t bytes);

// "59 seconds left", "1.0 minutes left", "60.0 hours left", "2.5 days left".
std::wstring FormatTimeLeft(uint64_t seconds);

#endif
