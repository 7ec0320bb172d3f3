#include "web/http_message.h"

#include <cstring>

namespace web {
namespace {

bool isTokenChar(char c) {
  if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
  return std::strchr("!#$%&'*+-.^_`|~", c) != nullptr && c != '\0';
}

// Finds the end of the head ("\r\n\r\n") and checks that every line ends in CRLF on the way.
// Returns the head's length including the blank line, 0 while incomplete, or npos when invalid.
size_t findHeadEnd(std::string_view bytes) {
  size_t limit = bytes.size() < kMaxHeaderBlock ? bytes.size() : kMaxHeaderBlock;
  for (size_t i = 0; i < limit; ++i) {
    char c = bytes[i];
    if (c == '\0') return std::string_view::npos;
    if (c == '\n' && (i == 0 || bytes[i - 1] != '\r')) return std::string_view::npos;
    if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] != '\n') return std::string_view::npos;
    if (c == '\n' && i >= 3 && bytes[i - 2] == '\n' && bytes[i - 3] == '\r') return i + 1;
  }
  return 0;
}

// Splits the header lines (after the first line) into name/value pairs.
bool parseHeaderLines(std::string_view lines, std::vector<Header>& headers) {
  while (!lines.empty()) {
    size_t end = lines.find("\r\n");
    std::string_view line = lines.substr(0, end);
    lines.remove_prefix(end == std::string_view::npos ? lines.size() : end + 2);
    if (line.empty()) break;
    size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) return false;
    std::string_view name = line.substr(0, colon);
    for (char c : name) {
      if (!isTokenChar(c)) return false;  // also refuses folded lines and "Name : value"
    }
    headers.push_back({std::string(name), std::string(trim(line.substr(colon + 1)))});
  }
  return true;
}

bool knownVersion(std::string_view version) { return version == "HTTP/1.0" || version == "HTTP/1.1"; }

}  // namespace

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] + 32) : a[i];
    char y = b[i] >= 'A' && b[i] <= 'Z' ? static_cast<char>(b[i] + 32) : b[i];
    if (x != y) return false;
  }
  return true;
}

const std::string* findHeader(const std::vector<Header>& headers, std::string_view name) {
  for (const auto& header : headers) {
    if (equalsIgnoringCase(header.name, name)) return &header.value;
  }
  return nullptr;
}

bool HttpRequest::keepsConnection() const {
  const std::string* connection = header("Connection");
  if (version == "HTTP/1.1") return connection == nullptr || !equalsIgnoringCase(*connection, "close");
  return connection != nullptr && equalsIgnoringCase(*connection, "keep-alive");
}

bool parseDecimal(std::string_view text, uint64_t* value) {
  if (text.empty() || text.size() > 19) return false;
  uint64_t result = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    result = result * 10 + static_cast<uint64_t>(c - '0');
  }
  *value = result;
  return true;
}

// Finds the head block at the start of bytes: true with its length and the end of its first line,
// or false with the result to give back (invalid, too large, or not all there yet).
static bool locateHead(std::string_view bytes, size_t* headLength, size_t* lineEnd, ParseResult* early) {
  *headLength = findHeadEnd(bytes);
  if (*headLength == std::string_view::npos) {
    *early = {ParseStatus::Invalid, 0};
    return false;
  }
  if (*headLength == 0) {
    *early = {bytes.size() >= kMaxHeaderBlock ? ParseStatus::TooLarge : ParseStatus::Incomplete, 0};
    return false;
  }
  *lineEnd = bytes.substr(0, *headLength).find("\r\n");
  return true;
}

ParseResult parseRequest(std::string_view bytes, HttpRequest& out, size_t largestBody) {
  size_t headLength, lineEnd;
  ParseResult early;
  if (!locateHead(bytes, &headLength, &lineEnd, &early)) return early;
  std::string_view head = bytes.substr(0, headLength);
  std::string_view requestLine = head.substr(0, lineEnd);
  size_t firstSpace = requestLine.find(' ');
  size_t secondSpace = firstSpace == std::string_view::npos ? firstSpace : requestLine.find(' ', firstSpace + 1);
  if (firstSpace == 0 || secondSpace == std::string_view::npos || secondSpace == firstSpace + 1) {
    return {ParseStatus::Invalid, 0};
  }
  HttpRequest request;
  request.method = std::string(requestLine.substr(0, firstSpace));
  request.target = std::string(requestLine.substr(firstSpace + 1, secondSpace - firstSpace - 1));
  request.version = std::string(requestLine.substr(secondSpace + 1));
  for (char c : request.method) {
    if (!isTokenChar(c)) return {ParseStatus::Invalid, 0};
  }
  if (!knownVersion(request.version) || request.target.find(' ') != std::string::npos) {
    return {ParseStatus::Invalid, 0};
  }
  if (!parseHeaderLines(head.substr(lineEnd + 2), request.headers)) return {ParseStatus::Invalid, 0};

  std::string_view target = request.target;
  if (target.rfind("http://", 0) == 0) {
    size_t slash = target.find('/', 7);
    target = slash == std::string_view::npos ? std::string_view("/") : target.substr(slash);
  }
  if (target.empty() || target.front() != '/') return {ParseStatus::Invalid, 0};
  size_t question = target.find('?');
  request.path = std::string(target.substr(0, question));
  if (question != std::string_view::npos) request.rawQuery = std::string(target.substr(question + 1));

  size_t consumed = headLength;
  if (request.header("Transfer-Encoding") != nullptr) return {ParseStatus::Invalid, 0};
  size_t lengths = 0;
  for (const Header& header : request.headers) lengths += equalsIgnoringCase(header.name, "Content-Length") ? 1 : 0;
  if (lengths > 1) return {ParseStatus::Invalid, 0};
  if (const std::string* length = request.header("Content-Length")) {
    uint64_t bodyLength = 0;
    if (!parseDecimal(*length, &bodyLength)) return {ParseStatus::Invalid, 0};
    if (bodyLength > largestBody) return {ParseStatus::TooLarge, 0, true};
    if (bytes.size() - headLength < bodyLength) return {ParseStatus::Incomplete, 0};
    request.body = std::string(bytes.substr(headLength, bodyLength));
    consumed += bodyLength;
  }
  out = std::move(request);
  return {ParseStatus::Complete, consumed};
}

ParseResult parseResponseHead(std::string_view bytes, HttpResponseHead& out) {
  size_t headLength, lineEnd;
  ParseResult early;
  if (!locateHead(bytes, &headLength, &lineEnd, &early)) return early;
  std::string_view head = bytes.substr(0, headLength);
  std::string_view statusLine = head.substr(0, lineEnd);
  // "HTTP/1.1 206 Partial Content": version, a space, three digits, then an optional reason.
  if (statusLine.size() < 12 || !knownVersion(statusLine.substr(0, 8)) || statusLine[8] != ' ') {
    return {ParseStatus::Invalid, 0};
  }
  uint64_t status = 0;
  if (!parseDecimal(statusLine.substr(9, 3), &status) || status < 100 ||
      (statusLine.size() > 12 && statusLine[12] != ' ')) {
    return {ParseStatus::Invalid, 0};
  }
  HttpResponseHead response;
  response.version = std::string(statusLine.substr(0, 8));
  response.status = static_cast<int>(status);
  if (statusLine.size() > 13) response.reason = std::string(statusLine.substr(13));
  if (!parseHeaderLines(head.substr(lineEnd + 2), response.headers)) return {ParseStatus::Invalid, 0};
  out = std::move(response);
  return {ParseStatus::Complete, headLength};
}

const char* reasonPhrase(int status) {
  switch (status) {
    case 200: return "OK";
    case 206: return "Partial Content";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 413: return "Content Too Large";
    case 416: return "Range Not Satisfiable";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Status";
  }
}

std::string formatAnswerHead(std::string_view version, int status, const std::vector<Header>& headers) {
  std::string head;
  head.append(version).append(" ").append(std::to_string(status)).append(" ").append(reasonPhrase(status));
  head.append("\r\n");
  for (const auto& header : headers) head.append(header.name).append(": ").append(header.value).append("\r\n");
  head.append("\r\n");
  return head;
}

ByteRange parseRangeHeader(std::string_view value, uint64_t fileSize) {
  ByteRange range;
  value = trim(value);
  if (value.rfind("bytes=", 0) != 0) return range;
  std::string_view rangeText = trim(value.substr(6));
  size_t dash = rangeText.find('-');
  if (dash == std::string_view::npos || rangeText.find(',') != std::string_view::npos) return range;
  std::string_view from = trim(rangeText.substr(0, dash));
  std::string_view to = trim(rangeText.substr(dash + 1));
  uint64_t first = 0;
  uint64_t last = 0;
  if (from.empty()) {
    // "bytes=-N": the last N bytes.
    if (!parseDecimal(to, &last)) return range;
    if (last == 0 || fileSize == 0) {
      range.kind = RangeKind::Unsatisfiable;
      return range;
    }
    range.kind = RangeKind::Satisfiable;
    range.first = last >= fileSize ? 0 : fileSize - last;
    range.last = fileSize - 1;
    return range;
  }
  if (!parseDecimal(from, &first)) return range;
  if (to.empty()) {
    last = fileSize == 0 ? 0 : fileSize - 1;
  } else if (!parseDecimal(to, &last) || last < first) {
    return range;
  }
  if (first >= fileSize) {
    range.kind = RangeKind::Unsatisfiable;
    return range;
  }
  range.kind = RangeKind::Satisfiable;
  range.first = first;
  range.last = last >= fileSize ? fileSize - 1 : last;
  return range;
}

bool parseContentRange(std::string_view value, int64_t* first, int64_t* last, int64_t* total) {
  value = trim(value);
  if (value.rfind("bytes ", 0) != 0) return false;
  value.remove_prefix(6);
  size_t dash = value.find('-');
  size_t slash = value.find('/');
  if (dash == std::string_view::npos || slash == std::string_view::npos || dash > slash) return false;
  uint64_t a = 0;
  uint64_t b = 0;
  uint64_t t = 0;
  if (!parseDecimal(value.substr(0, dash), &a) || !parseDecimal(value.substr(dash + 1, slash - dash - 1), &b) ||
      b < a) {
    return false;
  }
  std::string_view totalText = value.substr(slash + 1);
  if (totalText == "*") {
    *total = -1;
  } else if (parseDecimal(totalText, &t) && t > b) {
    *total = static_cast<int64_t>(t);
  } else {
    return false;
  }
  *first = static_cast<int64_t>(a);
  *last = static_cast<int64_t>(b);
  return true;
}

}  // namespace web
