#include "testbed/downloader.h"

#include <fstream>
#include <vector>

#include "testbed/http_message.h"
#include "testbed/socket_io.h"

namespace testbed {
namespace {

constexpr size_t kReadChunk = 256 * 1024;

FetchOutcome outcome(FetchResult result, int status, std::string detail, int64_t onDisk) {
  return {result, status, std::move(detail), onDisk};
}

std::string formatRequest(const HttpUrl& url, int64_t resumeFrom, const KnownVersion& known,
                          const FetchSettings& settings) {
  std::string request = "GET " + url.target + " HTTP/1.1\r\n";
  request += "Host: " + url.host + (url.port == 80 ? "" : ":" + std::to_string(url.port)) + "\r\n";
  request += "User-Agent: " + settings.userAgent + "\r\n";
  if (resumeFrom > 0) {
    request += "Range: bytes=" + std::to_string(resumeFrom) + "-\r\n";
    // A validator from an origin's answer never holds a line break (the head parser refuses them).
    if (!known.validator.empty()) request += "If-Range: " + known.validator + "\r\n";
  }
  request += "Connection: close\r\n\r\n";
  return request;
}

// Reads one piece from the origin, asking keepGoing while nothing arrives.
enum class Read { Data, End, Stopped, Lost };
Read readPiece(const Socket& socket, std::vector<char>& buffer, size_t* count, const FetchHooks& hooks,
               const FetchSettings& settings) {
  int silentMs = 0;
  for (;;) {
    if (hooks.keepGoing && !hooks.keepGoing()) return Read::Stopped;
    ReceiveResult result = socket.receiveSome(buffer.data(), buffer.size());
    if (result.status == ReceiveStatus::Data) {
      *count = result.count;
      return Read::Data;
    }
    if (result.status == ReceiveStatus::Closed) return Read::End;
    if (result.status == ReceiveStatus::Failed) return Read::Lost;
    silentMs += settings.pollMs;
    if (silentMs >= settings.silenceLimitMs) return Read::Lost;
  }
}

}  // namespace

std::string validatorOf(const HttpResponseHead& answer) {
  const std::string* tag = answer.header("ETag");
  if (tag != nullptr && tag->size() >= 2 && tag->front() == '"') return *tag;
  const std::string* modified = answer.header("Last-Modified");
  return modified != nullptr ? *modified : std::string();
}

std::optional<HttpUrl> parseHttpUrl(std::string_view url) {
  constexpr std::string_view kScheme = "http://";
  if (url.size() <= kScheme.size() || !equalsIgnoringCase(url.substr(0, kScheme.size()), kScheme)) {
    return std::nullopt;
  }
  std::string_view rest = url.substr(kScheme.size());
  size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  HttpUrl parsed;
  parsed.target = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  size_t colon = authority.find(':');
  parsed.host = std::string(authority.substr(0, colon));
  if (colon != std::string_view::npos) {
    uint64_t port = 0;
    if (!parseDecimal(authority.substr(colon + 1), &port) || port == 0 || port > 65535) return std::nullopt;
    parsed.port = static_cast<uint16_t>(port);
  }
  if (parsed.host.empty() || parsed.host.find_first_of(" @\\?#") != std::string::npos ||
      parsed.target.find_first_of(" \r\n") != std::string::npos) {
    return std::nullopt;
  }
  return parsed;
}

FetchOutcome fetchIntoFile(const HttpUrl& url, const std::filesystem::path& file, int64_t resumeFrom,
                           const KnownVersion& known, const FetchHooks& hooks, const FetchSettings& settings) {
  Socket socket = connectTo(url.host, url.port);
  if (!socket.valid()) return outcome(FetchResult::ConnectFailed, 0, "cannot connect to the origin", resumeFrom);
  socket.setReceiveTimeout(settings.pollMs);
  if (!socket.sendAll(formatRequest(url, resumeFrom, known, settings))) {
    return outcome(FetchResult::ConnectionLost, 0, "the origin closed before the request was sent", resumeFrom);
  }

  std::vector<char> buffer(kReadChunk);
  std::string head;
  HttpResponseHead response;
  for (;;) {
    ParseResult parsed = parseResponseHead(head, response);
    if (parsed.status == ParseStatus::Complete) {
      head.erase(0, parsed.consumed);
      break;
    }
    if (parsed.status != ParseStatus::Incomplete) {
      return outcome(FetchResult::BadAnswer, 0, "unreadable answer head from the origin", resumeFrom);
    }
    size_t count = 0;
    Read read = readPiece(socket, buffer, &count, hooks, settings);
    if (read == Read::Stopped) return outcome(FetchResult::Stopped, 0, "stopped", resumeFrom);
    if (read != Read::Data) {
      return outcome(FetchResult::ConnectionLost, 0, "the origin closed before answering", resumeFrom);
    }
    head.append(buffer.data(), count);
  }

  int status = response.status;
  int64_t start = 0;
  int64_t total = -1;
  const std::string* contentLength = response.header("Content-Length");
  uint64_t bodyLength = 0;
  bool lengthKnown = contentLength != nullptr && parseDecimal(*contentLength, &bodyLength);
  if (status == 404 || status == 410) return outcome(FetchResult::NotFound, status, "not found at the origin", resumeFrom);
  if (status == 401 || status == 403) return outcome(FetchResult::Forbidden, status, "refused by the origin", resumeFrom);
  if (status == 416) {
    // Everything may already be here: "Content-Range: bytes */<size>" equal to what is on disk.
    const std::string* range = response.header("Content-Range");
    std::string expected = "bytes */" + std::to_string(resumeFrom);
    if (range != nullptr && *range == expected && resumeFrom > 0) {
      if (hooks.sizeKnown) hooks.sizeKnown(resumeFrom);
      return outcome(FetchResult::Complete, status, "", resumeFrom);
    }
    return outcome(FetchResult::RangeRefused, status, "the origin refused the range", resumeFrom);
  }
  if (status == 206) {
    int64_t first = 0;
    int64_t last = 0;
    const std::string* range = response.header("Content-Range");
    if (range == nullptr || !parseContentRange(*range, &first, &last, &total) || first != resumeFrom) {
      return outcome(FetchResult::RangeRefused, status, "the origin answered another range", resumeFrom);
    }
    // The rest of another version would splice two files together: start again from zero.
    const std::string validator = validatorOf(response);
    if ((!known.validator.empty() && !validator.empty() && validator != known.validator) ||
        (known.size >= 0 && total >= 0 && total != known.size)) {
      return outcome(FetchResult::RangeRefused, status, "the file changed at the origin", resumeFrom);
    }
    start = first;
    if (!lengthKnown) {
      bodyLength = static_cast<uint64_t>(last - first + 1);
      lengthKnown = true;
    }
  } else if (status == 200) {
    start = 0;
    if (lengthKnown) total = static_cast<int64_t>(bodyLength);
  } else {
    return outcome(FetchResult::BadAnswer, status, "the origin answered " + std::to_string(status), resumeFrom);
  }
  if (hooks.versionKnown) hooks.versionKnown(validatorOf(response));
  if (total >= 0 && hooks.sizeKnown) hooks.sizeKnown(total);

  std::error_code ignored;
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path(), ignored);
  std::fstream out;
  if (start > 0) {
    out.open(file, std::ios::in | std::ios::out | std::ios::binary);
    if (out) out.seekp(start);
  } else {
    out.open(file, std::ios::out | std::ios::binary | std::ios::trunc);
  }
  if (!out) return outcome(FetchResult::WriteFailed, status, "cannot open the local file", start);

  int64_t onDisk = start;
  uint64_t bodyReceived = 0;
  auto store = [&](const char* data, size_t count) {
    if (lengthKnown && bodyReceived + count > bodyLength) count = static_cast<size_t>(bodyLength - bodyReceived);
    out.write(data, static_cast<std::streamsize>(count));
    if (!out) return false;
    bodyReceived += count;
    onDisk += static_cast<int64_t>(count);
    if (hooks.bytesWritten) hooks.bytesWritten(onDisk, count);
    return true;
  };
  if (!head.empty() && !store(head.data(), head.size())) {
    return outcome(FetchResult::WriteFailed, status, "cannot write the local file", onDisk);
  }
  while (!lengthKnown || bodyReceived < bodyLength) {
    size_t count = 0;
    Read read = readPiece(socket, buffer, &count, hooks, settings);
    if (read == Read::Stopped) {
      out.flush();
      return outcome(FetchResult::Stopped, status, "stopped", onDisk);
    }
    if (read == Read::End && !lengthKnown) break;
    if (read != Read::Data) {
      out.flush();
      return outcome(FetchResult::ConnectionLost, status, "the origin connection was lost", onDisk);
    }
    if (!store(buffer.data(), count)) {
      return outcome(FetchResult::WriteFailed, status, "cannot write the local file", onDisk);
    }
  }
  out.flush();
  if (!out) return outcome(FetchResult::WriteFailed, status, "cannot write the local file", onDisk);
  if (!lengthKnown && hooks.sizeKnown) hooks.sizeKnown(onDisk);
  return outcome(FetchResult::Complete, status, "", onDisk);
}

}  // namespace testbed
