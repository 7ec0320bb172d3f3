#include "service/api_answers.h"

#include <fstream>
#include <sstream>

#include "service/durable_file.h"
#include "service/rate_budget.h"
#include "web/json_writer.h"

namespace svc {
namespace {

std::string underUrl(const std::string& url, const std::string& text) {
  return JsonWriter().beginObject().key(url).string(text).endObject().text();
}

std::string nullUnderUrl(const std::string& url) {
  return JsonWriter().beginObject().key(url).null().endObject().text();
}

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

}  // namespace

ApiAnswers::ApiAnswers(const ServiceOptions& options, ServiceHooks& hooks, FileList& list, FileWorkers& workers,
                       EventNotes& events)
    : options_(options), hooks_(hooks), list_(list), workers_(workers), events_(events), random_(std::random_device{}()) {}

Answer ApiAnswers::answer(const QueryParams& params) {
  const QueryParam* function = findParam(params, "function");
  std::string name = function != nullptr ? function->value : "";
  if (name == "ping") {
    return Answer::json(200, JsonWriter().beginObject().key("ping").string("ok").key("apiversion").string(kServiceApiVersion).endObject().text());
  }
  if (name == "getClientAttributes") return clientAttributes();
  if (name == "setDownloadLimit") return setDownloadLimit(params);
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

uint64_t ApiAnswers::currentRate(TrackedFile& file, RateMeter::Clock::time_point now) {
  if (file.record.paused || file.record.complete || hooks_.stalled(file.record.url)) return 0;
  return file.rate.bytesPerSecond(now);
}

Answer ApiAnswers::fileAttributes(const std::string& url) {
  auto file = list_.find(url);
  if (!file) return Answer::json(200, underUrl(url, "File not found."));
  std::optional<std::string> forced = hooks_.forcedStatus(url);
  bool stalled = hooks_.stalled(url);
  bool reset = hooks_.resetRequested(url);
  std::lock_guard<std::mutex> lock(list_.state());
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

Answer ApiAnswers::downloadFile(const std::string& url, const QueryParams& params) {
  const QueryParam* pathParam = findParam(params, "path");
  const QueryParam* reset = findParam(params, "resetdownload");
  bool hasPath = pathParam != nullptr && !pathParam->value.empty();

  std::lock_guard<std::mutex> operations(list_.operations());
  auto file = list_.find(url);
  std::string clientPath;
  std::filesystem::path local;
  if (hasPath) {
    MappedPath mapped = options_.drives.toLocal(pathParam->value);
    if (!mapped.ok) return Answer::json(200, underUrl(url, mapped.error));
    clientPath = pathParam->value;
    local = mapped.local;
  } else if (file) {
    std::lock_guard<std::mutex> lock(list_.state());
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
    std::lock_guard<std::mutex> lock(list_.state());
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
    list_.add(file);
  } else {
    std::lock_guard<std::mutex> lock(list_.state());
    // A new place for a known file: its bytes are elsewhere, so it starts over there.
    if (local != file->local) fromZero = true;
    start = fromZero || file->record.paused || (!file->record.complete && !file->worker);
  }
  if (!start) return Answer::json(200, nullUnderUrl(url));

  workers_.stop(*file);
  {
    std::lock_guard<std::mutex> lock(list_.state());
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
  list_.save();
  workers_.start(file);
  return Answer::json(200, nullUnderUrl(url));
}

Answer ApiAnswers::pauseFile(const std::string& url) {
  std::lock_guard<std::mutex> operations(list_.operations());
  auto file = list_.find(url);
  if (!file) return Answer::json(200, underUrl(url, "file not found"));
  {
    std::lock_guard<std::mutex> lock(list_.state());
    if (file->record.complete) return Answer::json(200, underUrl(url, "cannot pause file already completed"));
  }
  workers_.stop(*file);
  {
    std::lock_guard<std::mutex> lock(list_.state());
    file->record.paused = true;
    file->rate.reset();
  }
  list_.save();
  return Answer::json(200, nullUnderUrl(url));
}

Answer ApiAnswers::deleteFile(const std::string& url, const QueryParams& params) {
  const QueryParam* keepParam = findParam(params, "keepphysicalfileondelete");
  bool keep = keepParam != nullptr && (keepParam->value == "true" || keepParam->value == "1");
  std::lock_guard<std::mutex> operations(list_.operations());
  auto file = list_.find(url);
  if (!file) return Answer::json(200, underUrl(url, "File not found."));
  if (hooks_.takeInUse()) return Answer::json(200, underUrl(url, "File is in use."));
  std::filesystem::path local;
  {
    std::lock_guard<std::mutex> lock(list_.state());
    local = file->local;
  }
  // Removing the bytes on disk needs the same proof as writing them; forgetting the file does not.
  if ((options_.challengeNewPaths && !keep) || hooks_.challengesDeletes()) {
    ChallengeStep step = challenge("deleteFile", url, local);
    if (!step.accepted) return Answer::json(200, underUrl(url, step.refusal));
  }
  workers_.stop(*file);
  // A file a scanner or a running installer holds stays known, so that the delete can be asked
  // again; the client is told it is in use.
  if (!keep && !RemoveFilePatiently(local, kRemovePatience)) {
    events_.note("cannot remove " + local.u8string() + ": it is in use");
    return Answer::json(200, underUrl(url, "File is in use."));
  }
  list_.forget(url);
  challenges_.erase(std::make_pair(std::string("downloadFile"), url));
  list_.save();
  return Answer::json(200, nullUnderUrl(url));
}

Answer ApiAnswers::clientAttributes() {
  uint64_t rate = 0;
  {
    auto now = RateMeter::Clock::now();
    std::lock_guard<std::mutex> lock(list_.state());
    for (auto& [url, file] : list_.filesLocked()) rate += currentRate(*file, now);
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
  // The service's own build version; "version" stays the number of the API it speaks.
  json.key("executableversion").string(options_.version);
  json.key("configurationversion").string("testbed-1");
  json.key("runningexecutable").string("download-service.exe");
  json.key("runningclientbinid").string("testbed");
  json.key("uploadspauseduntil").number(uploadsPausedUntil);
  json.key("downloadlimit").number(options_.fetch.budget != nullptr ? options_.fetch.budget->limit() : 0);
  json.endObject();
  return Answer::json(200, json.text());
}

Answer ApiAnswers::setDownloadLimit(const QueryParams& params) {
  const QueryParam* given = findParam(params, "bytespersecond");
  uint64_t limit = 0;
  // Up to a terabyte a second: anything larger is a mistake, not a limit.
  if (given == nullptr || !parseDecimal(given->value, &limit) || limit > (uint64_t{1} << 40) ||
      options_.fetch.budget == nullptr) {
    return Answer::json(400, "{\"error\":\"Invalid limit.\"}");
  }
  options_.fetch.budget->setLimit(static_cast<int64_t>(limit));
  events_.note(limit == 0 ? std::string("download speed: no limit")
                          : "download speed limited to " + std::to_string(limit) + " bytes a second");
  return Answer::json(200, JsonWriter().beginObject().key("downloadlimit").number(static_cast<int64_t>(limit)).endObject().text());
}

ApiAnswers::ChallengeStep ApiAnswers::challenge(const std::string& function, const std::string& url,
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

std::filesystem::path ApiAnswers::defaultLocation(const std::string& url) const {
  // FNV-1a keeps two URLs with the same file name apart.
  uint64_t hash = 14695981039346656037ull;
  for (char c : url) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  std::ostringstream name;
  name << std::hex << hash << "-" << fileNameFromUrl(url);
  return options_.stateDir / "files" / name.str();
}

}  // namespace svc
