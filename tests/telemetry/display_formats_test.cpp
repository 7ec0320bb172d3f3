// Exact texts of sizes, speeds and remaining times on both sides of every threshold.
#include "telemetry/display_formats.h"

#include <gtest/gtest.h>

namespace {

struct SizeCase {
  uint64_t bytes;
  const wchar_t* full;
  const wchar_t* compact;
};

TEST(SizeTexts, EveryUnitAndThreshold) {
  const SizeCase kCases[] = {
      {0, L"0 B", L"0 B"},
      {999, L"999 B", L"999 B"},
      {1000, L"1.0 KB", L"1 KB"},
      {1023, L"1.0 KB", L"1 KB"},
      {1536, L"1.5 KB", L"2 KB"},
      {999999, L"976.6 KB", L"977 KB"},
      {1000000, L"0.95 MB", L"1.0 MB"},
      {1048576, L"1.00 MB", L"1.0 MB"},
      {999999999, L"953.67 MB", L"953.7 MB"},
      {1000000000, L"0.93 GB", L"0.9 GB"},
      {5368709120ull, L"5.00 GB", L"5.0 GB"},
      {999999999999ull, L"931.32 GB", L"931.3 GB"},
      {1000000000000ull, L"", L""},
      {UINT64_MAX, L"", L""},
  };
  for (const SizeCase& c : kCases) {
    EXPECT_EQ(FormatSize(c.bytes), c.full) << c.bytes;
    EXPECT_EQ(FormatSizeCompact(c.bytes), c.compact) << c.bytes;
  }
}

TEST(TimeLeftTexts, EveryUnitAndThreshold) {
  const struct {
    uint64_t seconds;
    const wchar_t* text;
  } kCases[] = {
      {0, L"0 seconds left"},
      {59, L"59 seconds left"},
      {60, L"1.0 minutes left"},
      {90, L"1.5 minutes left"},
      {3599, L"60.0 minutes left"},
      {3600, L"1.0 hours left"},
      {86400, L"24.0 hours left"},
      {215999, L"60.0 hours left"},
      {216000, L"2.5 days left"},
      {86400ull * 365, L"365.0 days left"},
  };
  for (const auto& c : kCases) EXPECT_EQ(FormatTimeLeft(c.seconds), c.text) << c.seconds;
}

}  // namespace
