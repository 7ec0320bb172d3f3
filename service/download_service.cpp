#include "service/download_service.h"

#include <thread>

#include "local_peer/local_peer.h"
#include "service/api_guard.h"
#include "service/durable_file.h"
#include "web/json_writer.h"

namespace svc {
namespace {

ConnectionGate callerGate(bool onlyOwnUser, bool refuseUnnamedPeers) {
  if (!onlyOwnUser) return nullptr;
  return [refuseUnnamedPeers](const Socket& connection) {
    return localpeer::PeerAllowedWhere(localpeer::JudgeConnectedPeer(connection.native()),
                                       refuseUnnamedPeers || localpeer::SystemNamesEveryOwner());
  };
}

ServiceOptions withBudget(ServiceOptions options, RateBudget* budget) {
  if (options.fetch.budget == nullptr) options.fetch.budget = budget;
  return options;
}

}  // namespace

DownloadService::DownloadService(ServiceOptions options)
    : options_(withBudget(std::move(options), &ownBudget_)),
      log_(options_.logPath),
      hooks_(options_.hooks != nullptr ? *options_.hooks : defaultHooks_),
      events_(options_.stateDir),
      list_(options_.stateDir, events_),
      workers_(options_, hooks_, list_),
      answers_(options_, hooks_, list_, workers_, events_),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); },
              options_.limits, callerGate(options_.onlyOwnUser, options_.refuseUnnamedPeers)) {}

DownloadService::~DownloadService() { stop(); }

bool DownloadService::start(PortRange ports, std::string* error) {
  std::error_code ignored;
  std::filesystem::create_directories(options_.stateDir / "files", ignored);
  if (!log_.usable(error)) return false;
  // The mark of a running service is still there when the last one did not stop cleanly.
  const bool unclean = std::filesystem::exists(runningMark(), ignored);
  list_.load(unclean);
  std::string problem;
  if (!ReplaceFileDurably(runningMark(), "running\n", std::chrono::seconds(5), &problem)) {
    events_.note("cannot mark the service as running: " + problem);
  }
  const auto giveUp = std::chrono::steady_clock::now() + options_.bindPatience;
  uint16_t port = ports.first;
  while (!server_.start(port, error)) {
    if (port != 0 && port < ports.last && SomebodyListensOn(port)) {
      ++port;
      continue;
    }
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  recordPort();
  std::lock_guard<std::mutex> operations(list_.operations());
  std::lock_guard<std::mutex> lock(list_.state());
  for (auto& [url, file] : list_.filesLocked()) {
    if (!file->record.paused && !file->record.complete) workers_.start(file);
  }
  return true;
}

void DownloadService::stop() {
  server_.stop();
  stopDownloads();
}

void DownloadService::stopDownloads() {
  // The port is free before the process lets go of its single-instance mutex, so that the next
  // instance finds it so and keeps it.
  server_.refuseConnections(std::chrono::milliseconds(0));
  TrackedFiles files = list_.snapshot();
  {
    std::lock_guard<std::mutex> operations(list_.operations());
    for (auto& [url, file] : files) workers_.stop(*file);
  }
  if (!files.empty()) list_.save();
  // Every file is closed and flushed with the list: the next start may trust what is on disk.
  std::error_code ignored;
  std::filesystem::remove(runningMark(), ignored);
  if (!options_.portRecord.empty()) std::filesystem::remove(options_.portRecord, ignored);
}

void DownloadService::recordPort() {
  if (options_.portRecord.empty()) return;
  std::error_code ignored;
  std::filesystem::create_directories(options_.portRecord.parent_path(), ignored);
  std::string problem;
  if (!ReplaceFileDurably(options_.portRecord, std::to_string(server_.port()) + "\n", std::chrono::seconds(5),
                          &problem)) {
    events_.note("cannot record the port: " + problem);
  }
}

std::filesystem::path DownloadService::runningMark() const { return options_.stateDir / "running"; }

Answer DownloadService::handle(const HttpRequest& request, uint64_t connectionId) {
  log_.record(request, connectionId);
  if (std::optional<std::string> refusal = apiRefusal(request, server_.port())) {
    return Answer::json(403, JsonWriter().beginObject().key("error").string(*refusal).endObject().text());
  }
  QueryParams params = parseQuery(request.rawQuery);
  if (request.path == "/control") {
    if (std::optional<std::string> refusal = hooks_.control(params)) return controlAnswer(*refusal);
  }
  if (hooks_.takeDroppedConnection()) {
    Answer drop;
    drop.dropConnection = true;
    return drop;
  }
  auto delayUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(hooks_.answerDelayMs());
  while (std::chrono::steady_clock::now() < delayUntil && !server_.stopping()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (request.path != "/api") return Answer::json(404, "{\"error\":\"Not found.\"}");
  return answers_.answer(params);
}

Answer DownloadService::controlAnswer(const std::string& refusal) {
  if (refusal.empty()) return Answer::json(200, "{\"ok\":true}");
  return Answer::json(400, JsonWriter().beginObject().key("ok").boolean(false).key("error").string(refusal).endObject().text());
}

}  // namespace svc
