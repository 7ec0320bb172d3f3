#include "telemetry/track_request.h"

#include "telemetry/base64.h"
#include "telemetry/event_json.h"

std::wstring TrackQuery(const std::string& base64) {
  return L"data=" + std::wstring(base64.begin(), base64.end()) + L"&ip=1";
}

std::wstring TrackPath(const std::wstring& query) { return L"/track/?" + query; }

std::wstring TrackRequestPath(const std::wstring& eventName, const PropertyList& properties) {
  return TrackPath(TrackQuery(EncodeBase64(EventPayloadBytes(eventName, properties))));
}
