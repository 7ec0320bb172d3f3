#include "testbed/installer_server.h"

#include <fstream>
#include <sstream>

#include "web/error_text.h"
#include "testbed/gzip.h"
#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {

InstallerServer::InstallerServer(InstallerOptions options)
    : options_(std::move(options)),
      log_(options_.logPath),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); }) {}

bool InstallerServer::start(uint16_t port, std::string* error) {
  if (!log_.usable(error)) return false;
  std::ifstream in(options_.bodyFile, std::ios::binary);
  if (!in) return failWith(error, "cannot read " + options_.bodyFile.u8string());
  std::ostringstream content;
  content << in.rdbuf();
  body_ = content.str();
  if (options_.gzip) {
    std::optional<std::string> encoded = gzipCompress(body_);
    if (!encoded) return failWith(error, "cannot gzip the body");
    body_ = std::move(*encoded);
  }
  return server_.start(port, error);
}

Answer InstallerServer::handle(const HttpRequest& request, uint64_t connectionId) {
  log_.record(request, connectionId);
  QueryParams params = parseQuery(request.rawQuery);
  auto valueIs = [&params](const char* name, std::initializer_list<const char*> allowed) {
    const QueryParam* param = findParam(params, name);
    if (param == nullptr) return false;
    for (const char* value : allowed) {
      if (param->value == value) return true;
    }
    return false;
  };
  Answer answer;
  bool installerRequest = (request.method == "GET" || request.method == "HEAD") &&
                          request.path == "/conf/install.html" && valueIs("file", {"installer"}) &&
                          valueIs("upload", {"true", "false"}) && valueIs("silent", {"true"});
  if (!installerRequest) {
    answer.status = 404;
    answer.headers.push_back({"Content-Type", "text/plain"});
    answer.body = "Not found\n";
    return answer;
  }
  if (options_.forcedStatus != 0 && options_.forcedStatus != 200) {
    answer.status = options_.forcedStatus;
    answer.headers.push_back({"Content-Type", "text/plain"});
    answer.body = "Status " + std::to_string(options_.forcedStatus) + "\n";
    return answer;
  }
  answer.headers.push_back({"Content-Type", "application/octet-stream"});
  if (options_.gzip) answer.headers.push_back({"Content-Encoding", "gzip"});
  answer.body = body_;
  return answer;
}

}  // namespace testbed
