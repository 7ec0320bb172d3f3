// The download service's core: answers the local HTTP API that the client library drives
// (ping, getFileAttributes, downloadFile, pauseFile, deleteFile, getClientAttributes) and really
// downloads each file it is given, in the background, from the file's http:// URL. It keeps its
// file list in a state folder, logs every request, and can be told to misbehave.
//
// Its rooms: the API's answers (api_answers) and the file workers (file_workers) around the
// shared list (file_list); this class puts them behind the HTTP server and starts and stops them.
#ifndef SERVICE_DOWNLOAD_SERVICE_H
#define SERVICE_DOWNLOAD_SERVICE_H

#include <stdint.h>

#include <filesystem>
#include <string>

#include "service/api_answers.h"
#include "service/event_notes.h"
#include "service/file_list.h"
#include "service/file_workers.h"
#include "service/port_choice.h"
#include "service/rate_budget.h"
#include "service/service_options.h"
#include "service/web_plumbing.h"
#include "web/http_server.h"
#include "web/request_log.h"

namespace svc {

class DownloadService {
 public:
  explicit DownloadService(ServiceOptions options);
  ~DownloadService();
  DownloadService(const DownloadService&) = delete;
  DownloadService& operator=(const DownloadService&) = delete;

  // Reads the file list from the state folder, listens on 127.0.0.1 on the first port of the range
  // that no other program listens on (0 picks one), records it, and resumes every unfinished file
  // that is not paused. A port nobody listens on that cannot be bound yet is tried again for the
  // bind patience. On failure, error says why.
  bool start(PortRange ports, std::string* error);
  bool start(uint16_t port, std::string* error) { return start(PortRange{port, port}, error); }
  uint16_t port() const { return server_.port(); }
  // Stops answering and every download; the bytes on disk and the file list stay.
  void stop();
  // Stops every download and keeps the file list, for a process about to end: the API's
  // connections end with the process (waiting for their threads could hang on a peer). No new
  // connection is taken from then on, and the port record goes.
  void stopDownloads();

 private:
  Answer handle(const HttpRequest& request, uint64_t connectionId);
  static Answer controlAnswer(const std::string& refusal);
  // The mark a running service keeps in its state folder; left behind by an unclean stop.
  std::filesystem::path runningMark() const;
  void recordPort();

  // The player's speed limit for everything this service fetches, unless the options bring one.
  RateBudget ownBudget_;
  ServiceOptions options_;
  RequestLog log_;
  ServiceHooks defaultHooks_;
  ServiceHooks& hooks_;
  EventNotes events_;
  FileList list_;
  FileWorkers workers_;
  ApiAnswers answers_;
  HttpServer server_;
};

}  // namespace svc

#endif
