// The origin exchange over plain sockets: HTTP/1.1 with "Connection: close", http:// only, no
// proxy. The only exchange of the native build (tests); on Windows, the one for plain http with no
// proxy in the way.
#include <algorithm>
#include <utility>
#include <vector>

#include "service/origin_connection.h"
#include "service/socket_io.h"

namespace svc {
namespace {

std::string formatRequest(const HttpUrl& url, const OriginRequest& request, const FetchSettings& settings) {
  std::string text = "GET " + url.target + " HTTP/1.1\r\n";
  text += "Host: " + url.host + (url.port == 80 ? "" : ":" + std::to_string(url.port)) + "\r\n";
  text += "User-Agent: " + settings.userAgent + "\r\n";
  const std::string range = rangeHeaderValue(request);
  if (!range.empty()) {
    text += "Range: " + range + "\r\n";
    if (!request.ifRange.empty()) text += "If-Range: " + request.ifRange + "\r\n";
  }
  text += "Connection: close\r\n\r\n";
  return text;
}

class SocketExchange : public OriginExchange {
 public:
  SocketExchange(Socket socket, const FetchHooks& hooks, const FetchSettings& settings)
      : socket_(std::move(socket)), hooks_(hooks), settings_(settings) {}

  // Bytes that arrived with the head are handed out first.
  void keep(std::string early) { early_ = std::move(early); }

  OriginRead readSome(char* buffer, size_t size, size_t* count) override {
    if (!early_.empty()) {
      *count = std::min(size, early_.size());
      early_.copy(buffer, *count);
      early_.erase(0, *count);
      return OriginRead::Data;
    }
    int silentMs = 0;
    for (;;) {
      if (hooks_.keepGoing && !hooks_.keepGoing()) return OriginRead::Stopped;
      ReceiveResult result = socket_.receiveSome(buffer, size);
      if (result.status == ReceiveStatus::Data) {
        *count = result.count;
        return OriginRead::Data;
      }
      if (result.status == ReceiveStatus::Closed) return OriginRead::End;
      if (result.status == ReceiveStatus::Failed) return OriginRead::Lost;
      silentMs += settings_.pollMs;
      if (silentMs >= settings_.silenceLimitMs) return OriginRead::Lost;
    }
  }

 private:
  Socket socket_;
  const FetchHooks& hooks_;
  const FetchSettings& settings_;
  std::string early_;
};

OriginOpened failed(FetchResult result, std::string detail) {
  OriginOpened opened;
  opened.failure = result;
  opened.detail = std::move(detail);
  return opened;
}

}  // namespace

OriginOpened openOriginOverSockets(const OriginRequest& request, const FetchHooks& hooks,
                                   const FetchSettings& settings) {
  std::optional<HttpUrl> url = parseHttpUrl(request.url);
  if (!url) return failed(FetchResult::BadAnswer, "not an http or https URL");
  if (url->secure) return failed(FetchResult::ConnectFailed, "this build of the service fetches http:// only");
  Socket socket = connectTo(url->host, url->port);
  if (!socket.valid()) return failed(FetchResult::ConnectFailed, "cannot connect to the origin");
  socket.setReceiveTimeout(settings.pollMs);
  socket.setReceiveBuffer(4 * 1024 * 1024);
  if (!socket.sendAll(formatRequest(*url, request, settings))) {
    return failed(FetchResult::ConnectionLost, "the origin closed before the request was sent");
  }
  auto exchange = std::make_unique<SocketExchange>(std::move(socket), hooks, settings);
  std::vector<char> buffer(16 * 1024);
  std::string head;
  OriginOpened opened;
  for (;;) {
    ParseResult parsed = parseResponseHead(head, opened.head);
    if (parsed.status == ParseStatus::Complete) {
      head.erase(0, parsed.consumed);
      break;
    }
    if (parsed.status != ParseStatus::Incomplete) {
      return failed(FetchResult::BadAnswer, "unreadable answer head from the origin");
    }
    size_t count = 0;
    OriginRead read = exchange->readSome(buffer.data(), buffer.size(), &count);
    if (read == OriginRead::Stopped) return failed(FetchResult::Stopped, "stopped");
    if (read != OriginRead::Data) return failed(FetchResult::ConnectionLost, "the origin closed before answering");
    head.append(buffer.data(), count);
  }
  // A chunked body would need decoding that this exchange does not do; the test origins send a
  // length.
  const std::string* coding = opened.head.header("Transfer-Encoding");
  if (coding != nullptr && !equalsIgnoringCase(*coding, "identity")) {
    return failed(FetchResult::BadAnswer, "the origin sent a transfer coding this build cannot read");
  }
  exchange->keep(std::move(head));
  opened.exchange = std::move(exchange);
  return opened;
}

#ifndef _WIN32
OriginOpened openOrigin(const OriginRequest& request, const FetchHooks& hooks, const FetchSettings& settings) {
  return openOriginOverSockets(request, hooks, settings);
}
#endif

}  // namespace svc
