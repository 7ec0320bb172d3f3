// The points where a test harness may bend what the service does: drop or delay answers, fail a
// request, hold a file still, force a status, ask for the write challenge more often. The shipped
// service runs with the defaults below, which change nothing; the testbed's misbehaviour controls
// override them.
#ifndef SERVICE_SERVICE_HOOKS_H
#define SERVICE_SERVICE_HOOKS_H

#include <optional>
#include <string>

#include "service/web_plumbing.h"
#include "web/query.h"

namespace svc {

class ServiceHooks {
 public:
  virtual ~ServiceHooks() = default;

  // A "GET /control?..." request: why its parameters were refused (empty when applied), or
  // nothing when the service has no controls (it then answers 404 like any unknown path).
  virtual std::optional<std::string> control(const QueryParams&) { return std::nullopt; }
  // True to close the connection instead of answering this request.
  virtual bool takeDroppedConnection() { return false; }
  virtual int answerDelayMs() const { return 0; }
  // A text to answer FUNCTION for URL with, in place of what the service would do.
  virtual std::optional<std::string> forcedError(const std::string& /*function*/, const std::string& /*url*/) const {
    return std::nullopt;
  }
  // While true no bytes of that file move, though it still counts as downloading.
  virtual bool stalled(const std::string& /*url*/) const { return false; }
  virtual std::optional<std::string> forcedStatus(const std::string& /*url*/) const { return std::nullopt; }
  virtual bool resetRequested(const std::string& /*url*/) const { return false; }
  virtual void clearResetRequest(const std::string& /*url*/) {}
  // True (and counts one down) while deletes are to be answered "File is in use.".
  virtual bool takeInUse() { return false; }
  virtual bool challengesDownloads() const { return false; }
  virtual bool challengesDeletes() const { return false; }
};

}  // namespace svc

#endif
