#include "telemetry/event_values.h"

#include <stdio.h>

namespace {

std::wstring Widen(const char* ascii) {
  std::wstring out;
  for (; *ascii != '\0'; ++ascii) out.push_back(static_cast<wchar_t>(*ascii));
  return out;
}

}  // namespace

std::wstring FormatLow32(uint64_t value) {
  char text[16];
  snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<int32_t>(static_cast<uint32_t>(value))));
  return Widen(text);
}

std::wstring FormatUnsigned64(uint64_t value) {
  char text[24];
  snprintf(text, sizeof text, "%llu", static_cast<unsigned long long>(value));
  return Widen(text);
}

std::wstring FilePieceCompletion(uint64_t received, uint64_t size) {
  return FormatLow32(size == 0 ? 0 : received * 100 / size);
}

std::wstring ApproxSpeed(uint64_t sampleSum, uint64_t sampleCount) {
  return FormatLow32(sampleCount == 0 ? 0 : (sampleSum / sampleCount) >> 10);
}

std::wstring ElapsedMinutesOneDecimal(int64_t now, int64_t startTime) {
  char text[64];
  snprintf(text, sizeof text, "%.1f", static_cast<double>(now - startTime) / 60.0);
  return Widen(text);
}

std::wstring ElapsedWholeMinutes(int64_t now, int64_t startTime) {
  return FormatLow32(static_cast<uint64_t>((now - startTime) / 60));
}
