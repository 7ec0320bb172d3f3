// The testbed's publisher server: answers the download client's three requests below the base
// path (default "/downloads/v1") for one game code (default "irf"):
//   GET  <base>/<code>               the sid answer
//   GET  <base>/<code>/<sid>/config  the download configuration
//   POST <base>/<code>/<sid>/stats   a statistics record (form body), answered "OK"
// Other paths get 404, other methods 405, and a sid other than the server's own 404 (any sid is
// taken when the sid answer comes from a file, whose sid the server does not read). Every request
// is logged with its body. "GET /control?..." applies the fault controls of fault_plan.h, whose
// request kinds here are sid, config and stats.
#ifndef TESTBED_PUBLISHER_SERVER_H
#define TESTBED_PUBLISHER_SERVER_H

#include <stdint.h>

#include <filesystem>
#include <string>

#include "web/http_server.h"
#include "web/query.h"
#include "web/request_log.h"
#include "testbed/web_plumbing.h"
#include "testbed/server_faults.h"

namespace testbed {

struct PublisherOptions {
  std::string basePath = "/downloads/v1";
  std::string gameCode = "irf";
  std::string sid = "tb-sid-0001";
  std::filesystem::path sidAnswerFile;     // empty: the sid answer is generated from sid
  std::filesystem::path configAnswerFile;  // empty: generated from gameFolder and originUrl
  std::filesystem::path gameFolder;
  std::string originUrl;  // e.g. http://127.0.0.1:8080, where the origin serves gameFolder
  // A sha256sum listing of the game folder's files: each listed file's entry gives its digest.
  std::filesystem::path digestListing;
  std::string fileId = "tb-game";
  // Whether the uris carry the files' names as they are (UTF-8, as an IRI) instead of
  // percent-encoded.
  bool namesAsIs = false;
  std::string logPath;  // empty: no request log
};

class PublisherServer {
 public:
  explicit PublisherServer(PublisherOptions options);
  ~PublisherServer() { stop(); }
  PublisherServer(const PublisherServer&) = delete;
  PublisherServer& operator=(const PublisherServer&) = delete;

  // Reads or generates both answers once, then listens on 127.0.0.1:port (0 picks one).
  bool start(uint16_t port, std::string* error);
  uint16_t port() const { return server_.port(); }
  void stop() { server_.stop(); }

  // The same as a control request with these parameters: an empty text, or why they were refused.
  std::string control(const QueryParams& params) { return faults_.control(params); }
  const std::string& configText() const { return config_; }

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);
  Answer normalAnswer(const HttpRequest& request, const std::string& kind, bool sidMatches);

  PublisherOptions options_;
  RequestLog log_;
  ServerFaults faults_;
  std::string sidText_;
  std::string config_;
  HttpServer server_;
};

}  // namespace testbed

#endif
