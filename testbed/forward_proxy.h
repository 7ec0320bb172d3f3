// The testbed's forward proxy: what a player's network may put between the download service and
// the origin. It takes requests in absolute form ("GET http://host:port/path HTTP/1.1", or the
// origin form with the origin in Host, as a transparent proxy does), fetches
// each from its origin (passing a "Range: bytes=N-" and If-Range on) and answers with the origin's
// status, headers and body; every request is logged.
#ifndef TESTBED_FORWARD_PROXY_H
#define TESTBED_FORWARD_PROXY_H

#include <stdint.h>

#include <string>

#include "web/http_server.h"
#include "web/request_log.h"
#include "testbed/web_plumbing.h"

namespace testbed {

class ForwardProxy {
 public:
  explicit ForwardProxy(std::string logPath);
  ~ForwardProxy() { stop(); }

  bool start(uint16_t port, std::string* error);
  uint16_t port() const { return server_.port(); }
  void stop() { server_.stop(); }

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);

  RequestLog log_;
  HttpServer server_;
};

}  // namespace testbed

#endif
