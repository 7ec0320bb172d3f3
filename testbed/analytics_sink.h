// The testbed's analytics sink: takes the tracker's "GET /track/?data=<Base64 JSON>&ip=1"
// requests, decodes each event and logs it as one JSON line: the request's fields (see
// request_log.h) plus "event" and "properties" (pairs in the order sent, values as sent) when the
// data decodes, or "error" saying why it does not. Answers "1" for a readable event and "0" for
// one that is not, as the analytics service does. "GET /control?..." applies the fault controls of
// fault_plan.h (request kind: track), for instance fault=slow&delay=MS to keep requests in flight.
#ifndef TESTBED_ANALYTICS_SINK_H
#define TESTBED_ANALYTICS_SINK_H

#include <stdint.h>

#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "web/http_server.h"
#include "web/json_reader.h"
#include "web/query.h"
#include "web/request_log.h"
#include "publisher/track_query.h"
#include "testbed/web_plumbing.h"
#include "testbed/server_faults.h"

namespace testbed {

using publisher::readTrackQuery;
using publisher::TrackedEvent;

struct AnalyticsSinkOptions {
  std::string logPath;  // empty: no request log
};

class AnalyticsSink {
 public:
  explicit AnalyticsSink(AnalyticsSinkOptions options);
  ~AnalyticsSink() { stop(); }
  AnalyticsSink(const AnalyticsSink&) = delete;
  AnalyticsSink& operator=(const AnalyticsSink&) = delete;

  bool start(uint16_t port, std::string* error);
  uint16_t port() const { return server_.port(); }
  void stop() { server_.stop(); }

  // The same as a control request with these parameters: an empty text, or why they were refused.
  std::string control(const QueryParams& params) { return faults_.control(params); }
  // Every track request received so far, in order of arrival.
  std::vector<TrackedEvent> events() const;

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);

  AnalyticsSinkOptions options_;
  RequestLog log_;
  ServerFaults faults_;
  mutable std::mutex eventsMutex_;
  std::vector<TrackedEvent> events_;
  HttpServer server_;
};

}  // namespace testbed

#endif
