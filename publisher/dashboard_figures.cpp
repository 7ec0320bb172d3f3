#include "publisher/dashboard_figures.h"

namespace publisher {
namespace {

constexpr int64_t kMostLabels = 8;

bool spreadOf(Database& db, const DashboardFigures& figures, const char* column, Spread* spread, std::string* error) {
  const std::string where = std::string(" FROM runs WHERE game = ? AND release_number = ? AND outcome = 'completed' AND ") +
                            column + " IS NOT NULL";
  SqlRows rows;
  if (!db.run("SELECT COUNT(*)" + where, {figures.game, figures.release}, &rows, nullptr, error)) return false;
  spread->count = rows[0].integer(0);
  if (spread->count == 0) return true;
  auto at = [&](int percent, int64_t* value) {
    SqlRows found;
    const int64_t rank = (spread->count - 1) * percent / 100;
    if (!db.run("SELECT " + std::string(column) + where + " ORDER BY " + column + " LIMIT 1 OFFSET ?",
                {figures.game, figures.release, rank}, &found, nullptr, error)) {
      return false;
    }
    *value = found.empty() ? 0 : found[0].integer(0);
    return true;
  };
  return at(10, &spread->p10) && at(50, &spread->median) && at(90, &spread->p90) && at(99, &spread->p99);
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

bool readDashboard(GameStore& store, const std::string& game, int64_t release, DashboardFigures* figures,
                   std::string* error) {
  *figures = DashboardFigures();
  figures->game = game;
  return store.transact(
      [&](Database& db, std::string* why) {
        SqlRows rows;
        if (!db.run("SELECT current_release FROM games WHERE code = ?", {game}, &rows, nullptr, why)) return false;
        if (rows.empty()) {
          *why = "no such game: " + game;
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
}

}  // namespace publisher
