// Test helpers for the testbed: a client connection that talks to a server the way the client
// library does (HTTP/1.0, keep-alive, one connection, answers read by Content-Length), an
// independent percent-encoder and reader for flat JSON answers, and bounded waiting.
#ifndef TESTS_SERVICE_API_CLIENT_H
#define TESTS_SERVICE_API_CLIENT_H

#include <stdint.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <string_view>

#include "web/socket_io.h"

namespace testbedtest {

struct Reply {
  bool ok = false;  // false when the connection broke before a whole answer arrived
  int status = 0;
  std::string head;
  std::string body;
};

class KeptConnection {
 public:
  explicit KeptConnection(uint16_t port) : port_(port) {}
  // Sends "GET <target>" (target starts with "/") on the kept connection, opening it first when
  // needed; a broken connection is dropped, so the next request opens a fresh one.
  Reply get(const std::string& target, const std::string& extraHeaders = "", const char* version = "HTTP/1.0");
  // Sends a whole request as given (it should keep the connection) and reads the answer.
  Reply send(const std::string& request);
  int connectionsOpened() const { return opened_; }

 private:
  uint16_t port_;
  web::Socket socket_;
  int opened_ = 0;
};

// One request on a fresh connection, read until the server closes it (the request should not ask
// for keep-alive). connected is false when the connection was refused; received holds every byte.
struct Exchange {
  bool connected = false;
  std::string received;
  Reply reply;  // ok only when a head arrived and the body is as long as Content-Length says
};
Exchange exchangeOnce(uint16_t port, const std::string& request);

// The client library's encoding: letters, digits, "-", "." and "_" kept, the rest as %xx.
std::string encode(std::string_view text);
// "/api?function=F&cid=0&apiversion=capi_1.8.0.5&url=<encoded url>" followed by extra.
std::string apiTarget(const std::string& function, const std::string& url, const std::string& extra = "");

struct JsonValue {
  enum Kind { String, Number, Boolean, Null } kind = Null;
  std::string text;
  int64_t number = 0;
  bool boolean = false;
};
using JsonObject = std::map<std::string, JsonValue>;
// Reads an object whose members are strings, integers, booleans or null; false on anything else
// (including trailing bytes), so a badly escaped answer fails the test that reads it.
bool parseFlatJson(const std::string& text, JsonObject& out);

// Polls predicate every 20 ms until it holds or the time is up.
bool waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds limit);

// Deterministic pseudo-random content, so a wrong offset shows as a mismatch.
std::string patternBytes(size_t size, uint32_t seed);
void writeFile(const std::filesystem::path& file, const std::string& content);
std::string readFile(const std::filesystem::path& file);

}  // namespace svctest

#endif
