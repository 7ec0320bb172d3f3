// The service's list of known files, kept in the state folder so that a restarted service knows
// every file again and resumes the unfinished ones. The file is rewritten whole on every change,
// through a flushed temporary file and a rename that reaches the disk, so a service killed or a
// machine losing power mid-write leaves the old or the new list, never a torn one.
#ifndef SERVICE_FILE_REGISTRY_H
#define SERVICE_FILE_REGISTRY_H

#include <stdint.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace svc {

struct FileRecord {
  std::string url;
  std::string clientPath;  // the path as the client knows it (reported back as "path")
  std::string localPath;   // where the bytes are on this machine, UTF-8
  int64_t size = -1;       // total bytes, -1 while unknown
  bool paused = false;
  bool complete = false;
  // The version of the origin's file whose bytes are on disk: its strong ETag, else its
  // Last-Modified; empty while unknown. A resume asks for the rest of this version only.
  std::string validator;
  // For a file fetched over several connections, where each range stands (segment_plan.h), as
  // flushed to the disk before it was recorded; empty for a file fetched from its start on.
  std::string segments;
};

// The records of a file list's text; damaged (when not null) tells whether anything could not be
// read: a foreign first line, or a line that is no record.
std::vector<FileRecord> readRegistryText(const std::string& text, bool* damaged);

class FileRegistryStore {
 public:
  explicit FileRegistryStore(const std::filesystem::path& stateDir);

  const std::filesystem::path& file() const { return file_; }
  // Replaces the list durably (durable_file.h); false with error set when it could not.
  bool save(const std::vector<FileRecord>& records, std::string* error = nullptr);
  // Records from the last save. A damaged file (a foreign first line, or lines that cannot be
  // read) is first copied aside as registry.txt.damaged-N, for whoever looks into it, and what
  // can be read of it is kept: the bytes on disk of those files are never given up.
  std::vector<FileRecord> load() const;

 private:
  void setAside() const;

  std::filesystem::path file_;
  std::mutex mutex_;  // one writer of the temporary file at a time
};

}  // namespace svc

#endif
