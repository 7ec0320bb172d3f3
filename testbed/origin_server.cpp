#include "testbed/origin_server.h"

#include <stdio.h>

#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "web/error_text.h"
#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {
namespace {

constexpr size_t kChunk = 256 * 1024;

Answer plain(int status, std::string body) {
  Answer answer;
  answer.status = status;
  answer.headers.push_back({"Content-Type", "text/plain"});
  answer.body = std::move(body);
  return answer;
}

// Sends length bytes of the file from offset, pacing them to the throttle when there is one; with
// a silence, stops after silentAfter bytes and waits (until the silence ends or silent() turns
// false) before giving up the connection.
bool streamFile(const std::filesystem::path& file, uint64_t offset, uint64_t length, uint64_t bytesPerSecond,
                const BodySink& sink, std::optional<uint64_t> silentAfter = std::nullopt, int silenceMs = 0,
                const std::function<bool()>& stopping = nullptr) {
  std::ifstream in(file, std::ios::binary);
  if (!in.seekg(static_cast<std::streamoff>(offset))) return false;
  // Throttled pieces are a tenth of a second's worth, so the pace is smooth.
  size_t piece = kChunk;
  if (bytesPerSecond > 0 && bytesPerSecond / 10 < piece) piece = bytesPerSecond / 10 > 0 ? bytesPerSecond / 10 : 1;
  std::vector<char> buffer(piece);
  auto started = std::chrono::steady_clock::now();
  uint64_t sent = 0;
  while (sent < length) {
    if (silentAfter && sent >= *silentAfter) {
      for (int waited = 0; waited < silenceMs && !(stopping && stopping()); waited += 50) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
      return false;
    }
    size_t count = length - sent < piece ? static_cast<size_t>(length - sent) : piece;
    if (silentAfter && sent < *silentAfter && *silentAfter - sent < count) count = static_cast<size_t>(*silentAfter - sent);
    if (!in.read(buffer.data(), static_cast<std::streamsize>(count))) return false;
    if (bytesPerSecond > 0) {
      auto due = started + std::chrono::microseconds(sent * 1000000 / bytesPerSecond);
      std::this_thread::sleep_until(due);
    }
    if (!sink(std::string_view(buffer.data(), count))) return false;
    sent += count;
  }
  return true;
}

// A strong entity tag from the file's size and modification time: any rewrite of the file gives
// another one.
std::string entityTagOf(const std::filesystem::path& file, uint64_t size) {
  std::error_code error;
  auto modified = std::filesystem::last_write_time(file, error);
  const long long stamp = error ? 0 : static_cast<long long>(modified.time_since_epoch().count());
  char text[64];
  snprintf(text, sizeof text, "\"%llx-%llx\"", static_cast<unsigned long long>(size),
           static_cast<unsigned long long>(stamp));
  return text;
}

}  // namespace

std::optional<std::filesystem::path> resolveUnderRoot(const std::filesystem::path& root, std::string_view requestPath) {
  std::string decoded = percentDecode(requestPath);
  if (decoded.empty() || decoded.front() != '/' || decoded.find('\0') != std::string::npos ||
      decoded.find('\\') != std::string::npos) {
    return std::nullopt;
  }
  std::filesystem::path file = root;
  size_t at = 1;
  while (at <= decoded.size()) {
    size_t slash = decoded.find('/', at);
    std::string part = decoded.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    at = slash == std::string::npos ? decoded.size() + 1 : slash + 1;
    if (part.empty() || part == ".") continue;
    if (part == ".." || part.find(':') != std::string::npos) return std::nullopt;
    try {
      file /= std::filesystem::u8path(part);
    } catch (const std::exception&) {
      return std::nullopt;  // not UTF-8: no such file name on Windows
    }
  }
  // A link inside the folder must not lead out of it either.
  std::error_code error;
  auto canonicalRoot = std::filesystem::canonical(root, error);
  if (error) return std::nullopt;
  auto canonicalFile = std::filesystem::canonical(file, error);
  if (error || !std::filesystem::is_regular_file(canonicalFile, error)) return std::nullopt;
  auto rootText = canonicalRoot.generic_u8string();
  auto fileText = canonicalFile.generic_u8string();
  if (fileText.size() <= rootText.size() || fileText.compare(0, rootText.size(), rootText) != 0 ||
      (rootText.back() != '/' && fileText[rootText.size()] != '/')) {
    return std::nullopt;
  }
  return canonicalFile;
}

static ServerLimits limitsWithSendBuffer(int bytes) {
  ServerLimits limits;
  limits.sendBufferBytes = bytes;
  return limits;
}

OriginServer::OriginServer(OriginOptions options)
    : options_(std::move(options)),
      silentBodiesLeft_(options_.silentBodies),
      log_(options_.logPath),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); },
              limitsWithSendBuffer(options_.sendBufferBytes)) {}

bool OriginServer::start(uint16_t port, std::string* error) {
  if (!log_.usable(error)) return false;
  if (!std::filesystem::is_directory(options_.root)) return failWith(error, "no such folder: " + options_.root.u8string());
  return server_.start(port, error);
}

Answer OriginServer::handle(const HttpRequest& request, uint64_t connectionId) {
  log_.record(request, connectionId);
  if (request.method != "GET" && request.method != "HEAD") {
    Answer refusal = plain(405, "Method not allowed\n");
    refusal.headers.push_back({"Allow", "GET, HEAD"});
    return refusal;
  }
  auto redirect = options_.redirects.find(request.path);
  if (redirect != options_.redirects.end()) {
    Answer moved = plain(302, "Found\n");
    moved.headers.push_back({"Location", redirect->second});
    return moved;
  }
  std::optional<std::filesystem::path> file = resolveUnderRoot(options_.root, request.path);
  std::error_code error;
  uint64_t size = file ? std::filesystem::file_size(*file, error) : 0;
  if (!file || error) return plain(404, "Not found\n");

  Answer answer;
  answer.headers.push_back({"Content-Type", "application/octet-stream"});
  answer.headers.push_back({"Accept-Ranges", "bytes"});
  const std::string entityTag = entityTagOf(*file, size);
  answer.headers.push_back({"ETag", entityTag});
  uint64_t first = 0;
  uint64_t length = size;
  // A range is served only for the version the client names in If-Range; for any other, the
  // whole file, so that a client never splices two versions together.
  const std::string* ifRange = request.header("If-Range");
  const bool sameVersion = ifRange == nullptr || *ifRange == entityTag || !options_.honourIfRange;
  const std::string* rangeHeader = sameVersion && !options_.ignoreRanges ? request.header("Range") : nullptr;
  if (rangeHeader != nullptr) {
    ByteRange range = parseRangeHeader(*rangeHeader, size);
    if (range.kind == RangeKind::Unsatisfiable) {
      Answer refusal = plain(416, "");
      refusal.headers.push_back({"Content-Range", "bytes */" + std::to_string(size)});
      return refusal;
    }
    if (range.kind == RangeKind::Satisfiable) {
      answer.status = 206;
      first = range.first;
      length = range.last - range.first + 1;
      answer.headers.push_back({"Content-Range", "bytes " + std::to_string(range.first) + "-" +
                                                     std::to_string(range.last) + "/" + std::to_string(size)});
    }
  }
  // A body counts against the cap from here until the answer is gone.
  if (++bodiesUnderWay_ > options_.maxBodiesAtOnce && options_.maxBodiesAtOnce > 0) {
    --bodiesUnderWay_;
    ++busyAnswers_;
    Answer busy = plain(503, "Too many connections\n");
    busy.headers.push_back({"Retry-After", std::to_string(options_.retryAfterSeconds)});
    return busy;
  }
  std::shared_ptr<void> counted(nullptr, [this](void*) { --bodiesUnderWay_; });
  std::optional<uint64_t> silentAfter;
  if (silentBodiesLeft_.fetch_sub(1) > 0) silentAfter = options_.silentAfterBytes;
  answer.streamLength = length;
  uint64_t throttle = options_.throttleBytesPerSecond;
  std::filesystem::path path = *file;
  const int silenceMs = options_.silenceMs;
  answer.streamBody = [this, counted, path, first, length, throttle, silentAfter, silenceMs](const BodySink& sink) {
    const BodySink counted = [this, &sink](std::string_view piece) {
      if (!sink(piece)) return false;
      bytesSent_ += piece.size();
      return true;
    };
    return streamFile(path, first, length, throttle, counted, silentAfter, silenceMs, [this] { return stopping_.load(); });
  };
  return answer;
}

}  // namespace testbed
