// The analytics events the downloader sends as "GET /track/?data=<Base64 JSON>&ip=1": reading
// one back from the request's query. Strict: only canonical Base64 of a JSON object with an
// "event" string and a "properties" object is readable.
#ifndef PUBLISHER_TRACK_QUERY_H
#define PUBLISHER_TRACK_QUERY_H

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/json_reader.h"

namespace publisher {

struct TrackedEvent {
  std::string rawQuery;
  std::string data;  // the Base64 text of the "data" parameter
  bool readable = false;
  std::string error;  // why the event could not be read
  std::string event;
  std::vector<std::pair<std::string, web::JsonValue>> properties;

  // The text of the first property called name ("<missing>" or "<not a string>" otherwise).
  std::string property(std::string_view name) const;
};

// Reads the event that a track request's query carries in its "data" parameter.
TrackedEvent readTrackQuery(std::string_view rawQuery);

}  // namespace publisher

#endif
