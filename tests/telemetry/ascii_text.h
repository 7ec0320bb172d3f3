// Wide texts of the telemetry tests as the ASCII they stand for, for comparisons with what the
// testbed reads and for the messages of failed checks.
#ifndef TESTS_TELEMETRY_ASCII_TEXT_H
#define TESTS_TELEMETRY_ASCII_TEXT_H

#include <string>

namespace telemetrytest {

// Each character cut to its low 8 bits.
inline std::string Narrow(const std::wstring& ascii) {
  std::string out;
  for (wchar_t c : ascii) out.push_back(static_cast<char>(c));
  return out;
}

}  // namespace telemetrytest

#endif
