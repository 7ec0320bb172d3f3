#include "telemetry/display_formats.h"

#include <stdio.h>

namespace {

constexpr uint64_t kKilo = 1000;
constexpr uint64_t kMega = 1000 * kKilo;
constexpr uint64_t kGiga = 1000 * kMega;
constexpr uint64_t kTera = 1000 * kGiga;

// The texts are plain ASCII, so they are printed narrow and widened character by character;
// that keeps wide printf's differing "%s" conventions between runtimes out of the picture.
std::wstring widen(const char* text) {
  std::wstring wide;
  for (const char* c = text; *c != '\0'; ++c) wide.push_back(static_cast<wchar_t>(*c));
  return wide;
}

std::wstring decimal(double value, int decimals, const char* suffix) {
  char buffer[64];
  snprintf(buffer, sizeof buffer, "%.*f%s", decimals, value, suffix);
  return widen(buffer);
}

// decimals[0] for KB, decimals[1] for MB and GB.
std::wstring formatBytes(uint64_t bytes, const int (&decimals)[2]) {
  if (bytes < kKilo) return std::to_wstring(bytes) + L" B";
  if (bytes < kMega) return decimal(static_cast<double>(bytes) / 1024.0, decimals[0], " KB");
  if (bytes < kGiga) return decimal(static_cast<double>(bytes) / (1024.0 * 1024.0), decimals[1], " MB");
  if (bytes < kTera) return decimal(static_cast<double>(bytes) / (1024.0 * 1024.0 * 1024.0), decimals[1], " GB");
  return std::wstring();
}

}  // namespace

std::wstring FormatSize(uint64_t bytes) { return formatBytes(bytes, {1, 2}); }

std::wstring FormatSizeCompact(uint64_t bytes) { return formatBytes(bytes, {0, 1}); }

std::wstring FormatTimeLeft(uint64_t seconds) {
  const double value = static_cast<double>(seconds);
  if (seconds < 60) return std::to_wstring(seconds) + L" seconds left";
  if (seconds < 3600) return decimal(value / 60.0, 1, " minutes left");
  if (seconds < 216000) return decimal(value / 3600.0, 1, " hours left");
  return decimal(value / 86400.0, 1, " days left");
}
