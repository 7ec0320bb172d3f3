// The testbed's origin: serves the files of one folder over HTTP with Range support, optional
// throttling and a request log, as the game's download host would.
#ifndef TESTBED_ORIGIN_SERVER_H
#define TESTBED_ORIGIN_SERVER_H

#include <stdint.h>

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "service/http_server.h"
#include "service/request_log.h"
#include "testbed/service_plumbing.h"

namespace testbed {

struct OriginOptions {
  std::filesystem::path root;
  std::string logPath;            // empty: no request log
  uint64_t throttleBytesPerSecond = 0;  // 0: as fast as the connection goes
  // False: serve a range whatever version If-Range names, as an origin that ignores it does.
  bool honourIfRange = true;
  // Request path -> where a 302 answer sends the client instead (an absolute URL or a path).
  std::map<std::string, std::string> redirects;
};

// The file under root that a request path names, or nothing when the path leaves root or
// names no regular file.
std::optional<std::filesystem::path> resolveUnderRoot(const std::filesystem::path& root, std::string_view requestPath);

class OriginServer {
 public:
  explicit OriginServer(OriginOptions options);
  ~OriginServer() { stop(); }

  bool start(uint16_t port, std::string* error);
  uint16_t port() const { return server_.port(); }
  void stop() { server_.stop(); }

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);

  OriginOptions options_;
  RequestLog log_;
  HttpServer server_;
};

}  // namespace testbed

#endif
