#include "service/download_service.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>

#include "local_peer/local_peer.h"
#include "service/api_guard.h"
#include "service/durable_file.h"
#include "service/target_file.h"
#include "service/web_plumbing.h"
#include "web/json_writer.h"

namespace svc {

struct DownloadService::TrackedFile {
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
  std::unique_ptr<Worker> worker;  // guarded by operationsMutex_, not stateMutex_
};

// The background thread of one file. Destroying it stops the thread and waits for it.
struct DownloadService::Worker {
  std::atomic<bool> stopRequested{false};
  std::mutex mutex;
  std::condition_variable wake;
  std::thread thread;
  FetchAbort fetchAbort;  // interrupts a read blocked in the platform's HTTP stack

  void requestStop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopRequested = true;
    }
    wake.notify_all();
    fetchAbort.abort();
  }
  // Waits, or returns early when asked to stop; false when stopping.
  bool pause(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, duration, [this] { return stopRequested.load(); });
    return !stopRequested;
  }
  ~Worker() {
    requestStop();
    if (thread.joinable()) thread.join();
  }
};

namespace {

std::string underUrl(const std::string& url, const std::string& text) {
  return JsonWriter().beginObject().key(url).string(text).endObject().text();
}

std::string nullUnderUrl(const std::string& url) {
  return JsonWriter().beginObject().key(url).null().endObject().text();
}

int64_t sizeOnDisk(const std::filesystem::path& file) {
  std::error_code error;
  auto size = std::filesystem::file_size(file, error);
  return error ? 0 : static_cast<int64_t>(size);
}

// The status a file's worker reports while its local file cannot be written.
const char* phaseOf(TargetProblem problem) {
  switch (problem) {
    case TargetProblem::DiskFull:
      return "INSUFFICIENTDISKSPACE";
    case TargetProblem::Redirected:
      return "FORBIDDEN";
    default:
      return "WAITING";
  }
}

// What a power loss may have taken from the end of a file being written: NTFS can keep a file's
// new size without the data written last.
constexpr int64_t kUncleanStopTail = 4 * 1024 * 1024;
// How long a delete waits for a file that another program holds before it says so.
constexpr std::chrono::milliseconds kRemovePatience{3000};

std::string readSmallFile(const std::filesystem::path& file, size_t limit, bool* exists) {
  std::ifstream in(file, std::ios::binary);
  *exists = static_cast<bool>(in);
  std::string content(limit, '\0');
  in.read(&content[0], static_cast<std::streamsize>(limit));
  content.resize(static_cast<size_t>(in.gcount()));
  return content;
}

// A short, file-name-safe rendering of the URL's last path segment.
std::string fileNameFromUrl(const std::string& url) {
  std::string_view path = url;
  size_t query = path.find_first_of("?#");
  path = path.substr(0, query);
  size_t slash = path.rfind('/');
  std::string_view last = slash == std::string_view::npos ? path : path.substr(slash + 1);
  std::string name;
  for (char c : percentDecode(last)) {
    bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                c == '-' || c == '_';
    name.push_back(safe ? c : '_');
    if (name.size() == 100) break;
  }
  return name.empty() || name == "." || name == ".." ? "file" : name;
}

ConnectionGate callerGate(bool onlyOwnUser) {
  if (!onlyOwnUser) return nullptr;
  return [](const Socket& connection) {
    return localpeer::PeerAllowed(localpeer::JudgeConnectedPeer(connection.native()));
  };
}

}  // namespace

DownloadService::DownloadService(ServiceOptions options)
    : options_(std::move(options)),
      log_(options_.logPath),
      hooks_(options_.hooks != nullptr ? *options_.hooks : defaultHooks_),
      store_(options_.stateDir),
      random_(std::random_device{}()),
      keepAwake_(options_.keepAwake),
      hostConnections_(options_.connectionsPerHost),
      server_([this](const HttpRequest& request, uint64_t connectionId) { return handle(request, connectionId); },
              options_.limits, callerGate(options_.onlyOwnUser)) {}

DownloadService::~DownloadService() { stop(); }

bool DownloadService::start(uint16_t port, std::string* error) {
  std::error_code ignored;
  std::filesystem::create_directories(options_.stateDir / "files", ignored);
  if (!log_.usable(error)) return false;
  // The mark of a running service is still there when the last one did not stop cleanly.
  const bool unclean = std::filesystem::exists(runningMark(), ignored);
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (auto& record : store_.load()) {
      auto file = std::make_shared<TrackedFile>();
      file->local = std::filesystem::u8path(record.localPath);
      file->onDisk = sizeOnDisk(file->local);
      if (auto plan = SegmentPlan::Parse(record.segments, record.size); plan && !record.complete) {
        file->onDisk = plan->bytesOnDisk();
      }
      file->totalReceived = file->onDisk;
      if (record.complete) file->phase = "COMPLETE";
      file->dropTail = unclean && !record.complete;
      file->record = std::move(record);
      files_[file->record.url] = file;
    }
  }
  std::string problem;
  if (!ReplaceFileDurably(runningMark(), "running\n", std::chrono::seconds(5), &problem)) {
    noteEvent("cannot mark the service as running: " + problem);
  }
  const auto giveUp = std::chrono::steady_clock::now() + options_.bindPatience;
  while (!server_.start(port, error)) {
    if (std::chrono::steady_clock::now() >= giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
  }
  std::lock_guard<std::mutex> operations(operationsMutex_);
  std::lock_guard<std::mutex> lock(stateMutex_);
  for (auto& [url, file] : files_) {
    if (!file->record.paused && !file->record.complete) startWorker(file);
  }
  return true;
}

void DownloadService::stop() {
  server_.stop();
  stopDownloads();
}

void DownloadService::stopDownloads() {
  std::map<std::string, std::shared_ptr<TrackedFile>> files;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    files = files_;
  }
  {
    std::lock_guard<std::mutex> operations(operationsMutex_);
    for (auto& [url, file] : files) stopWorker(*file);
  }
  if (!files.empty()) saveRegistry();
  // Every file is closed and flushed with the list: the next start may trust what is on disk.
  std::error_code ignored;
  std::filesystem::remove(runningMark(), ignored);
}

std::filesystem::path DownloadService::runningMark() const { return options_.stateDir / "running"; }

void DownloadService::noteEvent(const std::string& text) {
  std::lock_guard<std::mutex> lock(eventsMutex_);
  std::ofstream out(options_.stateDir / "events.log", std::ios::binary | std::ios::app);
  const std::time_t now = std::time(nullptr);
  char stamp[32] = "";
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", std::gmtime(&now));
  out << stamp << " " << text << "\n";
}

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
  return answerApi(params);
}

Answer DownloadService::controlAnswer(const std::string& refusal) {
  if (refusal.empty()) return Answer::json(200, "{\"ok\":true}");
  return Answer::json(400, JsonWriter().beginObject().key("ok").boolean(false).key("error").string(refusal).endObject().text());
}

Answer DownloadService::answerApi(const QueryParams& params) {
  const QueryParam* function = findParam(params, "function");
  std::string name = function != nullptr ? function->value : "";
  if (name == "ping") {
    return Answer::json(200, JsonWriter().beginObject().key("ping").string("ok").key("apiversion").string(kServiceApiVersion).endObject().text());
  }
  if (name == "getClientAttributes") return clientAttributes();
  bool perFile = name == "getFileAttributes" || name == "downloadFile" || name == "pauseFile" || name == "deleteFile";
  if (!perFile) return Answer::json(400, "{\"error\":\"Unknown function.\"}");
  const QueryParam* url = findParam(params, "url");
  if (url == nullptr || !url->hasValue) return Answer::json(400, "{\"error\":\"Missing url.\"}");
  if (std::optional<std::string> text = hooks_.forcedError(name, url->value)) {
    return Answer::json(200, underUrl(url->value, *text));
  }
  if (!parseHttpUrl(wireUrl(url->value))) return Answer::json(200, underUrl(url->value, "Invalid URL."));
  if (name == "getFileAttributes") return fileAttributes(url->value);
  if (name == "downloadFile") return downloadFile(url->value, params);
  if (name == "pauseFile") return pauseFile(url->value);
  return deleteFile(url->value, params);
}

std::shared_ptr<DownloadService::TrackedFile> DownloadService::find(const std::string& url) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  auto found = files_.find(url);
  return found == files_.end() ? nullptr : found->second;
}

uint64_t DownloadService::currentRate(TrackedFile& file, RateMeter::Clock::time_point now) {
  if (file.record.paused || file.record.complete || hooks_.stalled(file.record.url)) return 0;
  return file.rate.bytesPerSecond(now);
}

Answer DownloadService::fileAttributes(const std::string& url) {
  auto file = find(url);
  if (!file) return Answer::json(200, underUrl(url, "File not found."));
  std::optional<std::string> forced = hooks_.forcedStatus(url);
  bool stalled = hooks_.stalled(url);
  bool reset = hooks_.resetRequested(url);
  std::lock_guard<std::mutex> lock(stateMutex_);
  const FileRecord& record = file->record;
  std::string status = file->phase;
  if (forced) {
    status = *forced;
  } else if (record.complete) {
    status = "COMPLETE";
  } else if (record.paused) {
    status = "PAUSED";
  } else if (stalled) {
    status = "DOWNLOADING";
  }
  int64_t size = record.size < 0 ? 0 : record.size;
  int64_t progress = size > 0 ? file->onDisk * 100 / size : 0;
  JsonWriter json;
  json.beginObject();
  json.key("status").string(status);
  json.key("path").string(record.clientPath);
  json.key("size").number(size);
  json.key("uniquerecv").number(file->onDisk);
  json.key("totalrecv").number(file->totalReceived);
  json.key("progress").number(progress);
  json.key("downloadrate").number(static_cast<int64_t>(currentRate(*file, RateMeter::Clock::now())));
  json.key("errorstring").string(file->errorText);
  json.key("error").number(file->error);
  json.key("suberror").number(0);
  json.key("verifiedcontentmd5").string("");
  json.key("resetdownload").boolean(reset);
  json.endObject();
  return Answer::json(200, json.text());
}

Answer DownloadService::downloadFile(const std::string& url, const QueryParams& params) {
  const QueryParam* pathParam = findParam(params, "path");
  const QueryParam* reset = findParam(params, "resetdownload");
  bool hasPath = pathParam != nullptr && !pathParam->value.empty();

  std::lock_guard<std::mutex> operations(operationsMutex_);
  auto file = find(url);
  std::string clientPath;
  std::filesystem::path local;
  if (hasPath) {
    MappedPath mapped = options_.drives.toLocal(pathParam->value);
    if (!mapped.ok) return Answer::json(200, underUrl(url, mapped.error));
    clientPath = pathParam->value;
    local = mapped.local;
  } else if (file) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    clientPath = file->record.clientPath;
    local = file->local;
  } else {
    local = defaultLocation(url);
    clientPath = options_.drives.toClient(local);
  }

  bool fromZero = false;
  // A caller must show that it can write where it asks the service to write: a file new to the
  // service, or a known file moved to a new place, is challenged. A known file resumed at its own
  // place is not (its first bytes would be lost to the token).
  bool newPlace = true;
  if (file) {
    std::lock_guard<std::mutex> lock(stateMutex_);
    newPlace = local != file->local;
  }
  const bool challenged = hasPath && ((options_.challengeNewPaths && newPlace) || hooks_.challengesDownloads());
  if (challenged) {
    ChallengeStep step = challenge("downloadFile", url, local);
    if (!step.accepted) return Answer::json(200, underUrl(url, step.refusal));
    // The file now holds the token, not game data.
    fromZero = true;
  }
  if (reset != nullptr) {
    fromZero = true;
    if (reset->value == "1") hooks_.clearResetRequest(url);
  }

  bool start;
  if (!file) {
    file = std::make_shared<TrackedFile>();
    file->record.url = url;
    fromZero = true;
    start = true;
    std::lock_guard<std::mutex> lock(stateMutex_);
    files_[url] = file;
  } else {
    std::lock_guard<std::mutex> lock(stateMutex_);
    // A new place for a known file: its bytes are elsewhere, so it starts over there.
    if (local != file->local) fromZero = true;
    start = fromZero || file->record.paused || (!file->record.complete && !file->worker);
  }
  if (!start) return Answer::json(200, nullUnderUrl(url));

  stopWorker(*file);
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    // Emptied by the worker through the handle it opens at once, never by name again.
    if (fromZero) file->freshStart = true;
    file->record.clientPath = clientPath;
    file->record.localPath = local.u8string();
    file->local = local;
    file->record.paused = false;
    if (fromZero) {
      file->record.size = -1;
      file->record.segments.clear();
      file->record.complete = false;
      file->onDisk = 0;
      file->phase = "SEARCHING";
      file->errorText.clear();
      file->error = 0;
      file->rate.reset();
    }
  }
  saveRegistry();
  startWorker(file);
  return Answer::json(200, nullUnderUrl(url));
}

Answer DownloadService::pauseFile(const std::string& url) {
  std::lock_guard<std::mutex> operations(operationsMutex_);
  auto file = find(url);
  if (!file) return Answer::json(200, underUrl(url, "file not found"));
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    if (file->record.complete) return Answer::json(200, underUrl(url, "cannot pause file already completed"));
  }
  stopWorker(*file);
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    file->record.paused = true;
    file->rate.reset();
  }
  saveRegistry();
  return Answer::json(200, nullUnderUrl(url));
}

Answer DownloadService::deleteFile(const std::string& url, const QueryParams& params) {
  const QueryParam* keepParam = findParam(params, "keepphysicalfileondelete");
  bool keep = keepParam != nullptr && (keepParam->value == "true" || keepParam->value == "1");
  std::lock_guard<std::mutex> operations(operationsMutex_);
  auto file = find(url);
  if (!file) return Answer::json(200, underUrl(url, "File not found."));
  if (hooks_.takeInUse()) return Answer::json(200, underUrl(url, "File is in use."));
  std::filesystem::path local;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    local = file->local;
  }
  // Removing the bytes on disk needs the same proof as writing them; forgetting the file does not.
  if ((options_.challengeNewPaths && !keep) || hooks_.challengesDeletes()) {
    ChallengeStep step = challenge("deleteFile", url, local);
    if (!step.accepted) return Answer::json(200, underUrl(url, step.refusal));
  }
  stopWorker(*file);
  // A file a scanner or a running installer holds stays known, so that the delete can be asked
  // again; the client is told it is in use.
  if (!keep && !RemoveFilePatiently(local, kRemovePatience)) {
    noteEvent("cannot remove " + local.u8string() + ": it is in use");
    return Answer::json(200, underUrl(url, "File is in use."));
  }
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    files_.erase(url);
  }
  challenges_.erase(std::make_pair(std::string("downloadFile"), url));
  saveRegistry();
  return Answer::json(200, nullUnderUrl(url));
}

Answer DownloadService::clientAttributes() {
  uint64_t rate = 0;
  {
    auto now = RateMeter::Clock::now();
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (auto& [url, file] : files_) rate += currentRate(*file, now);
  }
  bool acceptedEula = true;
  int64_t uploadsPausedUntil = 0;
  if (!options_.libraryDataDir.empty()) {
    bool exists = false;
    std::string eula = readSmallFile(options_.libraryDataDir / "accepteula.txt", 65536, &exists);
    acceptedEula = exists && eula.find('_') != std::string::npos;
    std::string user = readSmallFile(options_.libraryDataDir / "user.dat", 4096, &exists);
    constexpr std::string_view kKey = "UploadsPausedUntil=";
    size_t at = user.find(kKey);
    if (at != std::string::npos) {
      size_t end = user.find_first_not_of("0123456789", at + kKey.size());
      uint64_t value = 0;
      if (parseDecimal(std::string_view(user).substr(at + kKey.size(), end - at - kKey.size()), &value)) {
        uploadsPausedUntil = static_cast<int64_t>(value);
      }
    }
  }
  JsonWriter json;
  json.beginObject();
  json.key("isonline").boolean(true);
  json.key("sharerate").number(0);
  json.key("downloadrate").number(static_cast<int64_t>(rate));
  json.key("version").number(1080005);
  json.key("acceptedeula").boolean(acceptedEula);
  json.key("executableversion").string("1.8.0.5");
  json.key("configurationversion").string("testbed-1");
  json.key("runningexecutable").string("download-service.exe");
  json.key("runningclientbinid").string("testbed");
  json.key("uploadspauseduntil").number(uploadsPausedUntil);
  json.endObject();
  return Answer::json(200, json.text());
}

DownloadService::ChallengeStep DownloadService::challenge(const std::string& function, const std::string& url,
                                                              const std::filesystem::path& file) {
  auto key = std::make_pair(function, url);
  auto pending = challenges_.find(key);
  if (pending == challenges_.end()) {
    static const char kDigits[] = "0123456789abcdef";
    std::string token;
    for (int i = 0; i < 2; ++i) {
      uint64_t bits = random_();
      for (int k = 0; k < 16; ++k, bits >>= 4) token.push_back(kDigits[bits & 15]);
    }
    challenges_[key] = token;
    return {false, "Challenge:" + token};
  }
  std::string token = pending->second;
  challenges_.erase(pending);
  bool exists = false;
  std::string content = readSmallFile(file, token.size() + 1, &exists);
  if (!exists) return {false, "Permission denied. Can't validate token (no file)"};
  if (content.size() != token.size()) return {false, "Permission denied. Can't validate token (invalid file size)"};
  if (content != token) return {false, "Permission denied, Can't validate token (invalid token)"};
  return {true, ""};
}

std::filesystem::path DownloadService::defaultLocation(const std::string& url) const {
  // FNV-1a keeps two URLs with the same file name apart.
  uint64_t hash = 14695981039346656037ull;
  for (char c : url) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  std::ostringstream name;
  name << std::hex << hash << "-" << fileNameFromUrl(url);
  return options_.stateDir / "files" / name.str();
}

void DownloadService::startWorker(const std::shared_ptr<TrackedFile>& file) {
  file->worker = std::make_unique<Worker>();
  Worker* worker = file->worker.get();
  worker->thread = std::thread([this, file, worker] { runDownload(file, worker); });
}

void DownloadService::stopWorker(TrackedFile& file) { file.worker.reset(); }

void DownloadService::setPhase(TrackedFile& file, const char* phase, const FetchOutcome& outcome) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  file.phase = phase;
  file.errorText = outcome.detail;
  file.error = outcome.httpStatus;
}

void DownloadService::runDownload(std::shared_ptr<TrackedFile> file, Worker* worker) {
  std::string url;
  std::filesystem::path local;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    url = file->record.url;
    local = file->local;
  }
  FetchHooks hooks;
  hooks.sizeKnown = [&](int64_t total) {
    bool changed;
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      changed = file->record.size != total;
      file->record.size = total;
      file->phase = "DOWNLOADING";
      file->errorText.clear();
      file->error = 0;
    }
    if (changed) saveRegistry();
  };
  hooks.versionKnown = [&](const std::string& validator) {
    bool changed;
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      changed = file->record.validator != validator;
      file->record.validator = validator;
    }
    // Kept before the first byte of that version is written, so that a service killed at any
    // moment resumes only the version on disk.
    if (changed) saveRegistry();
  };
  // Whether the current attempt brought any byte: a run of attempts without makes the waits grow.
  std::atomic<bool> progressed{false};
  int failuresInRow = 0;
  // onDisk -1: the bytes were added by one of several connections, each at its own place.
  hooks.bytesWritten = [&](int64_t onDisk, uint64_t added) {
    progressed = true;
    std::lock_guard<std::mutex> lock(stateMutex_);
    file->onDisk = onDisk >= 0 ? onDisk : file->onDisk + static_cast<int64_t>(added);
    file->totalReceived += static_cast<int64_t>(added);
    file->rate.add(added, RateMeter::Clock::now());
  };
  hooks.abort = &worker->fetchAbort;
  hooks.keepGoing = [&] {
    while (!worker->stopRequested && hooks_.stalled(url)) worker->pause(std::chrono::milliseconds(20));
    return !worker->stopRequested;
  };

  std::unique_ptr<TargetFile> target;
  std::optional<std::chrono::steady_clock::time_point> inUseSince;
  while (!worker->stopRequested) {
    if (hooks_.stalled(url)) {
      worker->pause(std::chrono::milliseconds(50));
      continue;
    }
    if (!target) {
      target = openTarget(*file, local, &inUseSince);
      if (!target) {
        // A file in use is tried again soon until its patience runs out, then at the usual pace.
        const bool soon = inUseSince && std::chrono::steady_clock::now() - *inUseSince < options_.fileInUsePatience;
        worker->pause(soon ? std::chrono::milliseconds(250) : options_.retryDelay);
        continue;
      }
    }
    bool segmented = false;
    int64_t resumeFrom = 0;
    progressed = false;
    FetchOutcome outcome{};
    {
      KeepAwake::Scope fetching(keepAwake_);
      outcome = fetchAttempt(file, worker, *target, hooks, &segmented, &resumeFrom);
    }
    failuresInRow = progressed ? 0 : failuresInRow + 1;
    std::chrono::milliseconds wait = options_.retryDelay;
    for (int i = 1; i < failuresInRow && wait < options_.longestRetryDelay; ++i) wait *= 2;
    wait = std::min(wait, options_.longestRetryDelay);
    switch (outcome.result) {
      case FetchResult::Complete: {
        // On the disk before the list says it is complete; closed, so that others may read it.
        if (TargetProblem problem = target->Flush(); problem != TargetProblem::None) {
          reportWriteProblem(*file, local, problem, target->LastSystemCode());
          break;
        }
        target.reset();
        {
          std::lock_guard<std::mutex> lock(stateMutex_);
          file->record.complete = true;
          file->record.size = outcome.onDisk;
          file->record.segments.clear();
          file->onDisk = outcome.onDisk;
          file->phase = "COMPLETE";
          file->rate.reset();
        }
        saveRegistry();
        return;
      }
      case FetchResult::Stopped:
        return;
      case FetchResult::RangeRefused:
        // The bytes on disk cannot be continued: fetch the whole file again, over one connection,
        // at once if there was something to drop, else after the usual wait.
        target->Truncate(0);
        if (segmented) {
          {
            std::lock_guard<std::mutex> lock(stateMutex_);
            file->record.segments.clear();
            file->oneConnection = true;
            file->onDisk = 0;
          }
          saveRegistry();
          continue;
        }
        if (resumeFrom > 0) continue;
        setPhase(*file, "DISCONNECTED", outcome);
        break;
      case FetchResult::NotFound:
        setPhase(*file, "NOTFOUND", outcome);
        break;
      case FetchResult::Forbidden:
        setPhase(*file, "FORBIDDEN", outcome);
        break;
      case FetchResult::WriteFailed:
        reportWriteProblem(*file, local, outcome.writeProblem, outcome.systemCode);
        break;
      case FetchResult::Busy:
        // The origin said when to come back: then, within reason.
        if (outcome.retryAfterSeconds > 0) {
          wait = std::min<std::chrono::milliseconds>(std::chrono::seconds(outcome.retryAfterSeconds),
                                                     options_.longestRetryDelay);
        }
        setPhase(*file, "DISCONNECTED", outcome);
        break;
      case FetchResult::ConnectFailed:
      case FetchResult::ConnectionLost:
      case FetchResult::BadAnswer:
      case FetchResult::Split:
        setPhase(*file, "DISCONNECTED", outcome);
        break;
    }
    worker->pause(wait);
  }
}

FetchOutcome DownloadService::fetchAttempt(const std::shared_ptr<TrackedFile>& file, Worker* worker,
                                           TargetFile& target, FetchHooks& hooks, bool* segmented,
                                           int64_t* resumeFrom) {
  const std::string url = file->record.url;  // never changes while the worker runs
  const std::string host = parseHttpUrl(wireUrl(url)) ? parseHttpUrl(wireUrl(url))->host : std::string();
  const SegmentSettings& settings = options_.segments;
  KnownVersion known;
  std::optional<SegmentPlan> plan;
  bool oneConnection = false;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    known.validator = file->record.validator;
    known.size = file->record.size;
    oneConnection = file->oneConnection || settings.connections <= 1;
    if (!oneConnection && !known.validator.empty()) plan = SegmentPlan::Parse(file->record.segments, known.size);
    *resumeFrom = plan ? 0 : std::max<int64_t>(0, target.Size());
    file->onDisk = plan ? plan->bytesOnDisk() : *resumeFrom;
  }
  hostConnections_.takeFirst(host);
  FetchOutcome outcome{FetchResult::Split, 0, "", 0};
  if (!plan) {
    // An origin that serves ranges of a large file gets asked for its segments instead.
    hooks.wantsSegments = nullptr;
    if (!oneConnection) hooks.wantsSegments = [&](int64_t total) { return total >= settings.threshold; };
    outcome = fetchIntoFile(url, target, *resumeFrom, known, hooks, options_.fetch);
    if (outcome.result == FetchResult::Split) {
      std::lock_guard<std::mutex> lock(stateMutex_);
      known.validator = file->record.validator;
      known.size = file->record.size;
      // From the bytes of this version on disk: all of them after a 206, none after a 200.
      plan = SegmentPlan::Split(known.size, outcome.onDisk, settings.connections, settings.minSegment);
      file->record.segments = plan->Format();
    }
  }
  if (plan) {
    *segmented = true;
    saveRegistry();
    SegmentHooks segmentHooks;
    segmentHooks.bytesWritten = [&](uint64_t added) {
      hooks.bytesWritten(-1, added);
    };
    segmentHooks.record = [&](const std::string& text) {
      {
        std::lock_guard<std::mutex> lock(stateMutex_);
        file->record.segments = text;
      }
      saveRegistry();
    };
    segmentHooks.keepGoing = hooks.keepGoing;
    segmentHooks.takeExtraConnection = [&] { return hostConnections_.takeExtra(host); };
    segmentHooks.giveBackExtraConnection = [&] { hostConnections_.giveBack(host); };
    segmentHooks.abort = &worker->fetchAbort;
    outcome = fetchSegments(url, target, *plan, known, segmentHooks, settings, options_.fetch);
  }
  hostConnections_.giveBack(host);
  return outcome;
}

std::unique_ptr<TargetFile> DownloadService::openTarget(TrackedFile& file, const std::filesystem::path& local,
                                                        std::optional<std::chrono::steady_clock::time_point>* inUseSince) {
  TargetProblem problem = TargetProblem::None;
  uint32_t code = 0;
  std::unique_ptr<TargetFile> target = TargetFile::Open(local, &problem, &code);
  if (target) {
    inUseSince->reset();
    bool fresh = false;
    bool dropTail = false;
    {
      std::lock_guard<std::mutex> lock(stateMutex_);
      fresh = file.freshStart;
      // A file fetched in segments records each one's bytes only once they were flushed.
      dropTail = file.dropTail && file.record.segments.empty();
      file.freshStart = false;
      file.dropTail = false;
    }
    if (fresh) {
      problem = target->Truncate(0);
      target->ClearHiddenMark();
    } else if (dropTail) {
      problem = target->Truncate(std::max<int64_t>(0, target->Size() - kUncleanStopTail));
    }
    if (problem == TargetProblem::None) return target;
    code = target->LastSystemCode();
    target.reset();
  }
  const bool passing = problem == TargetProblem::InUse || problem == TargetProblem::Denied;
  if (passing && !*inUseSince) *inUseSince = std::chrono::steady_clock::now();
  // Held by someone for a moment is not worth telling; held for long, or refused for good, is.
  if (!passing || std::chrono::steady_clock::now() - **inUseSince >= options_.fileInUsePatience) {
    reportWriteProblem(file, local, problem, code);
  }
  return nullptr;
}

void DownloadService::reportWriteProblem(TrackedFile& file, const std::filesystem::path& local,
                                         TargetProblem problem, uint32_t systemCode) {
  std::lock_guard<std::mutex> lock(stateMutex_);
  file.phase = phaseOf(problem);
  file.errorText = DescribeTargetProblem(problem, local);
  file.error = systemCode;
  file.rate.reset();
}

void DownloadService::saveRegistry() {
  std::lock_guard<std::mutex> saving(saveMutex_);
  std::vector<FileRecord> records;
  {
    std::lock_guard<std::mutex> lock(stateMutex_);
    for (auto& [url, file] : files_) records.push_back(file->record);
  }
  // A list that cannot be saved now is saved whole with the next change.
  std::string problem;
  if (!store_.save(records, &problem)) noteEvent("cannot save the list of downloads: " + problem);
}

}  // namespace svc
