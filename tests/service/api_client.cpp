#include "tests/service/api_client.h"

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace testbedtest {

Reply KeptConnection::get(const std::string& target, const std::string& extraHeaders, const char* version) {
  return send("GET " + target + " " + version +
              "\r\nHost: localhost\r\nUser-Agent: Tessel Download Client\r\n"
              "Connection: keep-alive\r\n" +
              extraHeaders + "\r\n");
}

Reply KeptConnection::send(const std::string& request) {
  Reply reply;
  if (!socket_.valid()) {
    socket_ = web::connectTo("127.0.0.1", port_);
    if (!socket_.valid()) return reply;
    socket_.setReceiveTimeout(10000);
    ++opened_;
  }
  std::string received;
  char buffer[65536];
  size_t headEnd = std::string::npos;
  bool sent = socket_.sendAll(request);
  while (sent && (headEnd = received.find("\r\n\r\n")) == std::string::npos) {
    web::ReceiveResult result = socket_.receiveSome(buffer, sizeof buffer);
    if (result.status != web::ReceiveStatus::Data) break;
    received.append(buffer, result.count);
  }
  if (headEnd == std::string::npos) {
    socket_.close();
    return reply;
  }
  reply.head = received.substr(0, headEnd + 4);
  reply.status = reply.head.size() > 12 ? std::atoi(reply.head.c_str() + 9) : 0;
  size_t lengthAt = reply.head.find("\r\nContent-Length: ");
  if (lengthAt == std::string::npos) {
    socket_.close();
    return reply;
  }
  size_t length = std::stoull(reply.head.substr(lengthAt + 18));
  reply.body = received.substr(headEnd + 4);
  while (reply.body.size() < length) {
    web::ReceiveResult result = socket_.receiveSome(buffer, sizeof buffer);
    if (result.status != web::ReceiveStatus::Data) break;
    reply.body.append(buffer, result.count);
  }
  reply.ok = reply.body.size() == length;
  if (!reply.ok) socket_.close();
  if (reply.head.find("Connection: close") != std::string::npos) socket_.close();
  return reply;
}

Exchange exchangeOnce(uint16_t port, const std::string& request) {
  Exchange exchange;
  web::Socket socket = web::connectTo("127.0.0.1", port);
  if (!socket.valid()) return exchange;
  exchange.connected = true;
  socket.setReceiveTimeout(10000);
  if (!socket.sendAll(request)) return exchange;
  char buffer[65536];
  for (;;) {
    web::ReceiveResult result = socket.receiveSome(buffer, sizeof buffer);
    if (result.status != web::ReceiveStatus::Data) break;
    exchange.received.append(buffer, result.count);
  }
  size_t headEnd = exchange.received.find("\r\n\r\n");
  if (headEnd == std::string::npos || exchange.received.compare(0, 5, "HTTP/") != 0) return exchange;
  Reply& reply = exchange.reply;
  reply.head = exchange.received.substr(0, headEnd + 4);
  reply.status = reply.head.size() > 12 ? std::atoi(reply.head.c_str() + 9) : 0;
  reply.body = exchange.received.substr(headEnd + 4);
  size_t lengthAt = reply.head.find("\r\nContent-Length: ");
  reply.ok = lengthAt != std::string::npos && std::stoull(reply.head.substr(lengthAt + 18)) == reply.body.size();
  return exchange;
}

std::string encode(std::string_view text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '-' || c == '.' || c == '_') {
      out.push_back(static_cast<char>(c));
    } else {
      out += '%';
      out += kDigits[c >> 4];
      out += kDigits[c & 15];
    }
  }
  return out;
}

std::string apiTarget(const std::string& function, const std::string& url, const std::string& extra) {
  return "/api?function=" + function + "&cid=0&apiversion=capi_1.8.0.5&url=" + encode(url) + extra;
}

namespace {

class FlatJsonReader {
 public:
  explicit FlatJsonReader(const std::string& text) : text_(text) {}

  bool read(JsonObject& out) {
    skipSpace();
    if (!take('{')) return false;
    skipSpace();
    if (take('}')) return atEnd();
    for (;;) {
      std::string key;
      JsonValue value;
      skipSpace();
      if (!readString(key)) return false;
      skipSpace();
      if (!take(':')) return false;
      skipSpace();
      if (!readValue(value)) return false;
      out[key] = value;
      skipSpace();
      if (take('}')) return atEnd();
      if (!take(',')) return false;
    }
  }

 private:
  bool atEnd() {
    skipSpace();
    return at_ == text_.size();
  }
  void skipSpace() {
    while (at_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[at_]))) ++at_;
  }
  bool take(char c) {
    if (at_ < text_.size() && text_[at_] == c) {
      ++at_;
      return true;
    }
    return false;
  }
  bool takeWord(const char* word) {
    size_t length = std::char_traits<char>::length(word);
    if (text_.compare(at_, length, word) != 0) return false;
    at_ += length;
    return true;
  }
  bool readString(std::string& out) {
    if (!take('"')) return false;
    while (at_ < text_.size()) {
      char c = text_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out.push_back(c);
        continue;
      }
      if (at_ >= text_.size()) return false;
      char escape = text_[at_++];
      switch (escape) {
        case '"': out.push_back('"'); break;
        case '\\': out.push_back('\\'); break;
        case '/': out.push_back('/'); break;
        case 'n': out.push_back('\n'); break;
        case 'r': out.push_back('\r'); break;
        case 't': out.push_back('\t'); break;
        case 'b': out.push_back('\b'); break;
        case 'f': out.push_back('\f'); break;
        case 'u': {
          if (at_ + 4 > text_.size()) return false;
          unsigned value = static_cast<unsigned>(std::stoul(text_.substr(at_, 4), nullptr, 16));
          at_ += 4;
          if (value < 0x80) {
            out.push_back(static_cast<char>(value));
          } else if (value < 0x800) {
            out.push_back(static_cast<char>(0xc0 | (value >> 6)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3f)));
          } else {
            out.push_back(static_cast<char>(0xe0 | (value >> 12)));
            out.push_back(static_cast<char>(0x80 | ((value >> 6) & 0x3f)));
            out.push_back(static_cast<char>(0x80 | (value & 0x3f)));
          }
          break;
        }
        default: return false;
      }
    }
    return false;
  }
  bool readValue(JsonValue& value) {
    if (at_ < text_.size() && text_[at_] == '"') {
      value.kind = JsonValue::String;
      return readString(value.text);
    }
    if (takeWord("true") || takeWord("false")) {
      value.kind = JsonValue::Boolean;
      value.boolean = text_[at_ - 1] == 'e' && text_[at_ - 2] == 'u';
      return true;
    }
    if (takeWord("null")) {
      value.kind = JsonValue::Null;
      return true;
    }
    size_t start = at_;
    if (at_ < text_.size() && text_[at_] == '-') ++at_;
    while (at_ < text_.size() && std::isdigit(static_cast<unsigned char>(text_[at_]))) ++at_;
    if (at_ == start || (at_ == start + 1 && text_[start] == '-')) return false;
    value.kind = JsonValue::Number;
    value.number = std::stoll(text_.substr(start, at_ - start));
    return true;
  }

  const std::string& text_;
  size_t at_ = 0;
};

}  // namespace

bool parseFlatJson(const std::string& text, JsonObject& out) {
  out.clear();
  return FlatJsonReader(text).read(out);
}

bool waitFor(const std::function<bool()>& predicate, std::chrono::milliseconds limit) {
  auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (predicate()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

std::string patternBytes(size_t size, uint32_t seed) {
  std::string bytes(size, '\0');
  uint32_t state = seed * 2654435761u + 1;
  for (auto& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    byte = static_cast<char>(state);
  }
  return bytes;
}

void writeFile(const std::filesystem::path& file, const std::string& content) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << content;
}

std::string readFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace svctest
