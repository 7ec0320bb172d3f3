// The analytics request of one event: GET "/track/?data=<Base64 of the JSON payload>&ip=1".
// The Base64 text goes into the query as it is ("+", "/" and "=" are not percent-encoded).
//
// The request is sized to its event: a payload of any length is sent whole. (A fixed buffer would
// have to drop the data of a long event, which would then reach the service looking like a
// successful request carrying nothing.)
#ifndef TELEMETRY_TRACK_REQUEST_H
#define TELEMETRY_TRACK_REQUEST_H

#include <string>

#include "telemetry/property_list.h"

// "data=<base64>&ip=1"
std::wstring TrackQuery(const std::string& base64);

// "/track/?<query>"
std::wstring TrackPath(const std::wstring& query);

// The whole path for an event with its complete property list.
std::wstring TrackRequestPath(const std::wstring& eventName, const PropertyList& properties);

#endif
