#include "publisher/access_log.h"

#include <errno.h>
#include <string.h>

#include <chrono>
#include <filesystem>

#include "web/json_writer.h"
#include "web/request_log.h"

namespace publisher {
namespace {

constexpr size_t kLongestLogged = 256;

// The text cut to the bound at a UTF-8 character's start, marked when cut.
std::string bounded(const std::string& text) {
  if (text.size() <= kLongestLogged) return text;
  size_t cut = kLongestLogged;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

FILE* openForAppend(const std::string& path, uint64_t* size) {
  FILE* file = fopen(path.c_str(), "ab");
  if (file == nullptr) return nullptr;
  std::error_code ignored;
  *size = std::filesystem::file_size(path, ignored);
  if (ignored) *size = 0;
  return file;
}

}  // namespace

std::string accessLogLine(const web::HttpRequest& request, uint64_t connection, const std::string& client) {
  web::JsonWriter json;
  json.beginObject();
  json.key("time").string(web::formatUtcTime(std::chrono::system_clock::now()));
  json.key("connection").number(static_cast<int64_t>(connection));
  json.key("client").string(bounded(client));
  json.key("method").string(bounded(request.method));
  json.key("path").string(bounded(request.path));
  json.key("target").string(bounded(request.target));
  if (const std::string* agent = request.header("User-Agent")) json.key("agent").string(bounded(*agent));
  json.key("bytes").number(static_cast<int64_t>(request.body.size()));
  if (!request.body.empty()) json.key("body").string(bounded(request.body));
  json.endObject();
  return json.text();
}

AccessLog::AccessLog(std::string path, AccessLogLimits limits, FaultLog& faults)
    : path_(std::move(path)), limits_(limits), faults_(faults) {
  if (!path_.empty()) file_ = openForAppend(path_, &size_);
}

AccessLog::~AccessLog() {
  if (file_ != nullptr) fclose(file_);
}

bool AccessLog::usable(std::string* error) const {
  if (path_.empty() || file_ != nullptr) return true;
  if (error != nullptr) *error = "cannot open the request log " + path_;
  return false;
}

void AccessLog::record(const web::HttpRequest& request, uint64_t connection, const std::string& client) {
  if (path_.empty()) return;
  std::string line = accessLogLine(request, connection, client);
  line.push_back('\n');
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_ != nullptr && size_ + line.size() > limits_.fileBytes) rotateLocked();
  if (file_ == nullptr) {
    file_ = openForAppend(path_, &size_);
    if (file_ == nullptr) {
      faults_.report("cannot write the request log", path_ + ": " + strerror(errno));
      return;
    }
  }
  if (fwrite(line.data(), 1, line.size(), file_) != line.size() || fflush(file_) != 0) {
    faults_.report("cannot write the request log", path_ + ": " + strerror(errno));
    // What was half written stays; the next line starts a line of its own.
    clearerr(file_);
    fputc('\n', file_);
  }
  size_ += line.size();
}

void AccessLog::rotateLocked() {
  fclose(file_);
  file_ = nullptr;
  std::error_code ignored;
  if (limits_.oldFiles <= 0) {
    std::filesystem::remove(path_, ignored);
  } else {
    std::filesystem::remove(path_ + "." + std::to_string(limits_.oldFiles), ignored);
    for (int n = limits_.oldFiles - 1; n >= 1; --n) {
      std::filesystem::rename(path_ + "." + std::to_string(n), path_ + "." + std::to_string(n + 1), ignored);
    }
    std::filesystem::rename(path_, path_ + ".1", ignored);
  }
  file_ = openForAppend(path_, &size_);
}

}  // namespace publisher
