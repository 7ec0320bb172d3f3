// The testbed's installer download server: answers the client library's installer request
// "GET /conf/install.html?file=installer&upload=true|false&silent=true" with a given body, plain
// or gzip-encoded, or with a forced status, and logs every request.
#ifndef TESTBED_INSTALLER_SERVER_H
#define TESTBED_INSTALLER_SERVER_H

#include <stdint.h>

#include <filesystem>
#include <string>

#include "web/http_server.h"
#include "web/request_log.h"
#include "testbed/web_plumbing.h"

namespace testbed {

struct InstallerOptions {
  std::filesystem::path bodyFile;
  std::string logPath;  // empty: no request log
  bool gzip = false;
  int forcedStatus = 0;  // 0: answer 200 with the body
};

class InstallerServer {
 public:
  explicit InstallerServer(InstallerOptions options);
  ~InstallerServer() { stop(); }

  // Reads (and encodes) the body once, then listens.
  bool start(uint16_t port, std::string* error);
  uint16_t port() const { return server_.port(); }
  void stop() { server_.stop(); }

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);

  InstallerOptions options_;
  RequestLog log_;
  std::string body_;
  HttpServer server_;
};

}  // namespace testbed

#endif
