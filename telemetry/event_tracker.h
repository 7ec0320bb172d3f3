// Turns an event into its analytics request: the event's own properties, then the common ones,
// encoded into the "/track/?data=...&ip=1" path that the transport sends. Nothing comes back;
// a lost request loses the event and nothing else.
#ifndef TELEMETRY_EVENT_TRACKER_H
#define TELEMETRY_EVENT_TRACKER_H

#include <string>

#include "server/game_info.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/event_clock.h"
#include "telemetry/system_description.h"

// Sends one GET request for the path to the analytics host (the pool of request slots and the
// HTTP stack live behind it). Called on the thread that raises the event.
class TrackTransport {
 public:
  virtual ~TrackTransport() = default;
  virtual void SendTrackRequest(const std::wstring& path) = 0;
};

class EventTracker : public EventSink {
 public:
  EventTracker(const GameInfo& game, SystemDescription& system, const EventClock& clock, TrackTransport& transport);

  void Track(const std::wstring& eventName, const PropertyList& ownProperties) override;

 private:
  const GameInfo& game_;
  SystemDescription& system_;
  const EventClock& clock_;
  TrackTransport& transport_;
};

#endif
