#include "testbed/forward_proxy.h"

#include <vector>

#include "service/downloader.h"
#include "service/origin_connection.h"
#include "testbed/web_plumbing.h"

namespace testbed {
namespace {

Answer plain(int status, const std::string& text) {
  Answer answer;
  answer.status = status;
  answer.headers.push_back({"Content-Type", "text/plain"});
  answer.body = text;
  return answer;
}

}  // namespace

ForwardProxy::ForwardProxy(std::string logPath)
    : log_(std::move(logPath)),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); }) {}

bool ForwardProxy::start(uint16_t port, std::string* error) {
  if (!log_.usable(error)) return false;
  return server_.start(port, error);
}

Answer ForwardProxy::handle(const HttpRequest& request, uint64_t connectionId) {
  log_.record(request, connectionId);
  // Some HTTP stacks send a proxy the origin form and name the origin in Host, as to a transparent
  // proxy; both are taken.
  std::string target = request.target;
  const std::string* host = request.header("Host");
  if (!target.empty() && target[0] == '/' && host != nullptr) target = "http://" + *host + target;
  std::optional<HttpUrl> url = parseHttpUrl(target);
  if (request.method != "GET" || !url || url->secure) return plain(400, "Only GET of http:// URLs\n");
  OriginRequest forwarded;
  forwarded.url = target;
  uint64_t from = 0;
  const std::string* range = request.header("Range");
  if (range != nullptr && range->rfind("bytes=", 0) == 0 && range->back() == '-' &&
      parseDecimal(std::string_view(*range).substr(6, range->size() - 7), &from)) {
    forwarded.resumeFrom = static_cast<int64_t>(from);
    const std::string* ifRange = request.header("If-Range");
    if (ifRange != nullptr) forwarded.ifRange = *ifRange;
  }
  const FetchHooks hooks;
  const FetchSettings settings;
  OriginOpened opened = openOriginOverSockets(forwarded, hooks, settings);
  if (!opened.exchange) return plain(502, "The origin cannot be reached: " + opened.detail + "\n");
  Answer answer;
  answer.status = opened.head.status;
  for (const Header& header : opened.head.headers) {
    if (equalsIgnoringCase(header.name, "Content-Length") || equalsIgnoringCase(header.name, "Connection") ||
        equalsIgnoringCase(header.name, "Transfer-Encoding")) {
      continue;
    }
    answer.headers.push_back(header);
  }
  std::vector<char> buffer(256 * 1024);
  for (;;) {
    size_t count = 0;
    OriginRead read = opened.exchange->readSome(buffer.data(), buffer.size(), &count);
    if (read == OriginRead::End) break;
    if (read != OriginRead::Data) return plain(502, "The origin's answer broke off\n");
    answer.body.append(buffer.data(), count);
  }
  return answer;
}

}  // namespace testbed
