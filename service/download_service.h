// The download service's core: answers the local HTTP API that the client library drives
// (ping, getFileAttributes, downloadFile, pauseFile, deleteFile, getClientAttributes) and really
// downloads each file it is given, in the background, from the file's http:// URL. It keeps its
// file list in a state folder, logs every request, and can be told to misbehave.
#ifndef SERVICE_DOWNLOAD_SERVICE_H
#define SERVICE_DOWNLOAD_SERVICE_H

#include <stdint.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "service/downloader.h"
#include "service/drive_map.h"
#include "service/file_registry.h"
#include "service/host_connections.h"
#include "service/web_plumbing.h"
#include "web/http_server.h"
#include "service/keep_awake.h"
#include "web/query.h"
#include "service/rate_meter.h"
#include "service/segmented_fetch.h"
#include "service/service_hooks.h"
#include "service/target_file.h"
#include "web/request_log.h"

namespace svc {

constexpr char kServiceApiVersion[] = "capi_1.8.0.5";

struct ServiceOptions {
  std::filesystem::path stateDir;
  std::string logPath;  // empty: no request log
  DriveMap drives;
  // How long a file waits after a failed attempt (origin unreachable, connection lost, 404); the
  // wait doubles with each failed attempt in a row that brought no byte, up to longestRetryDelay.
  std::chrono::milliseconds retryDelay{1000};
  std::chrono::milliseconds longestRetryDelay{60000};
  // The client library's data folder, where it records the EULA acceptance (accepteula.txt) and
  // the upload pause (user.dat). Empty: the EULA counts as accepted and uploads are not paused.
  std::filesystem::path libraryDataDir;
  FetchSettings fetch;
  // How large files are fetched over several connections (segmented_fetch.h).
  SegmentSettings segments;
  // The most connections to one origin host across all files.
  int connectionsPerHost = 6;
  // Whether a downloadFile naming a place new for that file, and a deleteFile that removes the
  // bytes on disk, must first be answered through the write challenge (the library's answer
  // proves the caller can write there). Off, only the test controls ask for it.
  bool challengeNewPaths = true;
  // What one client may hold of the API: the library keeps one connection and polls it about
  // once a second, so a minute of silence means it has gone.
  ServerLimits limits{std::chrono::seconds(60), std::chrono::seconds(10), 64};
  // Test controls; not owned, and must outlive the service. Empty: the service behaves as shipped.
  ServiceHooks* hooks = nullptr;
  // Asks the system to stay awake (true) while any file is being fetched, and lets it sleep again
  // (false) when none is. Empty: nothing is asked.
  KeepAwake::Request keepAwake;
  // Whether only programs of the service's own user may use the API: 127.0.0.1 is every
  // account's, and another account's program must not make this user's service write anywhere.
  // A connection from another account, or from a program the system cannot name, is answered 403
  // and closed before anything is read from it.
  bool onlyOwnUser = true;
  // How long a file's local file may stay in use by another program (a scanner, an installer still
  // running) before the file reports it; it is tried again all the while.
  std::chrono::milliseconds fileInUsePatience{30000};
  // How long start keeps trying to bind a port that is in use. Windows refuses to bind a port
  // exclusively again while connections of the last listener on it linger in TIME_WAIT, which
  // the API's short connections leave behind; a service restarted at once must wait them out.
  std::chrono::milliseconds bindPatience{0};
};

class DownloadService {
 public:
  explicit DownloadService(ServiceOptions options);
  ~DownloadService();
  DownloadService(const DownloadService&) = delete;
  DownloadService& operator=(const DownloadService&) = delete;

  // Reads the file list from the state folder, listens on 127.0.0.1:port (0 picks one) and
  // resumes every unfinished file that is not paused. On failure, error says why.
  bool start(uint16_t port, std::string* error);
  uint16_t port() const { return server_.port(); }
  // Stops answering and every download; the bytes on disk and the file list stay.
  void stop();
  // Stops every download and keeps the file list, for a process about to end: the API's
  // connections end with the process (waiting for their threads could hang on a peer).
  void stopDownloads();

 private:
  struct TrackedFile;
  struct Worker;
  struct ChallengeStep {
    bool accepted;
    std::string refusal;  // the text to answer under the URL when not accepted
  };

  Answer handle(const HttpRequest& request, uint64_t connectionId);
  Answer answerApi(const QueryParams& params);
  static Answer controlAnswer(const std::string& refusal);
  Answer fileAttributes(const std::string& url);
  Answer downloadFile(const std::string& url, const QueryParams& params);
  Answer pauseFile(const std::string& url);
  Answer deleteFile(const std::string& url, const QueryParams& params);
  Answer clientAttributes();

  std::shared_ptr<TrackedFile> find(const std::string& url);
  ChallengeStep challenge(const std::string& function, const std::string& url, const std::filesystem::path& file);
  std::filesystem::path defaultLocation(const std::string& url) const;
  uint64_t currentRate(TrackedFile& file, RateMeter::Clock::time_point now);
  // Both need operationsMutex_ held.
  void startWorker(const std::shared_ptr<TrackedFile>& file);
  void stopWorker(TrackedFile& file);
  void runDownload(std::shared_ptr<TrackedFile> file, Worker* worker);
  void setPhase(TrackedFile& file, const char* phase, const FetchOutcome& outcome);
  // One attempt at the file: over one connection, or, for a large file whose origin serves
  // ranges, over several (then *segmented is true). resumeFrom receives where a one-connection
  // fetch began.
  FetchOutcome fetchAttempt(const std::shared_ptr<TrackedFile>& file, Worker* worker, TargetFile& target,
                            FetchHooks& hooks, bool* segmented, int64_t* resumeFrom);
  // Opens the file's local file for its worker (emptied for a fresh start, its tail dropped after
  // an unclean stop); null, with the problem reported once it has lasted, when it cannot be.
  std::unique_ptr<TargetFile> openTarget(TrackedFile& file, const std::filesystem::path& local,
                                         std::optional<std::chrono::steady_clock::time_point>* inUseSince);
  void reportWriteProblem(TrackedFile& file, const std::filesystem::path& local, TargetProblem problem,
                          uint32_t systemCode);
  void saveRegistry();
  // The mark a running service keeps in its state folder; left behind by an unclean stop.
  std::filesystem::path runningMark() const;
  // A line in the state folder's events.log, for what went wrong and whom to tell.
  void noteEvent(const std::string& text);

  ServiceOptions options_;
  RequestLog log_;
  ServiceHooks defaultHooks_;
  ServiceHooks& hooks_;
  FileRegistryStore store_;
  // Lock order: operationsMutex_, then saveMutex_, then stateMutex_.
  std::mutex operationsMutex_;  // serialises requests that start, stop or forget downloads
  std::mutex saveMutex_;        // one snapshot-and-write of the file list at a time
  std::mutex stateMutex_;       // the file map and every TrackedFile member except worker
  std::mutex eventsMutex_;      // one line at a time in events.log
  std::map<std::string, std::shared_ptr<TrackedFile>> files_;
  std::map<std::pair<std::string, std::string>, std::string> challenges_;  // (function, url) -> token
  std::mt19937_64 random_;
  KeepAwake keepAwake_;
  HostConnections hostConnections_;
  HttpServer server_;
};

}  // namespace svc

#endif
