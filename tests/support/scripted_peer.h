// A TCP server on 127.0.0.1 that plays scripted answers to the client under test: exact bytes,
// sent whole or in pieces, slowly, or not at all, with the connection closed or held open.
// It records every request it reads, so tests can assert on the exact bytes that were sent.
#ifndef TESTS_SUPPORT_SCRIPTED_PEER_H
#define TESTS_SUPPORT_SCRIPTED_PEER_H

#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testsupport {

// What the peer does on one accepted connection, step by step.
class ConnectionScript {
 public:
  // Reads one request (up to and including its blank line) and records it.
  ConnectionScript& readRequest();
  // Sends bytes, in pieces of pieceSize bytes with delayMs between them when asked to.
  ConnectionScript& send(std::string bytes, size_t pieceSize = 0, int delayMs = 0);
  // Reads a request, then sends the answer.
  ConnectionScript& answer(std::string bytes) { return readRequest().send(std::move(bytes)); }
  // Answers every further request with the same bytes until the client closes.
  ConnectionScript& answerEach(std::string bytes);
  ConnectionScript& wait(int milliseconds);
  // Closes the connection at this point (without it, the peer waits until the client closes).
  ConnectionScript& close();

  struct Step {
    enum Kind { Read, Send, AnswerEach, Wait, Close } kind;
    std::string bytes;
    size_t pieceSize;
    int delayMs;
  };
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

class ScriptedPeer {
 public:
  // Listens on 127.0.0.1:port (0 picks a free port). Check listening() before use.
  explicit ScriptedPeer(uint16_t port = 0);
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  bool listening() const { return listener_ != -1; }
  uint16_t port() const { return port_; }

  // Scripts the next connection that has no script yet.
  ConnectionScript& onConnection();
  // The script for every connection beyond the scripted ones (default: close at once).
  ConnectionScript& onEveryOtherConnection() { return fallback_; }
  // Must be called before the client starts, as the scripts are not locked.
  void start();

  std::vector<std::string> requests() const;
  int connectionsAccepted() const { return accepted_; }

  // A complete HTTP answer with a Content-Length header.
  static std::string httpAnswer(const std::string& body, const std::string& status = "200 OK",
                                const std::string& extraHeaders = "");

 private:
  void serve();
  void play(intptr_t connection, const ConnectionScript& script);
  bool readOneRequest(intptr_t connection);

  intptr_t listener_ = -1;
  uint16_t port_ = 0;
  std::vector<ConnectionScript> scripts_;
  ConnectionScript fallback_;
  std::thread thread_;
  std::atomic<bool> stopping_{false};
  std::atomic<int> accepted_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::string unread_;
};

}  // namespace testsupport

#endif
