// A track request's path read back by the testbed's analytics sink, with its own Base64 and JSON
// readers, so that a fault on either side shows up as a mismatch.
#ifndef TESTS_TELEMETRY_TRACK_READBACK_H
#define TESTS_TELEMETRY_TRACK_READBACK_H

#include <gtest/gtest.h>

#include <string>

#include "testbed/analytics_sink.h"
#include "tests/telemetry/ascii_text.h"

namespace telemetrytest {

// What the sink reads from the query part of a "/track/?..." path; another path fails the test.
inline testbed::TrackedEvent ReadBack(const std::wstring& path) {
  const std::wstring prefix = L"/track/?";
  if (path.compare(0, prefix.size(), prefix) != 0) {
    ADD_FAILURE() << "not a track path: " << Narrow(path);
    return {};
  }
  return testbed::readTrackQuery(Narrow(path.substr(prefix.size())));
}

}  // namespace telemetrytest

#endif
