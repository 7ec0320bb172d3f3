#include "service/downloader.h"

#include <algorithm>
#include <vector>

#include "service/web_plumbing.h"
#include "web/http_message.h"
#include "service/origin_connection.h"
#include "service/rate_budget.h"

namespace svc {
namespace {

constexpr int kMaxRedirects = 5;

bool isRedirect(int status) { return status == 301 || status == 302 || status == 303 || status == 307 || status == 308; }

FetchOutcome outcome(FetchResult result, int status, std::string detail, int64_t onDisk) {
  return {result, status, std::move(detail), onDisk};
}

FetchOutcome writeFailure(TargetProblem problem, const TargetFile& file, int status, int64_t onDisk) {
  FetchOutcome failed = outcome(FetchResult::WriteFailed, status, "", onDisk);
  failed.writeProblem = problem;
  failed.systemCode = file.LastSystemCode();
  return failed;
}

}  // namespace

// A URL as it may go on the wire: the bytes of an IRI (a configuration may name a file as it is,
// in UTF-8) and spaces percent-encoded, everything else as it stands.
std::string wireUrl(std::string_view url) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string wire;
  for (char c : url) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80 || byte == ' ') {
      wire += '%';
      wire += kDigits[byte >> 4];
      wire += kDigits[byte & 0xF];
    } else {
      wire += c;
    }
  }
  return wire;
}

std::string validatorOf(const HttpResponseHead& answer) {
  const std::string* tag = answer.header("ETag");
  if (tag != nullptr && tag->size() >= 2 && tag->front() == '"') return *tag;
  const std::string* modified = answer.header("Last-Modified");
  return modified != nullptr ? *modified : std::string();
}

std::optional<HttpUrl> parseHttpUrl(std::string_view url) {
  HttpUrl parsed;
  std::string_view rest;
  constexpr std::string_view kPlain = "http://";
  constexpr std::string_view kSecure = "https://";
  if (url.size() > kPlain.size() && equalsIgnoringCase(url.substr(0, kPlain.size()), kPlain)) {
    rest = url.substr(kPlain.size());
  } else if (url.size() > kSecure.size() && equalsIgnoringCase(url.substr(0, kSecure.size()), kSecure)) {
    rest = url.substr(kSecure.size());
    parsed.secure = true;
    parsed.port = 443;
  } else {
    return std::nullopt;
  }
  size_t slash = rest.find('/');
  std::string_view authority = rest.substr(0, slash);
  parsed.target = slash == std::string_view::npos ? "/" : std::string(rest.substr(slash));
  size_t colon = authority.find(':');
  parsed.host = std::string(authority.substr(0, colon));
  if (colon != std::string_view::npos) {
    uint64_t port = 0;
    if (!parseDecimal(authority.substr(colon + 1), &port) || port == 0 || port > 65535) return std::nullopt;
    parsed.port = static_cast<uint16_t>(port);
  }
  if (parsed.host.empty() || parsed.host.find_first_of(" @\\?#") != std::string::npos ||
      parsed.target.find_first_of(" \r\n") != std::string::npos || url.find('\0') != std::string_view::npos) {
    return std::nullopt;
  }
  return parsed;
}

std::optional<std::string> redirectTarget(const std::string& from, const std::string& location) {
  if (parseHttpUrl(location)) return location;
  std::optional<HttpUrl> origin = parseHttpUrl(from);
  if (!origin || location.empty() || location[0] != '/' || (location.size() > 1 && location[1] == '/')) {
    return std::nullopt;
  }
  std::string target = (origin->secure ? "https://" : "http://") + origin->host;
  if (origin->port != (origin->secure ? 443 : 80)) target += ":" + std::to_string(origin->port);
  target += location;
  if (!parseHttpUrl(target)) return std::nullopt;
  return target;
}

std::string rangeHeaderValue(const OriginRequest& request) {
  if (request.resumeFrom <= 0 && request.rangeEnd < 0) return std::string();
  std::string value = "bytes=" + std::to_string(request.resumeFrom) + "-";
  if (request.rangeEnd > request.resumeFrom) value += std::to_string(request.rangeEnd - 1);
  return value;
}

static int retryAfterSeconds(const HttpResponseHead& answer) {
  const std::string* value = answer.header("Retry-After");
  uint64_t seconds = 0;
  if (value == nullptr || !parseDecimal(*value, &seconds)) return 0;
  return static_cast<int>(std::min<uint64_t>(seconds, 24 * 3600));
}

FetchOutcome fetchIntoFile(const std::string& url, TargetFile& file, int64_t resumeFrom, const KnownVersion& known,
                           const FetchHooks& hooks, const FetchSettings& settings) {
  const bool segment = static_cast<bool>(hooks.rangeEnd);
  OriginRequest request;
  request.url = wireUrl(url);
  request.resumeFrom = resumeFrom;
  if (segment) request.rangeEnd = hooks.rangeEnd();
  // A validator from an origin's answer never holds a line break (the head parser refuses them).
  if (resumeFrom > 0 || segment) request.ifRange = known.validator;
  OriginOpened opened;
  for (int hops = 0;; ++hops) {
    opened = openOrigin(request, hooks, settings);
    if (!opened.exchange) return outcome(opened.failure, 0, opened.detail, resumeFrom);
    const int status = opened.head.status;
    if (!isRedirect(status)) break;
    const std::string* location = opened.head.header("Location");
    std::optional<std::string> next = location != nullptr ? redirectTarget(request.url, *location) : std::nullopt;
    if (!next) return outcome(FetchResult::BadAnswer, status, "the origin's redirect leads nowhere", resumeFrom);
    if (hops == kMaxRedirects) return outcome(FetchResult::BadAnswer, status, "too many redirects", resumeFrom);
    if (parseHttpUrl(request.url)->secure && !parseHttpUrl(*next)->secure) {
      return outcome(FetchResult::BadAnswer, status, "a redirect from https to http was refused", resumeFrom);
    }
    request.url = wireUrl(*next);
  }
  OriginExchange& exchange = *opened.exchange;
  const HttpResponseHead& response = opened.head;

  int status = response.status;
  int64_t start = 0;
  int64_t total = -1;
  const std::string* contentLength = response.header("Content-Length");
  uint64_t bodyLength = 0;
  bool lengthKnown = contentLength != nullptr && parseDecimal(*contentLength, &bodyLength);
  if (status == 404 || status == 410) return outcome(FetchResult::NotFound, status, "not found at the origin", resumeFrom);
  if (status == 401 || status == 403) return outcome(FetchResult::Forbidden, status, "refused by the origin", resumeFrom);
  if (status == 429 || status == 503) {
    FetchOutcome busy = outcome(FetchResult::Busy, status, "the origin is busy (" + std::to_string(status) + ")", resumeFrom);
    busy.retryAfterSeconds = retryAfterSeconds(response);
    return busy;
  }
  if (status == 416 && !segment) {
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
    if (range == nullptr || !parseContentRange(*range, &first, &last, &total) || first != resumeFrom ||
        (segment && last != request.rangeEnd - 1)) {
      return outcome(FetchResult::RangeRefused, status, "the origin answered another range", resumeFrom);
    }
    // The rest of another version would splice two files together: start again from zero.
    const std::string validator = validatorOf(response);
    if ((!known.validator.empty() && !validator.empty() && validator != known.validator) ||
        (known.size >= 0 && total >= 0 && total != known.size) ||
        (segment && (validator.empty() || validator != known.validator || total != known.size))) {
      return outcome(FetchResult::RangeRefused, status, "the file changed at the origin", resumeFrom);
    }
    start = first;
    if (!lengthKnown) {
      bodyLength = static_cast<uint64_t>(last - first + 1);
      lengthKnown = true;
    }
  } else if (status == 200 && !segment) {
    start = 0;
    if (lengthKnown) total = static_cast<int64_t>(bodyLength);
  } else if (status == 200 || status == 416) {
    // A segment is a range of one version or nothing: anything else starts the file over.
    return outcome(FetchResult::RangeRefused, status, "the origin did not answer the range", resumeFrom);
  } else {
    return outcome(FetchResult::BadAnswer, status, "the origin answered " + std::to_string(status), resumeFrom);
  }
  if (!segment) {
    if (hooks.versionKnown) hooks.versionKnown(validatorOf(response));
    if (total >= 0 && hooks.sizeKnown) hooks.sizeKnown(total);
  }

  // A whole file replaces what was there; a range continues the bytes before it.
  if (start == 0 && !segment) {
    if (TargetProblem problem = file.Truncate(0); problem != TargetProblem::None) {
      return writeFailure(problem, file, status, start);
    }
  }
  if (!segment) {
    // The rest goes in segments from where this answer would have been written (0 for a whole
    // file, whose old bytes were just dropped).
    const std::string* ranges = response.header("Accept-Ranges");
    const bool servesRanges = status == 206 || (ranges != nullptr && equalsIgnoringCase(*ranges, "bytes"));
    if (servesRanges && total >= 0 && !validatorOf(response).empty() && hooks.wantsSegments &&
        hooks.wantsSegments(total)) {
      return outcome(FetchResult::Split, status, "", start);
    }
  }
  std::vector<char> buffer(static_cast<size_t>(kFetchReadChunk));
  int64_t onDisk = start;
  uint64_t bodyReceived = 0;
  while (!lengthKnown || bodyReceived < bodyLength) {
    // A segment whose second half another connection took ends early.
    if (segment && onDisk >= hooks.rangeEnd()) return outcome(FetchResult::Complete, status, "", onDisk);
    size_t count = 0;
    // Under a speed limit, only what the budget grants is read; the rest waits in the network.
    size_t allowed = buffer.size();
    if (settings.budget != nullptr) {
      allowed = static_cast<size_t>(settings.budget->acquire(static_cast<int64_t>(buffer.size()), hooks.keepGoing,
                                                             std::chrono::milliseconds(settings.pollMs)));
      if (allowed == 0) return outcome(FetchResult::Stopped, status, "stopped", onDisk);
    }
    OriginRead read = exchange.readSome(buffer.data(), allowed, &count);
    if (settings.budget != nullptr) settings.budget->giveBack(static_cast<int64_t>(allowed - std::min(allowed, count)));
    if (read == OriginRead::Stopped) return outcome(FetchResult::Stopped, status, "stopped", onDisk);
    if (read == OriginRead::End && !lengthKnown) break;
    if (read != OriginRead::Data) {
      return outcome(FetchResult::ConnectionLost, status, "the origin connection was lost", onDisk);
    }
    if (lengthKnown && bodyReceived + count > bodyLength) count = static_cast<size_t>(bodyLength - bodyReceived);
    bodyReceived += count;
    if (segment) count = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(count), hooks.rangeEnd() - onDisk));
    if (TargetProblem problem = file.Write(onDisk, buffer.data(), count); problem != TargetProblem::None) {
      return writeFailure(problem, file, status, onDisk);
    }
    onDisk += static_cast<int64_t>(count);
    if (hooks.bytesWritten) hooks.bytesWritten(onDisk, count);
  }
  if (!lengthKnown && hooks.sizeKnown) hooks.sizeKnown(onDisk);
  return outcome(FetchResult::Complete, status, "", onDisk);
}

}  // namespace svc
