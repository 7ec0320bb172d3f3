#include "publisher/game_requests.h"

#include <set>
#include <vector>

#include "publisher/dashboard_page.h"
#include "publisher/sha256.h"
#include "publisher/track_query.h"
#include "publisher/xml_answers.h"
#include "web/base64.h"
#include "web/query.h"

namespace publisher {
namespace {

constexpr const char* kBasePath = "/downloads/v1/";
constexpr size_t kLongestAttribute = 64;
constexpr size_t kMostEventProperties = 64;

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

bool isWord(const std::string& value, size_t longest) {
  if (value.empty() || value.size() > longest) return false;
  for (char c : value) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-' || c == '.';
    if (!letter) return false;
  }
  return true;
}

bool isDecimal(const std::string& value) {
  if (value.empty() || value.size() > 20) return false;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool isSid(const std::string& value) {
  if (value.size() != 32) return false;
  for (char c : value) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
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

// The password of an "Authorization: Basic" header, or empty.
std::string basicPassword(const web::HttpRequest& request) {
  const std::string* header = request.header("Authorization");
  if (header == nullptr || header->compare(0, 6, "Basic ") != 0) return {};
  std::optional<std::string> credentials = web::decodeBase64(web::trim(std::string_view(*header).substr(6)));
  if (!credentials) return {};
  const size_t colon = credentials->find(':');
  return colon == std::string::npos ? std::string() : credentials->substr(colon + 1);
}

// The status of a request whose record or event met this outcome: a record kept before is
// answered as the first time.
int statusOf(Outcome outcome) {
  switch (outcome) {
    case Outcome::Stored:
    case Outcome::Duplicate:
      return 200;
    case Outcome::UnknownGame:
    case Outcome::UnknownSid:
      return 404;
    case Outcome::Failed:
      break;
  }
  return 503;
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

std::string clientOf(const web::HttpRequest& request) {
  const std::string* forwarded = request.header("X-Forwarded-For");
  if (forwarded == nullptr || forwarded->empty()) return "direct";
  const size_t comma = forwarded->rfind(',');
  return std::string(web::trim(std::string_view(*forwarded).substr(comma == std::string::npos ? 0 : comma + 1)));
}

GameRequests::GameRequests(GameStore& store, GameRequestLimits limits)
    : store_(store), limits_(limits), limiter_(limits.requestsPerSecond, limits.burst) {}

web::Answer GameRequests::handle(const web::HttpRequest& request) {
  if (request.path == "/health") return text(200, "ok");
  if (!limiter_.allow(clientOf(request))) {
    web::Answer answer = text(429, "too many requests from one client; try again shortly");
    answer.headers.push_back({"Retry-After", "1"});
    return answer;
  }
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
  if (parts.empty() || !isWord(parts[0], 32)) return text(404, "no such game");
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

web::Answer GameRequests::sid(const std::string& game) {
  std::optional<std::string> sid = store_.newSid(game);
  if (!sid) return text(404, "no such game, or it has no release");
  return xml(sidAnswer(*sid));
}

web::Answer GameRequests::config(const std::string& game, const std::string& sid) {
  std::optional<Release> release = store_.releaseOfSid(game, sid);
  if (!release) return text(404, "no such sid for this game");
  return xml(configXml(*release));
}

web::Answer GameRequests::stats(const std::string& game, const std::string& sid, const std::string& body) {
  std::string event;
  std::string attr1;
  std::string attr2;
  std::set<std::string> seen;
  for (const web::QueryParam& field : web::parseQuery(body)) {
    if (!seen.insert(field.name).second) return text(400, "a field is given twice: " + field.name);
    if (field.name == "event") {
      event = field.value;
    } else if (field.name == "attr1") {
      attr1 = field.value;
    } else if (field.name == "attr2") {
      attr2 = field.value;
    } else {
      return text(400, "unknown field: " + field.name.substr(0, kLongestAttribute));
    }
  }
  static const std::set<std::string> kEvents = {"partial_complete", "complete", "pause", "unpause"};
  if (kEvents.count(event) == 0) return text(400, "unknown statistics event");
  if (!attr1.empty() && !isWord(attr1, kLongestAttribute)) return text(400, "attr1 is not an identifier");
  if (!attr2.empty() && !isDecimal(attr2)) return text(400, "attr2 is not a decimal number");
  const int status = statusOf(store_.recordStats(game, sid, event, attr1, attr2));
  return text(status, status == 200   ? "ok"
                      : status == 404 ? "no such sid for this game"
                                      : "the record could not be kept; try again");
}

web::Answer GameRequests::track(const std::string& rawQuery) {
  const TrackedEvent tracked = readTrackQuery(rawQuery);
  if (!tracked.readable) return text(400, "0");
  if (!isWord(tracked.event, kLongestAttribute) || tracked.properties.size() > kMostEventProperties) {
    return text(400, "0");
  }
  PlayerEvent event;
  event.name = tracked.event;
  for (const auto& [key, value] : tracked.properties) {
    if (value.kind != web::JsonValue::Kind::String || key.empty() || key.size() > kLongestAttribute) {
      return text(400, "0");
    }
    event.properties.emplace_back(key, value.text);
  }
  const std::string* game = event.property("game_id");
  const std::string* user = event.property("distinct_id");
  const std::string* time = event.property("time");
  if (game == nullptr || !isWord(*game, 32) || user == nullptr || user->empty() || user->size() > 128 ||
      time == nullptr || !isDecimal(*time)) {
    return text(400, "0");
  }
  event.digest = sha256Hex(tracked.data);
  const int status = statusOf(store_.recordEvent(event));
  return text(status, status == 200 ? "1" : "0");
}

web::Answer GameRequests::dashboard(const web::HttpRequest& request) {
  if (limits_.dashboardToken.empty()) return text(404, "no dashboard: the server was started without a token");
  if (!sameSecret(basicPassword(request), limits_.dashboardToken)) {
    web::Answer answer = text(401, "the dashboard needs the publisher's token as its password");
    answer.headers.push_back({"WWW-Authenticate", "Basic realm=\"game server dashboard\", charset=\"UTF-8\""});
    return answer;
  }
  const web::QueryParams params = web::parseQuery(request.rawQuery);
  const std::vector<std::string> games = store_.games();
  const web::QueryParam* game = web::findParam(params, "game");
  const web::QueryParam* release = web::findParam(params, "release");
  if (games.empty()) return text(404, "no game has been published yet");
  const std::string chosen = game != nullptr ? game->value : games.front();
  const int64_t number = release != nullptr && isDecimal(release->value) && release->value.size() < 10
                             ? std::stoll(release->value)
                             : 0;
  DashboardFigures figures;
  std::string error;
  if (!readDashboard(store_, chosen, number, &figures, &error)) return text(404, error);
  web::Answer answer;
  answer.headers.push_back({"Content-Type", "text/html; charset=utf-8"});
  answer.headers.push_back({"Cache-Control", "no-store"});
  answer.headers.push_back({"Content-Security-Policy", "default-src 'none'; style-src 'unsafe-inline'"});
  answer.body = dashboardPage(figures, games);
  return answer;
}

}  // namespace publisher
