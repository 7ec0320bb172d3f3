// One attempt at fetching a file into a local file: a GET of the URL (following up to five
// redirects), with
// "Range: bytes=N-" when N bytes are already on disk. 206 appends at N, 200 rewrites the file
// from its start. A resume names the version whose bytes are on disk ("If-Range"), so that an
// origin whose file has changed sends the new one whole; an answer for another version or size
// than the one on disk is refused rather than appended. The caller (the service's per-file
// worker) owns retries and status; the platform's HTTP stack (origin_connection.h) carries the
// exchange.
#ifndef SERVICE_DOWNLOADER_H
#define SERVICE_DOWNLOADER_H

#include <stdint.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "service/fetch_abort.h"
#include "service/target_file.h"
#include "service/web_plumbing.h"
#include "web/http_message.h"

namespace svc {

class RateBudget;

struct HttpUrl {
  bool secure = false;  // https
  std::string host;
  uint16_t port = 80;
  std::string target;  // from the first "/" on; "/" when the URL has no path
};

// "http://host[:port][/path]" or "https://..."; nothing for any other scheme, an empty host, a
// bad port or characters that cannot stand in a request line.
std::optional<HttpUrl> parseHttpUrl(std::string_view url);

enum class FetchResult {
  Complete,        // every byte of the file is on disk
  Stopped,         // the caller asked to stop
  ConnectFailed,   // the origin could not be reached
  ConnectionLost,  // the connection broke or went silent before the end
  NotFound,        // 404 or 410
  Forbidden,       // 401 or 403
  RangeRefused,    // the origin cannot continue from the bytes on disk: start again from 0
  BadAnswer,       // another status, or an answer that cannot be read
  WriteFailed,     // the local file cannot be opened or written
  Busy,            // 429 or 503: the origin asks to come back later (retryAfterSeconds), or with fewer connections
  Split,           // the origin serves ranges of this version and the caller fetches it in segments: nothing written
};

// What is known of the version whose first bytes are on disk: its validator (a strong ETag, else
// Last-Modified) and total size; empty and -1 when unknown.
struct KnownVersion {
  std::string validator;
  int64_t size = -1;
};

// Where a redirect's Location leads from the URL that was answered with it: an absolute http or
// https URL as it stands, a path ("/...") on the same origin; nothing for anything else.
std::optional<std::string> redirectTarget(const std::string& from, const std::string& location);

// A URL as it may go on the wire: the bytes of an IRI (a configuration may name a file as it is,
// in UTF-8) and spaces percent-encoded, everything else as it stands.
std::string wireUrl(std::string_view url);

// The validator of an answer: its ETag when strong, else its Last-Modified, else empty.
std::string validatorOf(const HttpResponseHead& answer);

struct FetchHooks {
  // The file's total size, once the origin has told it.
  std::function<void(int64_t totalSize)> sizeKnown;
  // The validator of the version being written, before its first byte is (empty when the origin
  // gives none).
  std::function<void(const std::string& validator)> versionKnown;
  // After each write: the bytes now on disk and how many were just added.
  std::function<void(int64_t onDisk, uint64_t added)> bytesWritten;
  // Asked between reads; false stops the fetch. It may block (a stalled file waits in here).
  std::function<bool()> keepGoing;
  // Set by the caller to be able to interrupt a read that blocks in the platform's HTTP stack.
  FetchAbort* abort = nullptr;
  // Asked once an answer shows that the origin serves ranges (a 206, or "Accept-Ranges: bytes")
  // of a version with a validator: true when the caller would rather fetch the file in segments
  // (the fetch then ends with Split, nothing written). Each segment's answer proves the ranges.
  std::function<bool(int64_t totalSize)> wantsSegments;
  // Set for the fetch of one segment: where it ends (one past its last byte). It is asked before
  // each write, since another connection may take the second half of the segment meanwhile.
  // Only a 206 of exactly the range asked, of the known version and size, is written.
  std::function<int64_t()> rangeEnd;
};

// The most a fetch reads (and writes) at once.
constexpr int64_t kFetchReadChunk = 1024 * 1024;

struct FetchSettings {
  std::string userAgent = "Tessel Download Service";
  int silenceLimitMs = 30000;  // no byte for this long counts as a lost connection
  int pollMs = 200;            // how often keepGoing is asked while waiting for bytes
  // The player's speed limit, shared by every connection of every file; not owned. Null: none.
  RateBudget* budget = nullptr;
};

struct FetchOutcome {
  FetchResult result;
  int httpStatus = 0;
  std::string detail;  // a readable reason for anything but Complete
  int64_t onDisk = 0;
  // For WriteFailed: what kept the bytes from the file, and the system's code for it.
  TargetProblem writeProblem = TargetProblem::None;
  uint32_t systemCode = 0;
  // For Busy: the seconds the origin's Retry-After asked for (0 when it named none, or a date).
  int retryAfterSeconds = 0;
};

// Fetches url into file from byte resumeFrom on (the file's bytes before it are kept).
FetchOutcome fetchIntoFile(const std::string& url, TargetFile& file, int64_t resumeFrom, const KnownVersion& known,
                           const FetchHooks& hooks, const FetchSettings& settings);

}  // namespace svc

#endif
