#include "testbed/analytics_sink.h"

#include <chrono>

#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {
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
