#include "web/http_server.h"

#include <algorithm>
#include <exception>

#include "web/error_text.h"

namespace web {
namespace {

// How long the accept loop waits for a connection before it looks whether it is to stop.
constexpr int kAcceptPollMs = 100;

}  // namespace

Answer Answer::json(int status, std::string body) {
  Answer answer;
  answer.status = status;
  answer.headers.push_back({"Content-Type", "application/json"});
  answer.body = std::move(body);
  return answer;
}

HttpServer::HttpServer(RequestHandler handler, ServerLimits limits, ConnectionGate gate)
    : handler_(std::move(handler)), gate_(std::move(gate)), limits_(limits) {}

HttpServer::~HttpServer() { stop(); }

bool HttpServer::start(uint16_t port, std::string* error) {
  std::lock_guard<std::mutex> lock(listenMutex_);
  stopping_ = false;
  started_ = listenLocked(port);
  if (!started_) return failWith(error, "cannot listen on 127.0.0.1:" + std::to_string(port));
  return true;
}

bool HttpServer::listenLocked(uint16_t port) {
  if (listener_.valid() || acceptThread_.joinable()) return false;
  uint16_t bound = 0;
  listener_ = listenOnLoopback(port, &bound);
  if (!listener_.valid()) return false;
  // Written only when it changes: listening again after a refusal keeps the port, and port() may
  // be read meanwhile.
  if (port_ != bound) port_ = bound;
  listenerClosing_ = false;
  acceptThread_ = std::thread([this] { acceptLoop(); });
  return true;
}

void HttpServer::closeListenerLocked() {
  listenerClosing_ = true;
  if (listener_.valid()) shutdownSocket(listener_.native());
  if (acceptThread_.joinable()) acceptThread_.join();
  listener_.close();
}

void HttpServer::cancelResumerLocked() {
  {
    std::lock_guard<std::mutex> lock(resumeWaitMutex_);
    resumeCancelled_ = true;
  }
  resumeWake_.notify_all();
  if (resumer_.joinable()) resumer_.join();
}

void HttpServer::refuseConnections(std::chrono::milliseconds duration) {
  std::lock_guard<std::mutex> control(resumeControlMutex_);
  cancelResumerLocked();
  {
    std::lock_guard<std::mutex> lock(listenMutex_);
    if (!started_) return;
    closeListenerLocked();
  }
  if (duration.count() <= 0 || stopping_) return;
  {
    std::lock_guard<std::mutex> lock(resumeWaitMutex_);
    resumeCancelled_ = false;
  }
  auto until = std::chrono::steady_clock::now() + duration;
  resumer_ = std::thread([this, until] {
    std::unique_lock<std::mutex> lock(resumeWaitMutex_);
    if (resumeWake_.wait_until(lock, until, [this] { return resumeCancelled_; })) return;
    lock.unlock();
    resumeListening();
  });
}

bool HttpServer::resumeListening() {
  std::lock_guard<std::mutex> lock(listenMutex_);
  if (stopping_ || !started_) return false;
  if (listener_.valid()) return true;
  return listenLocked(port_);
}

void HttpServer::stop() {
  stopping_ = true;
  {
    std::lock_guard<std::mutex> control(resumeControlMutex_);
    cancelResumerLocked();
  }
  {
    std::lock_guard<std::mutex> lock(listenMutex_);
    closeListenerLocked();
    started_ = false;
  }
  std::list<Connection> remaining;
  {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    for (auto& connection : connections_) shutdownSocket(connection.native);
    remaining.splice(remaining.end(), connections_);
  }
  for (auto& connection : remaining) {
    if (connection.thread.joinable()) connection.thread.join();
  }
}

void HttpServer::acceptLoop() {
  while (!stopping_ && !listenerClosing_) {
    // Accepts only once a connection waits, so that closing the listener never waits on a blocked
    // accept, which Windows does not end for a shutdown from another thread.
    if (!readableWithin(listener_, kAcceptPollMs)) continue;
    Socket socket = acceptConnection(listener_);
    if (!socket.valid()) {
      if (stopping_ || listenerClosing_) break;
      continue;
    }
    reapFinished();
    std::string address = socket.peerAddress();
    if (overConnectionBounds(address)) {
      // Refused at once, without a thread: a flood of connections cannot exhaust the server.
      socket.sendAll("HTTP/1.0 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
      socket.close();
      continue;
    }
    if (limits_.sendTimeout.count() > 0) socket.setSendTimeout(static_cast<int>(limits_.sendTimeout.count()));
    if (limits_.sendBufferBytes > 0) socket.setSendBuffer(limits_.sendBufferBytes);
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    if (stopping_) break;
    connections_.emplace_back();
    Connection* connection = &connections_.back();
    connection->native = socket.native();
    connection->address = std::move(address);
    uint64_t id = nextConnectionId_++;
    connection->thread = std::thread(
        [this, id, connection](Socket s) { serve(std::move(s), id, connection); }, std::move(socket));
  }
}

bool HttpServer::overConnectionBounds(const std::string& address) {
  if (limits_.maxConnections == 0 && limits_.maxConnectionsPerAddress == 0) return false;
  std::lock_guard<std::mutex> lock(connectionsMutex_);
  size_t open = 0;
  size_t fromAddress = 0;
  for (const auto& connection : connections_) {
    if (connection.finished) continue;
    ++open;
    if (connection.address == address) ++fromAddress;
  }
  return (limits_.maxConnections > 0 && open >= limits_.maxConnections) ||
         (limits_.maxConnectionsPerAddress > 0 && fromAddress >= limits_.maxConnectionsPerAddress);
}

int HttpServer::receiveWaitMs(bool requestUnderWay, std::chrono::steady_clock::time_point requestStarted,
                              std::optional<std::chrono::steady_clock::time_point> firstDue) const {
  using std::chrono::milliseconds;
  const auto now = std::chrono::steady_clock::now();
  int64_t wait = limits_.idleTimeout.count();
  if (requestUnderWay && limits_.requestTimeout.count() > 0) {
    wait = std::max<int64_t>(1, std::chrono::duration_cast<milliseconds>(requestStarted + limits_.requestTimeout - now).count());
  }
  if (firstDue) {
    const int64_t left = std::max<int64_t>(1, std::chrono::duration_cast<milliseconds>(*firstDue - now).count());
    wait = wait == 0 ? left : std::min(wait, left);
  }
  return static_cast<int>(wait);
}

// Joins the threads of connections that have ended, so a long run with many short connections
// (a poller that reconnects each time) does not pile them up.
void HttpServer::reapFinished() {
  std::list<Connection> done;
  {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    for (auto it = connections_.begin(); it != connections_.end();) {
      auto next = std::next(it);
      if (it->finished) done.splice(done.end(), connections_, it);
      it = next;
    }
  }
  for (auto& connection : done) connection.thread.join();
}

void HttpServer::serve(Socket socket, uint64_t id, Connection* connection) {
  std::string received;
  char buffer[16384];
  bool open = true;
  const bool bounded = limits_.idleTimeout.count() > 0 || limits_.requestTimeout.count() > 0 ||
                       limits_.firstRequestTimeout.count() > 0;
  auto requestStarted = std::chrono::steady_clock::now();
  // Until the first request is whole, it is due this long after the accept.
  std::optional<std::chrono::steady_clock::time_point> firstDue;
  if (limits_.firstRequestTimeout.count() > 0) firstDue = requestStarted + limits_.firstRequestTimeout;
  const size_t largestBody = limits_.largestBody > 0 ? limits_.largestBody : kMaxRequestBody;
  if (gate_ && !gate_(socket)) {
    HttpRequest placeholder;
    placeholder.version = "HTTP/1.0";
    Answer refusal = Answer::json(403, "{\"error\":\"This download service answers only its own user's programs.\"}");
    sendAnswer(socket, placeholder, refusal, false);
    open = false;
  }
  while (open && !stopping_) {
    HttpRequest request;
    ParseResult parsed = parseRequest(received, request, largestBody);
    bool tooSlow = false;
    if (parsed.status == ParseStatus::Incomplete) {
      if (bounded) socket.setReceiveTimeout(receiveWaitMs(!received.empty(), requestStarted, firstDue));
      ReceiveResult result = socket.receiveSome(buffer, sizeof buffer);
      if (result.status == ReceiveStatus::Data) {
        if (received.empty()) requestStarted = std::chrono::steady_clock::now();
        received.append(buffer, result.count);
        continue;
      }
      // A silent kept connection simply ends; a request left half sent is answered first.
      if (result.status != ReceiveStatus::TimedOut || received.empty()) break;
      const auto now = std::chrono::steady_clock::now();
      const bool firstLate = firstDue && now >= *firstDue;
      const bool requestLate = limits_.requestTimeout.count() > 0 && now - requestStarted >= limits_.requestTimeout;
      if (!firstLate && !requestLate) {
        if (limits_.requestTimeout.count() == 0 && !firstDue) break;
        continue;
      }
      tooSlow = true;
    }
    if (tooSlow || parsed.status != ParseStatus::Complete) {
      // The stream cannot be resynchronised after a broken request: answer it and close.
      const bool bodyRefused = parsed.bodyTooLarge && limits_.largestBody > 0;
      int status = tooSlow ? 408 : bodyRefused ? 413 : parsed.status == ParseStatus::TooLarge ? 431 : 400;
      Answer refusal = Answer::json(status, "{\"error\":\"" + std::string(reasonPhrase(status)) + "\"}");
      HttpRequest placeholder;
      placeholder.version = "HTTP/1.0";
      sendAnswer(socket, placeholder, refusal, false);
      // Unread request bytes would make the close a reset, which can destroy the refusal before
      // the client reads it: finish sending, then drain what is left for a moment.
      shutdownSending(socket.native());
      socket.setReceiveTimeout(200);
      for (int drained = 0; drained < 64; ++drained) {
        if (socket.receiveSome(buffer, sizeof buffer).status != ReceiveStatus::Data) break;
      }
      break;
    }
    received.erase(0, parsed.consumed);
    requestStarted = std::chrono::steady_clock::now();  // for a next request already under way
    firstDue.reset();
    request.peerAddress = connection->address;
    Answer answer;
    try {
      answer = handler_(request, id);
    } catch (const std::exception&) {
      // A failing handler costs this request an error answer, not the whole server.
      answer = Answer::json(500, "{\"error\":\"Internal Server Error\"}");
    }
    if (answer.dropConnection) break;
    if (answer.rawBytes) {
      socket.sendAll(*answer.rawBytes);
      break;
    }
    bool keepOpen = request.keepsConnection();
    open = sendAnswer(socket, request, answer, keepOpen) && keepOpen;
  }
  {
    std::lock_guard<std::mutex> lock(connectionsMutex_);
    connection->native = kNoSocket;
  }
  socket.close();
  connection->finished = true;
}

bool HttpServer::sendAnswer(const Socket& socket, const HttpRequest& request, Answer& answer, bool keepOpen) {
  uint64_t length = answer.streamBody ? answer.streamLength : answer.body.size();
  std::vector<Header> headers = answer.headers;
  headers.push_back({"Content-Length", std::to_string(length)});
  headers.push_back({"Connection", keepOpen ? "keep-alive" : "close"});
  std::string head = formatAnswerHead(request.version, answer.status, headers);
  bool withBody = request.method != "HEAD";
  if (!answer.streamBody) {
    if (withBody) head.append(answer.body);
    return socket.sendAll(head);
  }
  if (!socket.sendAll(head)) return false;
  if (!withBody) return true;
  uint64_t sent = 0;
  BodySink sink = [&](std::string_view bytes) {
    if (stopping_ || !socket.sendAll(bytes)) return false;
    sent += bytes.size();
    return true;
  };
  return answer.streamBody(sink) && sent == length;
}

}  // namespace web
