// The server loop shared by the testbed's servers: HTTP/1.x on 127.0.0.1, one thread per
// connection, requests on a connection answered in order and the connection kept open as the
// client asks (HTTP/1.0 with "Connection: keep-alive", or HTTP/1.1). Every answer carries
// Content-Length. The handler decides the answer and may ask to drop the connection unanswered.
#ifndef TESTBED_HTTP_SERVER_H
#define TESTBED_HTTP_SERVER_H

#include <stdint.h>

#include <atomic>
#include <functional>
#include <list>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "testbed/http_message.h"
#include "testbed/socket_io.h"

namespace testbed {

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

  static Answer json(int status, std::string body);
};

using RequestHandler = std::function<Answer(const HttpRequest& request, uint64_t connectionId)>;

class HttpServer {
 public:
  explicit HttpServer(RequestHandler handler);
  ~HttpServer();
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;

  // Listens on 127.0.0.1:port (0 picks a free one) and starts accepting; false when the port
  // cannot be bound.
  bool start(uint16_t port);
  uint16_t port() const { return port_; }
  // Closes the listener and every open connection and waits for their threads.
  void stop();
  bool stopping() const { return stopping_; }

 private:
  struct Connection {
    std::thread thread;
    NativeSocket native = kNoSocket;
    std::atomic<bool> finished{false};
  };

  void acceptLoop();
  void serve(Socket socket, uint64_t id, Connection* connection);
  bool sendAnswer(const Socket& socket, const HttpRequest& request, Answer& answer, bool keepOpen);
  void reapFinished();

  RequestHandler handler_;
  Socket listener_;
  uint16_t port_ = 0;
  std::thread acceptThread_;
  std::atomic<bool> stopping_{false};
  std::mutex connectionsMutex_;
  std::list<Connection> connections_;
  uint64_t nextConnectionId_ = 1;
};

}  // namespace testbed

#endif
