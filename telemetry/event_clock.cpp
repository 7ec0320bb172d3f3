#include "telemetry/event_clock.h"

#include <chrono>

int64_t SystemEventClock::NowSeconds() const {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}
