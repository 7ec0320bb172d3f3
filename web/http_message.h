// HTTP/1.x messages as the testbed's servers and its downloader see them: parsing a request or an
// answer head out of received bytes (bounded, strict about line ends), formatting answer heads,
// and the byte-range headers used for resuming.
#ifndef WEB_HTTP_MESSAGE_H
#define WEB_HTTP_MESSAGE_H

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <string_view>
#include <vector>

namespace web {

struct Header {
  std::string name;
  std::string value;
};

// The value of the first header called name (compared without regard to case), or null.
const std::string* findHeader(const std::vector<Header>& headers, std::string_view name);
bool equalsIgnoringCase(std::string_view a, std::string_view b);
// The text without the spaces and tabs around it.
std::string_view trim(std::string_view text);

struct HttpRequest {
  std::string method;
  std::string target;   // as received, e.g. "/api?function=ping"
  std::string version;  // "HTTP/1.0" or "HTTP/1.1"
  std::vector<Header> headers;
  std::string path;      // the target up to "?", without scheme and host when sent in absolute form
  std::string rawQuery;  // what follows the first "?", not decoded
  std::string body;
  std::string peerAddress;  // the connection's other end ("203.0.113.5"), set by the server

  const std::string* header(std::string_view name) const { return findHeader(headers, name); }
  // HTTP/1.1 keeps the connection unless told to close; HTTP/1.0 only when asked for keep-alive.
  bool keepsConnection() const;
};

enum class ParseStatus { Incomplete, Complete, Invalid, TooLarge };

struct ParseResult {
  ParseStatus status;
  size_t consumed;  // bytes of the message when Complete
  // TooLarge because of the body the head announces, not because of the head itself.
  bool bodyTooLarge = false;
};

// A header block larger than this is refused: nothing the client library sends comes close.
constexpr size_t kMaxHeaderBlock = 16384;
constexpr size_t kMaxRequestBody = 1 << 20;

// Parses one request from the start of bytes. Lines must end in CRLF; a bare LF or CR, a header
// line without a name and colon, folded lines, NUL bytes, unknown versions and a second
// Content-Length (two lengths leave the end of the body to whoever reads it) are Invalid. A body
// announced longer than largestBody is TooLarge before any of it has arrived.
ParseResult parseRequest(std::string_view bytes, HttpRequest& out, size_t largestBody = kMaxRequestBody);

struct HttpResponseHead {
  std::string version;
  int status = 0;
  std::string reason;
  std::vector<Header> headers;

  const std::string* header(std::string_view name) const { return findHeader(headers, name); }
};

// Parses an answer's status line and headers; consumed is the length of the head.
ParseResult parseResponseHead(std::string_view bytes, HttpResponseHead& out);

const char* reasonPhrase(int status);
// Status line, the given headers and the blank line.
std::string formatAnswerHead(std::string_view version, int status, const std::vector<Header>& headers);

// A "Range: bytes=..." request header against a file of fileSize bytes. Only single ranges are
// served; anything else that is not understood is Ignored and the whole file is sent.
enum class RangeKind { Ignored, Satisfiable, Unsatisfiable };
struct ByteRange {
  RangeKind kind = RangeKind::Ignored;
  uint64_t first = 0;
  uint64_t last = 0;  // inclusive
};
ByteRange parseRangeHeader(std::string_view value, uint64_t fileSize);

// "bytes first-last/total" (total may be "*", given as -1); false when malformed.
bool parseContentRange(std::string_view value, int64_t* first, int64_t* last, int64_t* total);

// A non-negative decimal that fills the whole text; false on anything else or on overflow.
bool parseDecimal(std::string_view text, uint64_t* value);

}  // namespace web

#endif
