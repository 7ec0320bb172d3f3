#include "publisher/game_requests.h"

#include <vector>

#include "publisher/dashboard_page.h"
#include "publisher/player_event.h"
#include "publisher/sha256.h"
#include "publisher/stats_form.h"
#include "publisher/text_checks.h"
#include "publisher/xml_answers.h"
#include "web/base64.h"
#include "web/query.h"

namespace publisher {
namespace {

constexpr const char* kBasePath = "/downloads/v1/";
constexpr size_t kLongestAddress = 64;
// How long a client told that the database cannot take its request should wait before it asks
// again.
constexpr const char* kRetryAfterFault = "5";

web::Answer text(int status, std::string body) {
  web::Answer answer;
  answer.status = status;
  answer.headers.push_back({"Content-Type", "text/plain; charset=utf-8"});
  answer.body = std::move(body) + "\n";
  return answer;
}

web::Answer xml(std::string body) {
  web::Answer answer;
  answer.headers.push_back({"Content-Type", "text/xml; charset=utf-8"});
  answer.body = std::move(body);
  return answer;
}

// The database could not take the request: the client is to try again shortly.
web::Answer unavailable(std::string body) {
  web::Answer answer = text(503, std::move(body));
  answer.headers.push_back({"Retry-After", kRetryAfterFault});
  return answer;
}

bool isSid(const std::string& value) {
  if (value.size() != 32) return false;
  for (char c : value) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

// Letters, digits, "." and ":": an IPv4 or IPv6 address as a proxy writes it.
bool looksLikeAddress(std::string_view value) {
  if (value.empty() || value.size() > kLongestAddress) return false;
  for (char c : value) {
    const bool allowed = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || c == '.' ||
                         c == ':';
    if (!allowed) return false;
  }
  return true;
}

std::vector<std::string> split(const std::string& path, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t end = path.find(separator, start);
    parts.push_back(path.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) return parts;
    start = end + 1;
  }
}

// Compares in time that depends only on the lengths, so the token cannot be guessed byte by byte.
bool sameSecret(const std::string& given, const std::string& secret) {
  unsigned char difference = given.size() == secret.size() ? 0 : 1;
  for (size_t i = 0; i < given.size(); ++i) difference |= static_cast<unsigned char>(given[i] ^ secret[i % secret.size()]);
  return difference == 0;
}

// The password of an "Authorization: Basic" header (the scheme's name in any case), or empty.
std::string basicPassword(const web::HttpRequest& request) {
  const std::string* header = request.header("Authorization");
  if (header == nullptr || header->size() < 6 || !web::equalsIgnoringCase(header->substr(0, 6), "Basic ")) return {};
  std::optional<std::string> credentials = web::decodeBase64(web::trim(std::string_view(*header).substr(6)));
  if (!credentials) return {};
  const size_t colon = credentials->find(':');
  return colon == std::string::npos ? std::string() : credentials->substr(colon + 1);
}

// The answer to a write that met this outcome: a record kept before is answered as the first time.
web::Answer writeAnswer(Outcome outcome, const char* stored, const char* unknown, const char* failed) {
  switch (outcome) {
    case Outcome::Stored:
    case Outcome::Duplicate:
    case Outcome::Found:
      return text(200, stored);
    case Outcome::UnknownGame:
    case Outcome::UnknownSid:
      return text(404, unknown);
    case Outcome::Failed:
      break;
  }
  return unavailable(failed);
}

std::string configXml(const Release& release) {
  std::vector<ConfigEntry> entries;
  std::string base = release.cdnBase;
  while (!base.empty() && base.back() == '/') base.pop_back();
  for (size_t i = 0; i < release.files.size(); ++i) {
    const std::string number = std::to_string(i + 1);
    entries.push_back({number, number, base + "/" + web::percentEncode(release.files[i].name), release.files[i].sha256,
                       release.files[i].name});
  }
  return configAnswer(release.fileId, entries);
}

}  // namespace

std::optional<std::string> clientOf(const web::HttpRequest& request, bool behindProxy) {
  if (!behindProxy) return request.peerAddress;
  const std::string* last = nullptr;
  for (const web::Header& header : request.headers) {
    if (web::equalsIgnoringCase(header.name, "X-Forwarded-For")) last = &header.value;
  }
  if (last == nullptr) return std::nullopt;
  const size_t comma = last->rfind(',');
  const std::string_view entry = web::trim(std::string_view(*last).substr(comma == std::string::npos ? 0 : comma + 1));
  if (!looksLikeAddress(entry)) return std::nullopt;
  return std::string(entry);
}

GameRequests::GameRequests(GameStore& store, GameRequestLimits limits, Recorder recorder)
    : store_(store),
      limits_(std::move(limits)),
      recorder_(std::move(recorder)),
      limiter_(limits_.requestsPerSecond, limits_.burst) {}

web::Answer GameRequests::handle(const web::HttpRequest& request, uint64_t connection) {
  const bool isHealth = request.path == "/health";
  // A health check straight from the machine (not through the proxy) counts as the connection's.
  std::optional<std::string> client = clientOf(request, limits_.behindProxy && !isHealth);
  if (!client) return text(400, "no client address: the proxy in front must add X-Forwarded-For");
  if (!limiter_.allow(*client)) {
    web::Answer answer = text(429, "too many requests from one client; try again shortly");
    answer.headers.push_back({"Retry-After", "1"});
    return answer;
  }
  if (isHealth) return health();
  if (recorder_) recorder_(request, connection, *client);
  return route(request);
}

web::Answer GameRequests::route(const web::HttpRequest& request) {
  if (request.path == "/track/" || request.path == "/track") {
    if (request.method != "GET") return text(405, "the analytics endpoint takes GET");
    return track(request.rawQuery);
  }
  if (request.path == "/dashboard") {
    if (request.method != "GET") return text(405, "the dashboard takes GET");
    return dashboard(request);
  }
  if (request.path.rfind(kBasePath, 0) != 0) return text(404, "no such path");
  const std::vector<std::string> parts = split(request.path.substr(std::string(kBasePath).size()), '/');
  if (parts.empty() || !isGameCode(parts[0])) return text(404, "no such game");
  const std::string& game = parts[0];
  if (parts.size() == 1) {
    if (request.method != "GET") return text(405, "the sid takes GET");
    return sid(game);
  }
  if (parts.size() != 3 || !isSid(parts[1])) return text(404, "no such path");
  if (parts[2] == "config") {
    if (request.method != "GET") return text(405, "the configuration takes GET");
    return config(game, parts[1]);
  }
  if (parts[2] == "stats") {
    if (request.method != "POST") return text(405, "statistics are posted");
    if (request.body.size() > limits_.largestStatsBody) return text(413, "the statistics record is too large");
    return stats(game, parts[1], request.body);
  }
  return text(404, "no such path");
}

web::Answer GameRequests::health() {
  std::lock_guard<std::mutex> lock(healthMutex_);
  const auto now = std::chrono::steady_clock::now();
  if (now - healthAskedAt_ >= std::chrono::seconds(1)) {
    healthReason_.clear();
    healthy_ = store_.answers(&healthReason_);
    healthAskedAt_ = std::chrono::steady_clock::now();
  }
  if (healthy_) return text(200, "ok");
  return unavailable("the database does not answer");
}

web::Answer GameRequests::sid(const std::string& game) {
  std::string sid;
  const Outcome outcome = store_.newSid(game, &sid);
  if (outcome != Outcome::Stored) {
    return writeAnswer(outcome, "", "no such game, or it has no release", "no sid can be given now; try again");
  }
  return xml(sidAnswer(sid));
}

web::Answer GameRequests::config(const std::string& game, const std::string& sid) {
  Release release;
  const Outcome outcome = store_.releaseOfSid(game, sid, &release);
  if (outcome != Outcome::Found) {
    return writeAnswer(outcome, "", "no such sid for this game", "the configuration cannot be read now; try again");
  }
  return xml(configXml(release));
}

web::Answer GameRequests::stats(const std::string& game, const std::string& sid, const std::string& body) {
  std::string why;
  const std::optional<StatsRecord> record = readStatsForm(body, &why);
  if (!record) return text(400, why);
  return writeAnswer(store_.recordStats(game, sid, record->event, record->attr1, record->attr2), "ok",
                     "no such sid for this game", "the record could not be kept; try again");
}

web::Answer GameRequests::track(const std::string& rawQuery) {
  std::optional<PlayerEvent> event = readPlayerEvent(rawQuery, nullptr);
  if (!event) return text(400, "0");
  event->digest = sha256Hex(event->data);
  return writeAnswer(store_.recordEvent(*event), "1", "0", "0");
}

web::Answer GameRequests::dashboard(const web::HttpRequest& request) {
  if (limits_.dashboardToken.empty()) return text(404, "no dashboard: the server was started without a token");
  if (!sameSecret(basicPassword(request), limits_.dashboardToken)) {
    web::Answer answer = text(401, "the dashboard needs the publisher's token as its password");
    answer.headers.push_back({"WWW-Authenticate", "Basic realm=\"game server dashboard\", charset=\"UTF-8\""});
    return answer;
  }
  const web::QueryParams params = web::parseQuery(request.rawQuery);
  std::vector<std::string> games;
  if (!store_.games(&games)) return unavailable("the dashboard cannot be read now; try again");
  const web::QueryParam* game = web::findParam(params, "game");
  const web::QueryParam* release = web::findParam(params, "release");
  if (games.empty()) return text(404, "no game has been published yet");
  const std::string chosen = game != nullptr ? game->value : games.front();
  if (!isGameCode(chosen)) return text(404, "no such game");
  const int64_t number = release != nullptr && isDecimal(release->value) && release->value.size() < 10
                             ? std::stoll(release->value)
                             : 0;
  DashboardFigures figures;
  std::string error;
  const Outcome outcome = readDashboard(store_, chosen, number, &figures, &error);
  if (outcome == Outcome::UnknownGame) return text(404, error);
  if (outcome != Outcome::Found) return unavailable("the dashboard cannot be read now; try again");
  web::Answer answer;
  answer.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  answer.headers.push_back({"Cache-Control", "no-store"});
  answer.headers.push_back({"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"});
  answer.body = dashboardPage(figures, games);
  return answer;
}

}  // namespace publisher
