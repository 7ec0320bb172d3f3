#include "app/publisher_link.h"

#include "download/download_job.h"

namespace {

ServerAddress addressOf(const GameInfo& game) {
  return ServerAddress{game.serverHost, game.serverPort, game.basePath, game.serverSecure};
}

}  // namespace

PublisherLink::PublisherLink(const GameInfo& game)
    : sidRequest_(this, addressOf(game)), configRequest_(this, addressOf(game)),
      statsRequest_(this, addressOf(game)) {}

void PublisherLink::RequestSid(const std::wstring& gameCode) { sidRequest_.RequestSid(gameCode); }

void PublisherLink::RequestConfig(const std::wstring& gameCode, const std::wstring& sid) {
  configRequest_.RequestConfig(gameCode, sid);
}

void PublisherLink::PostStats(const std::wstring& gameCode, const std::wstring& sid, const PropertyList& record) {
  statsRequest_.PostStats(gameCode, sid, record);
}

void PublisherLink::OnSidReply(const std::optional<std::wstring>& sid) {
  if (job_ != nullptr) job_->OnSidReply(sid);
}

void PublisherLink::OnConfigReply(std::unique_ptr<GameConfig> config) {
  if (job_ != nullptr) job_->OnConfigReply(std::move(config));
}

void PublisherLink::OnServerRequestFailed(RequestKind kind) {
  if (job_ == nullptr) return;
  if (kind == RequestKind::Sid) job_->OnServerRequestFailed(ServerRequestKind::Sid);
  if (kind == RequestKind::Config) job_->OnServerRequestFailed(ServerRequestKind::Config);
}
