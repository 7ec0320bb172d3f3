// The game server's answers to the downloader and to the publisher:
//   GET  /downloads/v1/GAME             a new sid for a run of the game's current release (XML)
//   GET  /downloads/v1/GAME/SID/config  the files of the release the sid was given for (XML)
//   POST /downloads/v1/GAME/SID/stats   a statistics record (form: event, attr1, attr2)
//   GET  /track/?data=BASE64&ip=1       an analytics event; answers "1", or "0" when refused
//   GET  /health                        "ok" when the database answers, else 503, for the proxy
//   GET  /dashboard[?game=G&release=N]  the publisher's dashboard, behind HTTP Basic
//                                       authentication whose password is the dashboard token
// What is refused gets its own status and a line of text saying why: 400 malformed, 404 unknown
// game or sid, 405 wrong method, 413 body too large, 429 too many requests from one client (with
// Retry-After), 503 (with Retry-After) when the database cannot take it. A record or event sent
// twice is kept once and answered as the first time. Each request is counted against its client's
// rate before anything else is done with it, and only then written to the request log (health
// checks never are).
#ifndef PUBLISHER_GAME_REQUESTS_H
#define PUBLISHER_GAME_REQUESTS_H

#include <stdint.h>

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

#include "publisher/game_store.h"
#include "publisher/rate_limiter.h"
#include "web/http_server.h"

namespace publisher {

struct GameRequestLimits {
  double requestsPerSecond = 50;  // per client; 0: no limit
  double burst = 200;
  size_t largestStatsBody = 1024;
  std::string dashboardToken;  // empty: no dashboard
  // Behind a proxy, the client is what the proxy says in X-Forwarded-For, and a request without
  // that header is refused; otherwise the client is the connection's own address.
  bool behindProxy = false;
};

// The client a request comes from: behind a proxy, the last entry of the last X-Forwarded-For
// line (the one the proxy in front appended; whatever came before it the client may have
// written), none when there is no such entry; otherwise the connection's address.
std::optional<std::string> clientOf(const web::HttpRequest& request, bool behindProxy);

class GameRequests {
 public:
  // Called with each request that is served, and its client, before it is answered.
  using Recorder = std::function<void(const web::HttpRequest& request, uint64_t connection, const std::string& client)>;

  GameRequests(GameStore& store, GameRequestLimits limits, Recorder recorder = nullptr);
  web::Answer handle(const web::HttpRequest& request, uint64_t connection = 0);

 private:
  web::Answer route(const web::HttpRequest& request);
  web::Answer health();
  web::Answer sid(const std::string& game);
  web::Answer config(const std::string& game, const std::string& sid);
  web::Answer stats(const std::string& game, const std::string& sid, const std::string& body);
  web::Answer track(const std::string& rawQuery);
  web::Answer dashboard(const web::HttpRequest& request);

  GameStore& store_;
  GameRequestLimits limits_;
  Recorder recorder_;
  RateLimiter limiter_;
  // The database is asked at most once a second however often the proxy asks.
  std::mutex healthMutex_;
  std::chrono::steady_clock::time_point healthAskedAt_{};
  bool healthy_ = false;
  std::string healthReason_;
};

}  // namespace publisher

#endif
