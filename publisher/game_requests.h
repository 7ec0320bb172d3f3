// The game server's answers to the downloader and to the publisher:
//   GET  /downloads/v1/GAME             a new sid for a run of the game's current release (XML)
//   GET  /downloads/v1/GAME/SID/config  the files of the release the sid was given for (XML)
//   POST /downloads/v1/GAME/SID/stats   a statistics record (form: event, attr1, attr2)
//   GET  /track/?data=BASE64&ip=1       an analytics event; answers "1", or "0" when refused
//   GET  /health                        "ok", for the proxy in front
//   GET  /dashboard[?game=G&release=N]  the publisher's dashboard, behind HTTP Basic
//                                       authentication whose password is the dashboard token
// What is refused gets its own status and a line of text saying why: 400 malformed, 404 unknown
// game or sid, 405 wrong method, 413 body too large, 429 too many requests from one client (with
// Retry-After), 503 when the database cannot take it. A record or event sent twice is kept once
// and answered as the first time.
#ifndef PUBLISHER_GAME_REQUESTS_H
#define PUBLISHER_GAME_REQUESTS_H

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
};

// The client a request comes from: the address the proxy in front appended last to
// X-Forwarded-For (the one part a client cannot forge), else the connection's own side.
std::string clientOf(const web::HttpRequest& request);

class GameRequests {
 public:
  GameRequests(GameStore& store, GameRequestLimits limits);
  web::Answer handle(const web::HttpRequest& request);

 private:
  web::Answer sid(const std::string& game);
  web::Answer config(const std::string& game, const std::string& sid);
  web::Answer stats(const std::string& game, const std::string& sid, const std::string& body);
  web::Answer track(const std::string& rawQuery);
  web::Answer dashboard(const web::HttpRequest& request);

  GameStore& store_;
  GameRequestLimits limits_;
  RateLimiter limiter_;
};

}  // namespace publisher

#endif
