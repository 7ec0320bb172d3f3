// Portable TCP sockets for the testbed: Winsock on Windows, BSD sockets elsewhere. Only what the
// servers and the downloader need: listen on the loopback interface, accept, connect, send, receive.
#ifndef WEB_SOCKET_IO_H
#define WEB_SOCKET_IO_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>

namespace web {

// Wide enough for Winsock's SOCKET and a POSIX descriptor; -1 means none.
using NativeSocket = intptr_t;
constexpr NativeSocket kNoSocket = -1;

enum class ReceiveStatus { Data, Closed, TimedOut, Failed };

struct ReceiveResult {
  ReceiveStatus status;
  size_t count;  // bytes received when status is Data
};

// An owned socket; closed when destroyed.
class Socket {
 public:
  Socket() = default;
  explicit Socket(NativeSocket native) : native_(native) {}
  ~Socket() { close(); }
  Socket(Socket&& other) noexcept : native_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return native_ != kNoSocket; }
  NativeSocket native() const { return native_; }
  NativeSocket release();
  void close();

  bool sendAll(std::string_view bytes) const;
  ReceiveResult receiveSome(char* buffer, size_t capacity) const;
  // Asks the system for a receive buffer of this size: fewer, larger receives on a fast stream.
  void setReceiveBuffer(int bytes) const;
  // Bounds every later receive; 0 waits without limit.
  void setReceiveTimeout(int milliseconds) const;
  // Bounds every later send: a peer that stops reading makes sendAll fail after this long.
  void setSendTimeout(int milliseconds) const;
  // The system's send buffer for the socket, in bytes.
  void setSendBuffer(int bytes) const;
  // The dotted IPv4 address of the other end, or empty when it cannot be had.
  std::string peerAddress() const;

 private:
  NativeSocket native_ = kNoSocket;
};

// Makes a blocked receive or accept on the socket return; safe from another thread.
void shutdownSocket(NativeSocket native);
// Ends the sending direction only: the peer reads the end of the stream, receiving still works.
void shutdownSending(NativeSocket native);

// Listens on 127.0.0.1:port (0 picks a free port); the bound port goes to boundPort.
Socket listenOnLoopback(uint16_t port, uint16_t* boundPort);
// Waits for the next connection; an invalid socket when the listener was shut down.
Socket acceptConnection(const Socket& listener);
// Whether a connection is waiting on the listener (or the socket has bytes to read) within
// milliseconds. A loop that accepts only then can be stopped by a flag on every system: Windows
// (and Wine) do not end an accept blocked on a listener that another thread shuts down.
bool readableWithin(const Socket& socket, int milliseconds);
// Connects to host:port (a name or a dotted IPv4 address); an invalid socket on failure.
Socket connectTo(const std::string& host, uint16_t port);

}  // namespace web

#endif
