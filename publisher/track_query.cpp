#include "publisher/track_query.h"

#include "web/base64.h"
#include "web/query.h"

namespace publisher {

using web::JsonValue;

namespace {

TrackedEvent unreadable(TrackedEvent event, std::string why) {
  event.readable = false;
  event.error = std::move(why);
  return event;
}

}  // namespace

std::string TrackedEvent::property(std::string_view name) const {
  for (const auto& [key, value] : properties) {
    if (key != name) continue;
    return value.kind == JsonValue::Kind::String ? value.text : "<not a string>";
  }
  return "<missing>";
}

TrackedEvent readTrackQuery(std::string_view rawQuery) {
  TrackedEvent event;
  event.rawQuery = std::string(rawQuery);
  web::QueryParams params = web::parseQuery(rawQuery);
  const web::QueryParam* data = web::findParam(params, "data");
  if (data == nullptr || data->value.empty()) return unreadable(std::move(event), "no data");
  event.data = data->value;
  std::optional<std::string> payload = web::decodeBase64(data->value);
  if (!payload) return unreadable(std::move(event), "data is not Base64");
  std::string why;
  std::optional<JsonValue> document = web::parseJson(*payload, &why);
  if (!document) return unreadable(std::move(event), "data is not JSON: " + why + ": " + *payload);
  const JsonValue* name = document->member("event");
  const JsonValue* properties = document->member("properties");
  if (document->kind != JsonValue::Kind::Object || name == nullptr || name->kind != JsonValue::Kind::String ||
      properties == nullptr || properties->kind != JsonValue::Kind::Object) {
    return unreadable(std::move(event), "data lacks an event name or properties: " + *payload);
  }
  event.readable = true;
  event.event = name->text;
  event.properties = properties->members;
  return event;
}

}  // namespace publisher
