// The files the service knows, shared by the API's answers and the file workers: each file's
// record (as kept on disk) with what its worker last saw, the locks that keep them consistent, and
// the list's durable copy in the state folder.
#ifndef SERVICE_FILE_LIST_H
#define SERVICE_FILE_LIST_H

#include <stdint.h>

#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "service/event_notes.h"
#include "service/file_registry.h"
#include "service/rate_meter.h"
#include "service/worker_thread.h"

namespace svc {

struct TrackedFile {
  FileRecord record;
  std::filesystem::path local;
  std::string phase = "SEARCHING";  // what the worker last saw, while neither paused nor complete
  int64_t onDisk = 0;
  int64_t totalReceived = 0;
  RateMeter rate;
  std::string errorText;
  int64_t error = 0;
  bool freshStart = false;  // the local file is emptied when its worker next opens it
  bool dropTail = false;    // the service stopped uncleanly: the file's last bytes are fetched again
  bool oneConnection = false;  // its origin answered a segment wrongly: fetched over one connection from now on
  std::unique_ptr<WorkerThread> worker;  // guarded by the operations lock, not the state lock
};

using TrackedFiles = std::map<std::string, std::shared_ptr<TrackedFile>>;

class FileList {
 public:
  FileList(const std::filesystem::path& stateDir, EventNotes& events) : store_(stateDir), events_(events) {}

  // Lock order: operations(), then the list's own save lock, then state().
  // Serialises what starts, stops or forgets downloads.
  std::mutex& operations() { return operationsMutex_; }
  // Guards the map and every TrackedFile member except worker.
  std::mutex& state() { return stateMutex_; }

  // Reads the list kept in the state folder. unclean: the last service did not stop cleanly, so
  // each unfinished file's last bytes are not trusted.
  void load(bool unclean);
  std::shared_ptr<TrackedFile> find(const std::string& url);
  void add(const std::shared_ptr<TrackedFile>& file);
  void forget(const std::string& url);
  TrackedFiles snapshot();
  // Every file; state() must be held.
  const TrackedFiles& filesLocked() const { return files_; }
  // Replaces the kept list with what is known now. One that cannot be saved is noted, and saved
  // whole with the next change.
  void save();

 private:
  FileRegistryStore store_;
  EventNotes& events_;
  std::mutex operationsMutex_;
  std::mutex saveMutex_;  // one snapshot-and-write of the list at a time
  std::mutex stateMutex_;
  TrackedFiles files_;
};

}  // namespace svc

#endif
