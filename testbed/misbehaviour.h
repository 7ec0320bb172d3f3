// The ways the stand-in service can be told to misbehave, set from its command line or by
// "GET /control?..." requests while it runs. Control parameters (values percent-encoded):
//   stall=URL|*            no bytes move for that file (or every file); status stays DOWNLOADING
//   unstall=URL|*          undo a stall
//   forcestatus=STATUS&url=URL   report STATUS for that file (an empty STATUS stops forcing)
//   fail=FUNCTION&url=URL&text=TEXT   answer FUNCTION for URL with TEXT under the URL (no text: stop)
//   inuse=N                answer the next N deletes with "File is in use."
//   challenge=none|download|delete|both   ask for the write challenge on those requests
//   resetdownload=URL      report "resetdownload":true for URL until a downloadFile with
//                          resetdownload=1 arrives
//   drop=N                 close the next N connections right after reading a request
//   delay=MS               delay every answer by MS milliseconds
//   clear                  undo everything above
#ifndef TESTBED_MISBEHAVIOUR_H
#define TESTBED_MISBEHAVIOUR_H

#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>

#include "web/query.h"
#include "service/service_hooks.h"
#include "testbed/web_plumbing.h"

namespace testbed {

class Misbehaviour : public svc::ServiceHooks {
 public:
  // Applies one control request's parameters; an empty string, or why they were refused (then
  // nothing was changed).
  std::string apply(const QueryParams& params);
  void clear();

  std::optional<std::string> control(const QueryParams& params) override { return apply(params); }
  bool stalled(const std::string& url) const override;
  std::optional<std::string> forcedStatus(const std::string& url) const override;
  std::optional<std::string> forcedError(const std::string& function, const std::string& url) const override;
  // True (and counts one down) while in-use answers are left.
  bool takeInUse() override;
  bool challengesDownloads() const override;
  bool challengesDeletes() const override;
  bool resetRequested(const std::string& url) const override;
  void clearResetRequest(const std::string& url) override;
  // True (and counts one down) while connections are to be dropped.
  bool takeDroppedConnection() override;
  int answerDelayMs() const override;

 private:
  mutable std::mutex mutex_;
  std::set<std::string> stalled_;
  bool stallAll_ = false;
  std::map<std::string, std::string> forcedStatus_;
  std::map<std::pair<std::string, std::string>, std::string> forcedErrors_;
  int inUseLeft_ = 0;
  bool challengeDownloads_ = false;
  bool challengeDeletes_ = false;
  std::set<std::string> resetRequests_;
  int dropsLeft_ = 0;
  int delayMs_ = 0;
};

// The file statuses the service can report.
bool isKnownFileStatus(const std::string& status);

}  // namespace testbed

#endif
