// The dashboard's figures for one release of a game, read from the runs the events told of: how
// many runs started and how they ended, why the failed ones failed, how long a complete download
// took and how fast it went, and the players' systems.
#ifndef PUBLISHER_DASHBOARD_FIGURES_H
#define PUBLISHER_DASHBOARD_FIGURES_H

#include <stdint.h>

#include <string>
#include <vector>

#include "publisher/game_store.h"

namespace publisher {

struct LabelCount {
  std::string label;
  int64_t count = 0;
};

struct FailureCount {
  std::string description;
  int64_t code = 0;
  int64_t count = 0;
};

// Percentiles of a set of values (the value at that rank of the sorted set); all 0 when empty.
struct Spread {
  int64_t count = 0;
  int64_t p10 = 0;
  int64_t median = 0;
  int64_t p90 = 0;
  int64_t p99 = 0;
};

struct DashboardFigures {
  std::string game;
  int64_t release = 0;
  std::vector<int64_t> releases;  // every release of the game, oldest first
  int64_t current = 0;            // the one players get now
  int64_t sids = 0;               // sids given out for this release
  int64_t started = 0;
  int64_t declined = 0;  // ended before the download began: the licence declined, or closed at once
  int64_t completed = 0;
  int64_t cancelled = 0;
  int64_t failed = 0;
  int64_t running = 0;  // no end heard of yet
  std::vector<FailureCount> failures;  // most frequent first
  Spread seconds;                      // time to complete, seconds
  Spread speed;                        // the downloader's average speed, KiB/s
  std::vector<LabelCount> os, screen, language, graphics;  // most frequent first, at most 8 each
};

// Figures for release (0: the game's current one): Found, UnknownGame (the game or that release of
// it is unknown) or Failed, with the reason in error.
Outcome readDashboard(GameStore& store, const std::string& game, int64_t release, DashboardFigures* figures,
                      std::string* error);

}  // namespace publisher

#endif
