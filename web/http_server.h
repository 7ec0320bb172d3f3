// The server loop shared by the testbed's servers: HTTP/1.x on 127.0.0.1, one thread per
// connection, requests on a connection answered in order and the connection kept open as the
// client asks (HTTP/1.0 with "Connection: keep-alive", or HTTP/1.1). Every answer carries
// Content-Length. The handler decides the answer and may ask to drop the connection unanswered or
// to send bytes that are not HTTP at all. Listening can be suspended (connections refused) and
// resumed on the same port.
#ifndef WEB_HTTP_SERVER_H
#define WEB_HTTP_SERVER_H

#include <stdint.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "web/http_message.h"
#include "web/socket_io.h"

namespace web {

// Hands body bytes to the connection; false once the connection is gone.
using BodySink = std::function<bool(std::string_view bytes)>;

struct Answer {
  int status = 200;
  std::vector<Header> headers;  // Content-Length and Connection are added by the server
  std::string body;
  // A body too large to hold in memory: streamLength bytes written through the sink. Returning
  // false (or writing a different count) ends the connection.
  std::function<bool(const BodySink& sink)> streamBody;
  uint64_t streamLength = 0;
  // Close the connection right after reading the request, without a single byte of answer.
  bool dropConnection = false;
  // Send exactly these bytes instead of an answer, then close the connection.
  std::optional<std::string> rawBytes;

  static Answer json(int status, std::string body);
};

using RequestHandler = std::function<Answer(const HttpRequest& request, uint64_t connectionId)>;
// Asked of each new connection before anything is read from it; a connection it refuses is
// answered 403 and closed.
using ConnectionGate = std::function<bool(const Socket& connection)>;

// Bounds on what a client may hold of a server; zero means no bound.
struct ServerLimits {
  // A kept connection with no request under way is closed after this long without a byte.
  std::chrono::milliseconds idleTimeout{0};
  // A request must arrive whole within this long of its first byte, or it is answered 408 and the
  // connection closed (a client sending a byte now and then cannot hold a connection for ever).
  std::chrono::milliseconds requestTimeout{0};
  // Connections served at once; one more is answered 503 and closed at once.
  size_t maxConnections = 0;
  // The first request on a connection must arrive whole within this long of the accept, so a
  // connection that sends nothing, or a byte now and then, holds its slot no longer than that.
  std::chrono::milliseconds firstRequestTimeout{0};
  // An answer the client does not read within this long ends the connection (a client that sends
  // requests and never reads the answers cannot hold a thread).
  std::chrono::milliseconds sendTimeout{0};
  // Connections served at once from one address; one more is answered 503 and closed at once.
  size_t maxConnectionsPerAddress = 0;
  // A request announcing a longer body is answered 413 before its body is read; 0 keeps the
  // common bound (kMaxRequestBody), over which the answer is 431.
  size_t largestBody = 0;
  // The send buffer of each connection, in bytes; 0: the system's (which may grow to megabytes).
  int sendBufferBytes = 0;
};

class HttpServer {
 public:
  explicit HttpServer(RequestHandler handler, ServerLimits limits = ServerLimits(), ConnectionGate gate = nullptr);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on 127.0.0.1:port (0 picks a free one) and starts accepting; false when the port
  // cannot be bound, and then error (when not null) says so.
  bool start(uint16_t port, std::string* error = nullptr);
  uint16_t port() const { return port_; }
  // Closes the listener and every open connection and waits for their threads.
  void stop();
  bool stopping() const { return stopping_; }

  // Closes the listener, so new connections are refused while open ones stay served; a duration
  // above zero listens again on the same port once it has passed. Safe from a handler.
  void refuseConnections(std::chrono::milliseconds duration);

 private:
  struct Connection {
    std::thread thread;
    NativeSocket native = kNoSocket;
    std::string address;  // the peer's
    std::atomic<bool> finished{false};
  };

  void acceptLoop();
  // Listens again on the same port after a refusal; false when the port cannot be bound again.
  bool resumeListening();
  // Both need listenMutex_ held.
  bool listenLocked(uint16_t port);
  void closeListenerLocked();
  // Needs resumeControlMutex_ held.
  void cancelResumerLocked();
  void serve(Socket socket, uint64_t id, Connection* connection);
  // Whether a new connection from this address is over a bound; then it gets 503 at once.
  bool overConnectionBounds(const std::string& address);
  bool sendAnswer(const Socket& socket, const HttpRequest& request, Answer& answer, bool keepOpen);
  void reapFinished();

  // How long the next receive may wait: the idle or the request time left, and on a connection's
  // first request no longer than its time from the accept left; 0 without a bound.
  int receiveWaitMs(bool requestUnderWay, std::chrono::steady_clock::time_point requestStarted,
                    std::optional<std::chrono::steady_clock::time_point> firstDue) const;

  RequestHandler handler_;
  ConnectionGate gate_;
  ServerLimits limits_;
  Socket listener_;
  uint16_t port_ = 0;
  std::thread acceptThread_;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> listenerClosing_{false};
  std::mutex listenMutex_;  // the listener, its accept thread and started_
  bool started_ = false;    // between a successful start and stop
  // The thread that listens again after a timed refusal: started and joined under the control
  // mutex, woken early through the condition when cancelled.
  std::mutex resumeControlMutex_;
  std::mutex resumeWaitMutex_;
  std::condition_variable resumeWake_;
  bool resumeCancelled_ = false;
  std::thread resumer_;
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;
  uint64_t nextConnectionId_ = 1;
};

}  // namespace web

#endif
