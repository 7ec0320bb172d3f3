// game-server's request log: one JSON line per request served, of bounded length whatever the
// client sends ({"time","connection","client","method","path","target","agent","bytes","body"},
// each text cut to 256 bytes; no other header, so no password), in a file that is renamed to
// FILE.1 (FILE.1 to FILE.2, and so on) once it reaches its size, keeping a bounded number of old
// files. So the log's room on the disk is bounded by its settings, not by the clients.
#ifndef PUBLISHER_ACCESS_LOG_H
#define PUBLISHER_ACCESS_LOG_H

#include <stdint.h>
#include <stdio.h>

#include <mutex>
#include <string>

#include "publisher/fault_log.h"
#include "web/http_message.h"

namespace publisher {

struct AccessLogLimits {
  uint64_t fileBytes = 16 << 20;  // a file is rotated before it grows past this
  int oldFiles = 4;               // FILE.1 ... FILE.oldFiles are kept
};

// The log line of one request.
std::string accessLogLine(const web::HttpRequest& request, uint64_t connection, const std::string& client);

class AccessLog {
 public:
  // An empty path keeps no log. Write failures are told through faults.
  AccessLog(std::string path, AccessLogLimits limits, FaultLog& faults);
  ~AccessLog();
  AccessLog(const AccessLog&) = delete;
  AccessLog& operator=(const AccessLog&) = delete;

  // False when a path was given but the file cannot be opened for appending; then error says why.
  bool usable(std::string* error) const;
  void record(const web::HttpRequest& request, uint64_t connection, const std::string& client);

 private:
  void rotateLocked();

  std::string path_;
  AccessLogLimits limits_;
  FaultLog& faults_;
  std::mutex mutex_;
  FILE* file_ = nullptr;
  uint64_t size_ = 0;
};

}  // namespace publisher

#endif
