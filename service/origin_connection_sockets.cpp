// The origin exchange over plain sockets: HTTP/1.1, http:// only, no proxy. The only exchange of
// the native build (tests); on Windows, the one for plain http with no proxy in the way. A
// connection whose answer was read to its end is kept for a few seconds, so that the next request
// to the same origin (the next segment, the next file) skips the TCP handshake.
#include <algorithm>
#include <chrono>
#include <list>
#include <mutex>
#include <utility>
#include <vector>

#include "service/origin_connection.h"
#include "service/rate_budget.h"
#include "service/web_plumbing.h"
#include "web/socket_io.h"

namespace svc {
namespace {

// How long an idle connection is kept: well under the keep-alive time of common servers (5 s and
// up), so that the origin has not closed it by the time it is used again.
constexpr auto kIdleLimit = std::chrono::seconds(4);
constexpr size_t kMostIdle = 8;

// Idle kept-alive connections, by "host:port".
class IdleConnections {
 public:
  Socket take(const std::string& origin) {
    std::lock_guard<std::mutex> lock(mutex_);
    dropStale();
    for (auto it = idle_.begin(); it != idle_.end(); ++it) {
      if (it->origin == origin) {
        Socket socket = std::move(it->socket);
        idle_.erase(it);
        return socket;
      }
    }
    return Socket();
  }
  void give(const std::string& origin, Socket socket) {
    std::lock_guard<std::mutex> lock(mutex_);
    dropStale();
    if (idle_.size() >= kMostIdle) idle_.pop_front();
    idle_.push_back({origin, std::move(socket), std::chrono::steady_clock::now()});
  }

 private:
  struct Idle {
    std::string origin;
    Socket socket;
    std::chrono::steady_clock::time_point since;
  };
  void dropStale() {
    const auto now = std::chrono::steady_clock::now();
    idle_.remove_if([now](const Idle& idle) { return now - idle.since >= kIdleLimit; });
  }
  std::mutex mutex_;
  std::list<Idle> idle_;
};

IdleConnections& idleConnections() {
  static IdleConnections connections;
  return connections;
}

std::string formatRequest(const HttpUrl& url, const OriginRequest& request, const FetchSettings& settings) {
  std::string text = "GET " + url.target + " HTTP/1.1\r\n";
  text += "Host: " + url.host + (url.port == 80 ? "" : ":" + std::to_string(url.port)) + "\r\n";
  text += "User-Agent: " + settings.userAgent + "\r\n";
  const std::string range = rangeHeaderValue(request);
  if (!range.empty()) {
    text += "Range: " + range + "\r\n";
    if (!request.ifRange.empty()) text += "If-Range: " + request.ifRange + "\r\n";
  }
  text += "\r\n";
  return text;
}

class SocketExchange : public OriginExchange {
 public:
  SocketExchange(Socket socket, std::string origin, const FetchHooks& hooks, const FetchSettings& settings)
      : socket_(std::move(socket)), origin_(std::move(origin)), hooks_(hooks), settings_(settings) {}

  // Kept for the next request when its answer was read to the end of a body of known length.
  ~SocketExchange() override {
    if (bodyLength_ >= 0 && handedOut_ == static_cast<uint64_t>(bodyLength_) && early_.empty() && socket_.valid()) {
      idleConnections().give(origin_, std::move(socket_));
    }
  }

  // Bytes that arrived with the head are handed out first; the answer says whether the connection
  // may carry another request.
  void keep(std::string early, const HttpResponseHead& head) {
    early_ = std::move(early);
    handedOut_ = 0;  // what was read so far was the head
    const std::string* length = head.header("Content-Length");
    const std::string* connection = head.header("Connection");
    uint64_t value = 0;
    if (head.version == "HTTP/1.1" && length != nullptr && parseDecimal(*length, &value) &&
        !(connection != nullptr && equalsIgnoringCase(*connection, "close"))) {
      bodyLength_ = static_cast<int64_t>(value);
    }
  }

  OriginRead readSome(char* buffer, size_t size, size_t* count) override {
    if (!early_.empty()) {
      *count = std::min(size, early_.size());
      early_.copy(buffer, *count);
      early_.erase(0, *count);
      handedOut_ += *count;
      return OriginRead::Data;
    }
    // Nothing past the body is asked for: the connection may carry the next answer. The body's end
    // is the answer's end, though the connection stays open.
    if (bodyLength_ >= 0) {
      if (handedOut_ >= static_cast<uint64_t>(bodyLength_)) return OriginRead::End;
      size = static_cast<size_t>(std::min<uint64_t>(size, static_cast<uint64_t>(bodyLength_) - handedOut_));
    }
    int silentMs = 0;
    for (;;) {
      if (hooks_.keepGoing && !hooks_.keepGoing()) return OriginRead::Stopped;
      ReceiveResult result = socket_.receiveSome(buffer, size);
      if (result.status == ReceiveStatus::Data) {
        *count = result.count;
        handedOut_ += result.count;
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
  std::string origin_;
  const FetchHooks& hooks_;
  const FetchSettings& settings_;
  std::string early_;
  int64_t bodyLength_ = -1;  // -1: the connection ends with this answer
  uint64_t handedOut_ = 0;
};

// The receive buffer of a connection: large for speed, and under a speed limit an eighth of a
// second of it (64 KiB to 4 MiB). What the buffer holds is what the origin may send ahead of the
// budget: megabytes per connection would cross the player's line at full speed before the limit
// holds, and a closed connection would have brought them for nothing.
int receiveBufferFor(const FetchSettings& settings) {
  constexpr int64_t kLargest = 4 * 1024 * 1024;
  const int64_t limit = settings.budget != nullptr ? settings.budget->limit() : 0;
  if (limit <= 0) return static_cast<int>(kLargest);
  return static_cast<int>(std::clamp<int64_t>(limit / 8, 64 * 1024, kLargest));
}

OriginOpened failed(FetchResult result, std::string detail) {
  OriginOpened opened;
  opened.failure = result;
  opened.detail = std::move(detail);
  return opened;
}

// Sends the request on the socket and reads the answer's head. reused: the socket was kept from an
// earlier answer, and the origin may have closed it meanwhile (then *closedEarly is set).
OriginOpened exchangeOn(Socket socket, const std::string& origin, const std::string& requestText,
                        const FetchHooks& hooks, const FetchSettings& settings, bool* closedEarly) {
  *closedEarly = false;
  if (!socket.sendAll(requestText)) {
    *closedEarly = true;
    return failed(FetchResult::ConnectionLost, "the origin closed before the request was sent");
  }
  auto exchange = std::make_unique<SocketExchange>(std::move(socket), origin, hooks, settings);
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
    if (read != OriginRead::Data) {
      *closedEarly = head.empty() && read != OriginRead::Lost;
      return failed(FetchResult::ConnectionLost, "the origin closed before answering");
    }
    head.append(buffer.data(), count);
  }
  // A chunked body would need decoding that this exchange does not do; the test origins send a
  // length.
  const std::string* coding = opened.head.header("Transfer-Encoding");
  if (coding != nullptr && !equalsIgnoringCase(*coding, "identity")) {
    return failed(FetchResult::BadAnswer, "the origin sent a transfer coding this build cannot read");
  }
  exchange->keep(std::move(head), opened.head);
  opened.exchange = std::move(exchange);
  return opened;
}

}  // namespace

OriginOpened openOriginOverSockets(const OriginRequest& request, const FetchHooks& hooks,
                                   const FetchSettings& settings) {
  std::optional<HttpUrl> url = parseHttpUrl(request.url);
  if (!url) return failed(FetchResult::BadAnswer, "not an http or https URL");
  if (url->secure) return failed(FetchResult::ConnectFailed, "this build of the service fetches http:// only");
  const std::string origin = url->host + ":" + std::to_string(url->port);
  const std::string requestText = formatRequest(*url, request, settings);
  // A kept connection first; one the origin has closed meanwhile is replaced by a new one.
  if (Socket kept = idleConnections().take(origin); kept.valid()) {
    kept.setReceiveBuffer(receiveBufferFor(settings));
    bool closedEarly = false;
    OriginOpened opened = exchangeOn(std::move(kept), origin, requestText, hooks, settings, &closedEarly);
    if (!closedEarly) return opened;
  }
  Socket socket = connectTo(url->host, url->port);
  if (!socket.valid()) return failed(FetchResult::ConnectFailed, "cannot connect to the origin");
  socket.setReceiveTimeout(settings.pollMs);
  socket.setReceiveBuffer(receiveBufferFor(settings));
  bool closedEarly = false;
  return exchangeOn(std::move(socket), origin, requestText, hooks, settings, &closedEarly);
}

#ifndef _WIN32
OriginOpened openOrigin(const OriginRequest& request, const FetchHooks& hooks, const FetchSettings& settings) {
  return openOriginOverSockets(request, hooks, settings);
}
#endif

}  // namespace svc
