// The answers to the local API's functions (ping, getFileAttributes, downloadFile, pauseFile,
// deleteFile, getClientAttributes) over the shared file list: what a file's status is, which
// requests start, stop or forget its worker, and the write challenge a caller must pass before
// the service writes or removes bytes in a place the caller names.
#ifndef SERVICE_API_ANSWERS_H
#define SERVICE_API_ANSWERS_H

#include <stdint.h>

#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include "service/event_notes.h"
#include "service/file_list.h"
#include "service/file_workers.h"
#include "service/service_options.h"
#include "service/web_plumbing.h"
#include "web/query.h"

namespace svc {

constexpr char kServiceApiVersion[] = "capi_1.8.0.5";

class ApiAnswers {
 public:
  ApiAnswers(const ServiceOptions& options, ServiceHooks& hooks, FileList& list, FileWorkers& workers,
             EventNotes& events);

  // The answer to one "GET /api?..." request.
  Answer answer(const QueryParams& params);

 private:
  struct ChallengeStep {
    bool accepted;
    std::string refusal;  // the text to answer under the URL when not accepted
  };

  Answer fileAttributes(const std::string& url);
  Answer downloadFile(const std::string& url, const QueryParams& params);
  Answer pauseFile(const std::string& url);
  Answer deleteFile(const std::string& url, const QueryParams& params);
  Answer clientAttributes();
  // Sets the speed limit for everything the service fetches ("bytespersecond", 0 for none).
  Answer setDownloadLimit(const QueryParams& params);

  ChallengeStep challenge(const std::string& function, const std::string& url, const std::filesystem::path& file);
  std::filesystem::path defaultLocation(const std::string& url) const;
  uint64_t currentRate(TrackedFile& file, RateMeter::Clock::time_point now);

  const ServiceOptions& options_;
  ServiceHooks& hooks_;
  FileList& list_;
  FileWorkers& workers_;
  EventNotes& events_;
  // Guarded by the list's operations lock.
  std::map<std::pair<std::string, std::string>, std::string> challenges_;  // (function, url) -> token
  std::mt19937_64 random_;
};

}  // namespace svc

#endif
