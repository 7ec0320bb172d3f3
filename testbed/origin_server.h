// The testbed's origin: serves the files of one folder over HTTP with Range support, optional
// throttling and a request log, as the game's download host would; and misbehaves as real ones
// do: a cap on bodies sent at once (503 with Retry-After beyond it, as an edge limits one
// client's connections), ranges asked for but the whole file sent, bodies that go silent.
#ifndef TESTBED_ORIGIN_SERVER_H
#define TESTBED_ORIGIN_SERVER_H

#include <stdint.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "web/http_server.h"
#include "web/request_log.h"
#include "testbed/web_plumbing.h"

namespace testbed {

struct OriginOptions {
  std::filesystem::path root;
  std::string logPath;            // empty: no request log
  uint64_t throttleBytesPerSecond = 0;  // 0: as fast as the connection goes, else per connection
  // False: serve a range whatever version If-Range names, as an origin that ignores it does.
  bool honourIfRange = true;
  // Request path -> where a 302 answer sends the client instead (an absolute URL or a path).
  std::map<std::string, std::string> redirects;
  // True: a request for a range gets the whole file (200), though the origin says it serves ranges.
  bool ignoreRanges = false;
  // More bodies than this under way at once are answered 503 with "Retry-After"; 0: no cap. The
  // testbed's clients are all on the loopback, so this is the cap of one client's connections.
  int maxBodiesAtOnce = 0;
  int retryAfterSeconds = 1;
  // The next silentBodies bodies stop after silentAfterBytes bytes and send nothing more, for up
  // to silenceMs, then the connection closes.
  int silentBodies = 0;
  uint64_t silentAfterBytes = 0;
  int silenceMs = 60000;
  // Each connection's send buffer, bytes; 0: the system's. A small one makes what the origin has
  // sent (bytesSent) what has left it, for benchmarks that measure a client's pace there.
  int sendBufferBytes = 0;
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
  // How many requests the cap on bodies at once has answered 503.
  int busyAnswers() const { return busyAnswers_; }
  // Body bytes the clients have taken so far, all answers together.
  uint64_t bytesSent() const { return bytesSent_; }
  void stop() {
    stopping_ = true;
    server_.stop();
  }

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);

  OriginOptions options_;
  std::atomic<int> bodiesUnderWay_{0};
  std::atomic<int> busyAnswers_{0};
  std::atomic<uint64_t> bytesSent_{0};
  std::atomic<int> silentBodiesLeft_{0};
  std::atomic<bool> stopping_{false};
  RequestLog log_;
  HttpServer server_;
};

}  // namespace testbed

#endif
