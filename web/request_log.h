// The request log shared by the testbed's servers: one JSON line per request received, written
// before the request is answered (so requests whose connection is then dropped are logged too).
#ifndef WEB_REQUEST_LOG_H
#define WEB_REQUEST_LOG_H

#include <stdint.h>
#include <stdio.h>

#include <chrono>
#include <mutex>
#include <string>

#include "web/http_message.h"
#include "web/json_writer.h"

namespace web {

// {"time":"2024-05-01T12:00:00.123Z","connection":N,"method":...,"target":...,"path":...,
//  "function":... (when the query has one),"query":[["name","value"],["flag",null]],
//  "headers":[["Host","localhost"]],"body":... (when the request has a body or is a POST)}
std::string requestLogLine(const HttpRequest& request, uint64_t connectionId,
                           std::chrono::system_clock::time_point when);
// The members of that line, for servers that add their own members to it.
void writeRequestFields(JsonWriter& json, const HttpRequest& request, uint64_t connectionId,
                        std::chrono::system_clock::time_point when);

// ISO 8601 in UTC with milliseconds.
std::string formatUtcTime(std::chrono::system_clock::time_point when);

class RequestLog {
 public:
  // An empty path keeps no log.
  explicit RequestLog(const std::string& path);
  ~RequestLog();
  RequestLog(const RequestLog&) = delete;
  RequestLog& operator=(const RequestLog&) = delete;

  // False when a path was given but the file cannot be opened for appending; then error (when not
  // null) says so.
  bool usable(std::string* error = nullptr) const;
  void record(const HttpRequest& request, uint64_t connectionId);
  // Appends a line made by the caller (one JSON object, no line end).
  void recordLine(std::string line);

 private:
  std::string path_;
  FILE* file_ = nullptr;
  std::mutex mutex_;
};

}  // namespace web

#endif
