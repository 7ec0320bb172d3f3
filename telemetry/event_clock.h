// The wall clock that events read their times from, so tests can set the time.
#ifndef TELEMETRY_EVENT_CLOCK_H
#define TELEMETRY_EVENT_CLOCK_H

#include <stdint.h>

class EventClock {
 public:
  virtual ~EventClock() = default;
  // Whole seconds since 1970-01-01 UTC.
  virtual int64_t NowSeconds() const = 0;
};

// The system clock.
class SystemEventClock : public EventClock {
 public:
  int64_t NowSeconds() const override;
};

#endif
