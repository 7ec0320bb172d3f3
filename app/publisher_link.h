// The job's link to the publisher's server: its sid and configuration requests, their answers
// handed to the job's hooks, and the statistics posts of the event reporter (one request object
// each; a new post abandons one still in flight).
#ifndef APP_PUBLISHER_LINK_H
#define APP_PUBLISHER_LINK_H

#include <functional>
#include <string>

#include "download/server_requests.h"
#include "server/game_info.h"
#include "server/server_request.h"
#include "telemetry/job_event_reporter.h"

class DownloadJob;

class PublisherLink : public ServerRequests, public StatsRequests, public ServerHooks {
 public:
  // The job is attached once it exists (it is made after its services); answers that come before
  // are dropped.
  explicit PublisherLink(const GameInfo& game);
  void AttachJob(DownloadJob* job) { job_ = job; }

  void RequestSid(const std::wstring& gameCode) override;
  void RequestConfig(const std::wstring& gameCode, const std::wstring& sid) override;
  void PostStats(const std::wstring& gameCode, const std::wstring& sid, const PropertyList& record) override;

  void OnSidReply(const std::optional<std::wstring>& sid) override;
  void OnConfigReply(std::unique_ptr<GameConfig> config) override;
  void OnServerRequestFailed(RequestKind kind) override;

 private:
  DownloadJob* job_ = nullptr;
  ServerRequest sidRequest_;
  ServerRequest configRequest_;
  ServerRequest statsRequest_;
};

#endif
