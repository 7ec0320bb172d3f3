#include "testbed/analytics_sink.h"

#include <chrono>

#include "web/base64.h"
#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {
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
  QueryParams params = parseQuery(rawQuery);
  const QueryParam* data = findParam(params, "data");
  if (data == nullptr || data->value.empty()) return unreadable(std::move(event), "no data");
  std::optional<std::string> payload = decodeBase64(data->value);
  if (!payload) return unreadable(std::move(event), "data is not Base64");
  std::string why;
  std::optional<JsonValue> document = parseJson(*payload, &why);
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

AnalyticsSink::AnalyticsSink(AnalyticsSinkOptions options)
    : options_(std::move(options)),
      log_(options_.logPath),
      faults_({"track"}, server_),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); }) {}

bool AnalyticsSink::start(uint16_t port, std::string* error) { return log_.usable(error) && server_.start(port, error); }

std::vector<TrackedEvent> AnalyticsSink::events() const {
  std::lock_guard<std::mutex> lock(eventsMutex_);
  return events_;
}

Answer AnalyticsSink::handle(const HttpRequest& request, uint64_t connectionId) {
  bool track = request.path == "/track/" || request.path == "/track";
  if (!track) {
    log_.record(request, connectionId);
    if (request.path != "/control") return Answer::json(404, "{\"error\":\"Not found.\"}");
    return faults_.controlAnswer(request);
  }
  TrackedEvent event = readTrackQuery(request.rawQuery);
  JsonWriter line;
  line.beginObject();
  writeRequestFields(line, request, connectionId, std::chrono::system_clock::now());
  line.key("rawQuery").string(event.rawQuery);
  if (event.readable) {
    line.key("event").string(event.event);
    line.key("properties").beginArray();
    for (const auto& [key, value] : event.properties) {
      line.beginArray().string(key);
      writeJsonValue(line, value);
      line.endArray();
    }
    line.endArray();
  } else {
    line.key("error").string(event.error);
  }
  line.endObject();
  log_.recordLine(line.text());
  bool readable = event.readable;
  {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    events_.push_back(std::move(event));
  }
  Answer normal;
  normal.headers.push_back({"Content-Type", "text/plain"});
  normal.body = readable ? "1" : "0";
  return faults_.shape("track", std::move(normal));
}

}  // namespace testbed
