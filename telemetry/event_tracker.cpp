#include "telemetry/event_tracker.h"

#include "telemetry/common_properties.h"
#include "telemetry/track_request.h"

EventTracker::EventTracker(const GameInfo& game, SystemDescription& system, const EventClock& clock,
                           TrackTransport& transport)
    : game_(game), system_(system), clock_(clock), transport_(transport) {}

void EventTracker::Track(const std::wstring& eventName, const PropertyList& ownProperties) {
  PropertyList properties = ownProperties;
  AppendCommonProperties(properties, game_, system_, clock_.NowSeconds());
  transport_.SendTrackRequest(TrackRequestPath(eventName, properties));
}
