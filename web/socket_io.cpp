#include "web/socket_io.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace web {
namespace {

#ifdef _WIN32
using socklen_type = int;
constexpr int kSendFlags = 0;

// Winsock must be started once per process before any socket call.
void ensureNetworking() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}
void closeNative(NativeSocket s) { closesocket(static_cast<SOCKET>(s)); }
bool lastErrorIsTimeout() { return WSAGetLastError() == WSAETIMEDOUT; }
#else
using socklen_type = socklen_t;
// A peer that closed must not kill the process with SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
void ensureNetworking() {}
void closeNative(NativeSocket s) { ::close(static_cast<int>(s)); }
bool lastErrorIsTimeout() { return errno == EAGAIN || errno == EWOULDBLOCK; }
#endif

NativeSocket openStream() {
  ensureNetworking();
  auto s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
#ifdef _WIN32
  return s == INVALID_SOCKET ? kNoSocket : static_cast<NativeSocket>(s);
#else
  return s < 0 ? kNoSocket : static_cast<NativeSocket>(s);
#endif
}

}  // namespace

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    close();
    native_ = other.release();
  }
  return *this;
}

NativeSocket Socket::release() {
  NativeSocket native = native_;
  native_ = kNoSocket;
  return native;
}

void Socket::close() {
  if (native_ != kNoSocket) closeNative(native_);
  native_ = kNoSocket;
}

bool Socket::sendAll(std::string_view bytes) const {
  const char* data = bytes.data();
  size_t left = bytes.size();
  while (left > 0) {
    int piece = left > (1u << 30) ? (1 << 30) : static_cast<int>(left);
    auto sent = ::send(native_, data, piece, kSendFlags);
    if (sent <= 0) return false;
    data += sent;
    left -= static_cast<size_t>(sent);
  }
  return true;
}

ReceiveResult Socket::receiveSome(char* buffer, size_t capacity) const {
  int wanted = capacity > (1u << 30) ? (1 << 30) : static_cast<int>(capacity);
  auto count = ::recv(native_, buffer, wanted, 0);
  if (count > 0) return {ReceiveStatus::Data, static_cast<size_t>(count)};
  if (count == 0) return {ReceiveStatus::Closed, 0};
  return {lastErrorIsTimeout() ? ReceiveStatus::TimedOut : ReceiveStatus::Failed, 0};
}

void Socket::setReceiveBuffer(int bytes) const {
  setsockopt(native_, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

namespace {

void setTimeoutOption(NativeSocket native, int option, int milliseconds) {
#ifdef _WIN32
  DWORD value = static_cast<DWORD>(milliseconds);
  setsockopt(static_cast<SOCKET>(native), SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value);
#else
  timeval value{};
  value.tv_sec = milliseconds / 1000;
  value.tv_usec = (milliseconds % 1000) * 1000;
  setsockopt(static_cast<int>(native), SOL_SOCKET, option, &value, sizeof value);
#endif
}

}  // namespace

void Socket::setReceiveTimeout(int milliseconds) const { setTimeoutOption(native_, SO_RCVTIMEO, milliseconds); }

void Socket::setSendTimeout(int milliseconds) const { setTimeoutOption(native_, SO_SNDTIMEO, milliseconds); }

void Socket::setSendBuffer(int bytes) const {
  setsockopt(native_, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&bytes), sizeof bytes);
}

std::string Socket::peerAddress() const {
  sockaddr_in address{};
  socklen_type length = sizeof address;
  if (getpeername(native_, reinterpret_cast<sockaddr*>(&address), &length) != 0 || address.sin_family != AF_INET) {
    return {};
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address.sin_addr);
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
         std::to_string(bytes[3]);
}

void shutdownSocket(NativeSocket native) {
  if (native == kNoSocket) return;
#ifdef _WIN32
  shutdown(static_cast<SOCKET>(native), SD_BOTH);
#else
  shutdown(static_cast<int>(native), SHUT_RDWR);
#endif
}

void shutdownSending(NativeSocket native) {
  if (native == kNoSocket) return;
#ifdef _WIN32
  shutdown(static_cast<SOCKET>(native), SD_SEND);
#else
  shutdown(static_cast<int>(native), SHUT_WR);
#endif
}

Socket listenOnLoopback(uint16_t port, uint16_t* boundPort) {
  Socket listener(openStream());
  if (!listener.valid()) return listener;
  int one = 1;
#ifdef _WIN32
  // Windows's SO_REUSEADDR would let a second program bind the same port and take some of its
  // connections; exclusive use makes a second bind fail instead.
  setsockopt(listener.native(), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one);
#else
  // A restarted server may bind again at once, while connections of the last one linger.
  setsockopt(listener.native(), SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&one), sizeof one);
#endif
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_type length = sizeof address;
  if (bind(listener.native(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener.native(), 64) != 0 ||
      getsockname(listener.native(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    return Socket();
  }
  if (boundPort != nullptr) *boundPort = ntohs(address.sin_port);
  return listener;
}

Socket acceptConnection(const Socket& listener) {
  auto accepted = ::accept(listener.native(), nullptr, nullptr);
#ifdef _WIN32
  if (accepted == INVALID_SOCKET) return Socket();
#else
  if (accepted < 0) return Socket();
#endif
  Socket connection(static_cast<NativeSocket>(accepted));
  // Answers are written head first, body second: do not let Nagle hold the second write back.
  int noDelay = 1;
  setsockopt(connection.native(), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
             sizeof noDelay);
  return connection;
}

bool readableWithin(const Socket& socket, int milliseconds) {
  if (!socket.valid()) return false;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(socket.native(), &readable);
  timeval wait{};
  wait.tv_sec = milliseconds / 1000;
  wait.tv_usec = (milliseconds % 1000) * 1000;
  // The first argument is ignored by Winsock.
  return select(static_cast<int>(socket.native()) + 1, &readable, nullptr, nullptr, &wait) > 0;
}

Socket connectTo(const std::string& host, uint16_t port) {
  ensureNetworking();
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return Socket();
  sockaddr_in address = *reinterpret_cast<sockaddr_in*>(found->ai_addr);
  freeaddrinfo(found);
  address.sin_port = htons(port);
  Socket connection(openStream());
  if (!connection.valid()) return connection;
  if (connect(connection.native(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return Socket();
  return connection;
}

}  // namespace web
