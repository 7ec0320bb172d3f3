// The downloads behind the API: one worker thread per file being fetched, which opens the file's
// local file, fetches it (over one connection, or in segments over several), records what it
// learns in the shared list, waits longer after each attempt in a row that brought no byte, and
// ends when the file is complete or it is told to stop.
#ifndef SERVICE_FILE_WORKERS_H
#define SERVICE_FILE_WORKERS_H

#include <stdint.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>

#include "service/downloader.h"
#include "service/file_list.h"
#include "service/host_connections.h"
#include "service/keep_awake.h"
#include "service/service_options.h"
#include "service/target_file.h"

namespace svc {

class FileWorkers {
 public:
  FileWorkers(const ServiceOptions& options, ServiceHooks& hooks, FileList& list);

  // Both need the list's operations lock held. stop waits for the worker to end, its local file
  // closed.
  void start(const std::shared_ptr<TrackedFile>& file);
  void stop(TrackedFile& file);

 private:
  void run(const std::shared_ptr<TrackedFile>& file, WorkerThread* worker);
  void setPhase(TrackedFile& file, const char* phase, const FetchOutcome& outcome);
  // One attempt at the file: over one connection, or, for a large file whose origin serves
  // ranges, over several (then *segmented is true). resumeFrom receives where a one-connection
  // fetch began.
  FetchOutcome fetchAttempt(const std::shared_ptr<TrackedFile>& file, WorkerThread* worker, TargetFile& target,
                            FetchHooks& hooks, bool* segmented, int64_t* resumeFrom);
  // Opens the file's local file for its worker (emptied for a fresh start, its tail dropped after
  // an unclean stop); null, with the problem reported once it has lasted, when it cannot be.
  std::unique_ptr<TargetFile> openTarget(TrackedFile& file, const std::filesystem::path& local,
                                         std::optional<std::chrono::steady_clock::time_point>* inUseSince);
  void reportWriteProblem(TrackedFile& file, const std::filesystem::path& local, TargetProblem problem,
                          uint32_t systemCode);

  const ServiceOptions& options_;
  ServiceHooks& hooks_;
  FileList& list_;
  KeepAwake keepAwake_;
  HostConnections hostConnections_;
};

}  // namespace svc

#endif
