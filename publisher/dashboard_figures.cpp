#include "publisher/dashboard_figures.h"

namespace publisher {
namespace {

constexpr int64_t kMostLabels = 8;

// Percentiles from one pass over the column's index: the count of each distinct value, in order.
bool spreadOf(Database& db, const DashboardFigures& figures, const char* column, Spread* spread, std::string* error) {
  SqlRows rows;
  if (!db.run(std::string("SELECT ") + column + ", COUNT(*) FROM runs WHERE game = ? AND release_number = ? AND " +
                  "outcome = 'completed' AND " + column + " IS NOT NULL GROUP BY " + column + " ORDER BY " + column,
              {figures.game, figures.release}, &rows, nullptr, error)) {
    return false;
  }
  for (const SqlRow& row : rows) spread->count += row.integer(1);
  if (spread->count == 0) return true;
  const std::pair<int, int64_t*> wanted[] = {{10, &spread->p10}, {50, &spread->median}, {90, &spread->p90},
                                             {99, &spread->p99}};
  int64_t seen = 0;
  size_t next = 0;
  for (const SqlRow& row : rows) {
    seen += row.integer(1);
    // The value at rank (count - 1) * percent / 100, counting from 0.
    while (next < 4 && (spread->count - 1) * wanted[next].first / 100 < seen) *wanted[next++].second = row.integer(0);
  }
  return true;
}

bool labelsOf(Database& db, const DashboardFigures& figures, const char* column, std::vector<LabelCount>* labels,
              std::string* error) {
  SqlRows rows;
  if (!db.run("SELECT " + std::string(column) + ", COUNT(*) AS n FROM runs WHERE game = ? AND release_number = ? "
                                                "GROUP BY " + column + " ORDER BY n DESC, " + column + " LIMIT ?",
              {figures.game, figures.release, kMostLabels}, &rows, nullptr, error)) {
    return false;
  }
  for (const SqlRow& row : rows) {
    labels->push_back({row.columns[0] && !row.columns[0]->empty() ? *row.columns[0] : "unknown", row.integer(1)});
  }
  return true;
}

}  // namespace

Outcome readDashboard(GameStore& store, const std::string& game, int64_t release, DashboardFigures* figures,
                      std::string* error) {
  bool unknown = false;
  const bool ok = store.transact(
      [&](Database& db, std::string* why) {
        unknown = false;
        *figures = DashboardFigures();
        figures->game = game;
        SqlRows rows;
        if (!db.run("SELECT current_release FROM games WHERE code = ?", {game}, &rows, nullptr, why)) return false;
        if (rows.empty()) {
          *why = "no such game: " + game;
          unknown = true;
          return false;
        }
        figures->current = rows[0].integer(0);
        figures->release = release > 0 ? release : figures->current;
        rows.clear();
        if (!db.run("SELECT number FROM releases WHERE game = ? ORDER BY number", {game}, &rows, nullptr, why)) {
          return false;
        }
        bool known = false;
        for (const SqlRow& row : rows) {
          figures->releases.push_back(row.integer(0));
          known = known || row.integer(0) == figures->release;
        }
        if (!known) {
          *why = "no release " + std::to_string(figures->release) + " of " + game;
          unknown = true;
          return false;
        }
        const std::vector<SqlValue> key = {game, figures->release};
        rows.clear();
        if (!db.run("SELECT COUNT(*) FROM sids WHERE game = ? AND release_number = ?", key, &rows, nullptr, why)) {
          return false;
        }
        figures->sids = rows[0].integer(0);
        rows.clear();
        if (!db.run("SELECT outcome, COUNT(*) FROM runs WHERE game = ? AND release_number = ? GROUP BY outcome", key,
                    &rows, nullptr, why)) {
          return false;
        }
        for (const SqlRow& row : rows) {
          const std::string outcome = row.text(0);
          const int64_t count = row.integer(1);
          figures->started += count;
          if (outcome == "declined") figures->declined = count;
          if (outcome == "completed") figures->completed = count;
          if (outcome == "cancelled") figures->cancelled = count;
          if (outcome == "failed") figures->failed = count;
          if (outcome == "running") figures->running = count;
        }
        rows.clear();
        if (!db.run("SELECT failure, failure_code, COUNT(*) AS n FROM runs WHERE game = ? AND release_number = ? AND "
                    "outcome = 'failed' GROUP BY failure, failure_code ORDER BY n DESC, failure LIMIT 20",
                    key, &rows, nullptr, why)) {
          return false;
        }
        for (const SqlRow& row : rows) {
          figures->failures.push_back({row.columns[0] ? *row.columns[0] : "no error reported", row.integer(1),
                                       row.integer(2)});
        }
        return spreadOf(db, *figures, "seconds", &figures->seconds, why) &&
               spreadOf(db, *figures, "speed_kib", &figures->speed, why) &&
               labelsOf(db, *figures, "os", &figures->os, why) &&
               labelsOf(db, *figures, "screen", &figures->screen, why) &&
               labelsOf(db, *figures, "language", &figures->language, why) &&
               labelsOf(db, *figures, "graphics", &figures->graphics, why);
      },
      error);
  if (ok) return Outcome::Found;
  return unknown ? Outcome::UnknownGame : Outcome::Failed;
}

}  // namespace publisher
