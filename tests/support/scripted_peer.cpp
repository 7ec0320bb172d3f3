#include "tests/support/scripted_peer.h"

#include <chrono>

#ifdef _WIN32
#include <winsock2.h>
#include <windows.h>
using socklen_t = int;
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace testsupport {
namespace {

#ifdef _WIN32
void closeNative(intptr_t s) { closesocket(static_cast<SOCKET>(s)); }
constexpr int kSendFlags = 0;

struct WinsockUser {
  WinsockUser() {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  }
  ~WinsockUser() { WSACleanup(); }
};
#else
void closeNative(intptr_t s) { ::close(static_cast<int>(s)); }
constexpr int kSendFlags = MSG_NOSIGNAL;
struct WinsockUser {};
#endif

WinsockUser& winsock() {
  static WinsockUser user;
  return user;
}

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

constexpr int kPollMs = 20;

// True when s has something to read (or a connection to accept) within kPollMs.
bool readable(intptr_t s) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(s, &set);
  timeval limit{0, kPollMs * 1000};
  return select(static_cast<int>(s + 1), &set, nullptr, nullptr, &limit) > 0;
}

bool sendAll(intptr_t s, const char* data, size_t length) {
  while (length > 0) {
    auto sent = ::send(s, data, static_cast<int>(length), kSendFlags);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

}  // namespace

ConnectionScript& ConnectionScript::readRequest() {
  steps_.push_back({Step::Read, {}, 0, 0});
  return *this;
}

ConnectionScript& ConnectionScript::send(std::string bytes, size_t pieceSize, int delayMs) {
  steps_.push_back({Step::Send, std::move(bytes), pieceSize, delayMs});
  return *this;
}

ConnectionScript& ConnectionScript::answerEach(std::string bytes) {
  steps_.push_back({Step::AnswerEach, std::move(bytes), 0, 0});
  return *this;
}

ConnectionScript& ConnectionScript::wait(int milliseconds) {
  steps_.push_back({Step::Wait, {}, 0, milliseconds});
  return *this;
}

ConnectionScript& ConnectionScript::close() {
  steps_.push_back({Step::Close, {}, 0, 0});
  return *this;
}

ScriptedPeer::ScriptedPeer(uint16_t port) {
  winsock();
  fallback_.close();
  auto s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (static_cast<intptr_t>(s) < 0) return;
  int reuse = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, reinterpret_cast<const char*>(&reuse), sizeof reuse);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(port);
  socklen_t length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(s, 16) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closeNative(static_cast<intptr_t>(s));
    return;
  }
  listener_ = static_cast<intptr_t>(s);
  port_ = ntohs(address.sin_port);
}

ScriptedPeer::~ScriptedPeer() {
  // The serving thread notices stopping_ within one poll interval. No socket is touched from this
  // thread while that one waits on it: Wine neither wakes a blocked receive on a shutdown from
  // another thread nor survives a socket closed under a pending wait.
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ != -1) closeNative(listener_);
}

ConnectionScript& ScriptedPeer::onConnection() {
  scripts_.emplace_back();
  return scripts_.back();
}

void ScriptedPeer::start() { thread_ = std::thread([this] { serve(); }); }

std::vector<std::string> ScriptedPeer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string ScriptedPeer::httpAnswer(const std::string& body, const std::string& status,
                                     const std::string& extraHeaders) {
  return "HTTP/1.0 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" + extraHeaders +
         "\r\n" + body;
}

void ScriptedPeer::serve() {
  size_t next = 0;
  while (!stopping_) {
    if (!readable(listener_)) continue;
    auto connection = ::accept(listener_, nullptr, nullptr);
    if (static_cast<intptr_t>(connection) < 0) continue;
    ++accepted_;
    unread_.clear();
    play(static_cast<intptr_t>(connection), next < scripts_.size() ? scripts_[next++] : fallback_);
    closeNative(static_cast<intptr_t>(connection));
  }
}

void ScriptedPeer::play(intptr_t connection, const ConnectionScript& script) {
  for (const auto& step : script.steps()) {
    if (stopping_) return;
    switch (step.kind) {
      case ConnectionScript::Step::Read:
        if (!readOneRequest(connection)) return;
        break;
      case ConnectionScript::Step::Send: {
        size_t piece = step.pieceSize == 0 ? step.bytes.size() : step.pieceSize;
        for (size_t at = 0; at < step.bytes.size(); at += piece) {
          if (at > 0 && step.delayMs > 0) sleepMs(step.delayMs);
          size_t count = std::min(piece, step.bytes.size() - at);
          if (!sendAll(connection, step.bytes.data() + at, count)) return;
        }
        break;
      }
      case ConnectionScript::Step::AnswerEach:
        while (!stopping_ && readOneRequest(connection)) {
          if (!sendAll(connection, step.bytes.data(), step.bytes.size())) return;
        }
        return;
      case ConnectionScript::Step::Wait:
        sleepMs(step.delayMs);
        break;
      case ConnectionScript::Step::Close:
        return;
    }
  }
  // Without an explicit close the connection stays open until the client closes it.
  char buffer[4096];
  while (!stopping_) {
    if (readable(connection) && ::recv(connection, buffer, sizeof buffer, 0) <= 0) break;
  }
}

bool ScriptedPeer::readOneRequest(intptr_t connection) {
  char buffer[4096];
  size_t end;
  while ((end = unread_.find("\r\n\r\n")) == std::string::npos) {
    if (stopping_) return false;
    if (!readable(connection)) continue;
    auto count = ::recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0) return false;
    unread_.append(buffer, static_cast<size_t>(count));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back(unread_.substr(0, end + 4));
  unread_.erase(0, end + 4);
  return true;
}

}  // namespace testsupport
