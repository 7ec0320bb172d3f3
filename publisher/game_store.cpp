#include "publisher/game_store.h"

#include <stdio.h>
#include <sys/random.h>
#include <time.h>

#include <algorithm>
#include <chrono>

#include "web/json_writer.h"

namespace publisher {
namespace {

// Portable SQL: the same text runs on SQLite and PostgreSQL.
const char* const kSchema[] = {
    "CREATE TABLE IF NOT EXISTS games (code TEXT PRIMARY KEY, current_release BIGINT)",
    "CREATE TABLE IF NOT EXISTS releases (game TEXT NOT NULL, number BIGINT NOT NULL, file_id TEXT NOT NULL, "
    "cdn_base TEXT NOT NULL, published_at BIGINT NOT NULL, previous BIGINT, PRIMARY KEY (game, number))",
    "CREATE TABLE IF NOT EXISTS release_files (game TEXT NOT NULL, release_number BIGINT NOT NULL, "
    "position BIGINT NOT NULL, name TEXT NOT NULL, size BIGINT NOT NULL, sha256 TEXT NOT NULL, "
    "PRIMARY KEY (game, release_number, position))",
    "CREATE TABLE IF NOT EXISTS sids (sid TEXT PRIMARY KEY, game TEXT NOT NULL, release_number BIGINT NOT NULL, "
    "created_at BIGINT NOT NULL)",
    "CREATE TABLE IF NOT EXISTS stats_posts (sid TEXT NOT NULL, event TEXT NOT NULL, attr1 TEXT NOT NULL, "
    "attr2 TEXT NOT NULL, received_at BIGINT NOT NULL, PRIMARY KEY (sid, event, attr1, attr2))",
    "CREATE TABLE IF NOT EXISTS events (digest TEXT PRIMARY KEY, game TEXT NOT NULL, release_number BIGINT NOT NULL, "
    "name TEXT NOT NULL, user_guid TEXT NOT NULL, sent_at BIGINT NOT NULL, received_at BIGINT NOT NULL, "
    "properties TEXT NOT NULL)",
    // One row per run of the downloader, as its events tell it. outcome: running, declined (ended
    // before the download began), cancelled, failed or completed.
    "CREATE TABLE IF NOT EXISTS runs (game TEXT NOT NULL, user_guid TEXT NOT NULL, started_at BIGINT NOT NULL, "
    "release_number BIGINT NOT NULL, outcome TEXT NOT NULL, auto_start BIGINT NOT NULL, initialised_at BIGINT, "
    "ended_at BIGINT, seconds BIGINT, speed_kib BIGINT, failure TEXT, failure_code BIGINT, os TEXT, screen TEXT, "
    "language TEXT, graphics TEXT, PRIMARY KEY (game, user_guid, started_at))",
    // The dashboard's questions, each answered from an index alone.
    "CREATE INDEX IF NOT EXISTS runs_by_seconds ON runs (game, release_number, outcome, seconds)",
    "CREATE INDEX IF NOT EXISTS runs_by_speed ON runs (game, release_number, outcome, speed_kib)",
    "CREATE INDEX IF NOT EXISTS runs_by_failure ON runs (game, release_number, outcome, failure, failure_code)",
    "CREATE INDEX IF NOT EXISTS runs_by_os ON runs (game, release_number, os)",
    "CREATE INDEX IF NOT EXISTS runs_by_screen ON runs (game, release_number, screen)",
    "CREATE INDEX IF NOT EXISTS runs_by_language ON runs (game, release_number, language)",
    "CREATE INDEX IF NOT EXISTS runs_by_graphics ON runs (game, release_number, graphics)",
    "CREATE INDEX IF NOT EXISTS sids_by_release ON sids (game, release_number)",
};

int64_t systemClock() { return static_cast<int64_t>(time(nullptr)); }

int64_t numberOr(const std::string* text, int64_t fallback) {
  if (text == nullptr || text->empty() || text->size() > 18) return fallback;
  int64_t value = 0;
  for (char c : *text) {
    if (c < '0' || c > '9') return fallback;
    value = value * 10 + (c - '0');
  }
  return value;
}

std::string textOr(const std::string* text) { return text != nullptr ? *text : std::string(); }

bool loadRelease(Database& db, const std::string& game, int64_t number, Release* release, std::string* error) {
  SqlRows rows;
  if (!db.run("SELECT file_id, cdn_base, published_at FROM releases WHERE game = ? AND number = ?", {game, number},
              &rows, nullptr, error)) {
    return false;
  }
  if (rows.empty()) {
    if (error != nullptr) *error = "no release " + std::to_string(number) + " of " + game;
    return false;
  }
  release->game = game;
  release->number = number;
  release->fileId = rows[0].text(0);
  release->cdnBase = rows[0].text(1);
  release->publishedAt = rows[0].integer(2);
  rows.clear();
  if (!db.run("SELECT name, size, sha256 FROM release_files WHERE game = ? AND release_number = ? ORDER BY position",
              {game, number}, &rows, nullptr, error)) {
    return false;
  }
  release->files.clear();
  for (const SqlRow& row : rows) {
    release->files.push_back({row.text(0), static_cast<uint64_t>(row.integer(1)), row.text(2)});
  }
  return true;
}

// The game's current release number, 0 when the game is unknown or has none.
bool currentNumber(Database& db, const std::string& game, int64_t* number, std::string* error) {
  SqlRows rows;
  if (!db.run("SELECT current_release FROM games WHERE code = ?", {game}, &rows, nullptr, error)) return false;
  *number = rows.empty() ? 0 : rows[0].integer(0);
  return true;
}

// Moves the run along as the event tells: a start makes it, then the download began, the
// machine's graphics, the end. The run an event belongs to is the player's latest run of the game
// that started at or before it; an event with no such run changes nothing.
bool advanceRun(Database& db, const PlayerEvent& event, const std::string& game, int64_t sentAt,
                const std::string& user, std::string* error) {
  auto property = [&event](const char* key) { return event.property(key); };
  if (event.name == "start" || event.name == "auto_start") {
    return db.run("INSERT INTO runs (game, user_guid, started_at, release_number, outcome, auto_start, os, screen, "
                  "language) SELECT code, ?, ?, current_release, 'running', ?, ?, ?, ? FROM games WHERE code = ? "
                  "ON CONFLICT (game, user_guid, started_at) DO NOTHING",
                  {user, sentAt, int64_t{event.name == "auto_start"}, textOr(property("system_os")),
                   textOr(property("system_screen")), textOr(property("system_language")), game},
                  error);
  }
  auto update = [&](const std::string& set, std::vector<SqlValue> values) {
    values.insert(values.end(), {SqlValue(game), SqlValue(user), SqlValue(game), SqlValue(user), SqlValue(sentAt)});
    return db.run("UPDATE runs SET " + set +
                      " WHERE game = ? AND user_guid = ? AND started_at = (SELECT MAX(started_at) FROM runs "
                      "WHERE game = ? AND user_guid = ? AND started_at <= ?)",
                  values, error);
  };
  if (event.name == "download_init") return update("initialised_at = ?", {sentAt});
  if (event.name == "stats") return update("graphics = ?", {textOr(property("system_graphics_card"))});
  if (event.name == "download_complete") {
    return update("outcome = 'completed', ended_at = ?, seconds = ? - started_at, speed_kib = ?",
                  {sentAt, sentAt, numberOr(property("approx_speed"), 0)});
  }
  if (event.name == "error" && textOr(property("critical")) == "1") {
    return update("failure = COALESCE(failure, ?), failure_code = COALESCE(failure_code, ?)",
                  {textOr(property("description")), numberOr(property("ak_error"), 0)});
  }
  if (event.name == "download_cancel") {
    const bool failed = textOr(property("error")) == "1";
    return update(std::string("outcome = CASE WHEN outcome <> 'running' THEN outcome ") +
                      (failed ? "ELSE 'failed' END" : "WHEN initialised_at IS NULL THEN 'declined' ELSE 'cancelled' END") +
                      ", ended_at = COALESCE(ended_at, ?)",
                  {sentAt});
  }
  return true;
}

}  // namespace

std::string randomHex128() {
  unsigned char bytes[16];
  size_t got = 0;
  while (got < sizeof bytes) {
    const ssize_t n = getrandom(bytes + got, sizeof bytes - got, 0);
    if (n > 0) got += static_cast<size_t>(n);
  }
  char text[33];
  for (size_t i = 0; i < sizeof bytes; ++i) snprintf(text + 2 * i, 3, "%02x", bytes[i]);
  return std::string(text, 32);
}

std::unique_ptr<GameStore> GameStore::open(const std::string& where, std::string* error, Clock clock) {
  Settings settings;
  settings.clock = std::move(clock);
  return open([where](std::string* why) { return openDatabase(where, why); }, error, std::move(settings));
}

std::unique_ptr<GameStore> GameStore::open(Connector connect, std::string* error, Settings settings) {
  std::unique_ptr<Database> database = connect(error);
  if (!database) return nullptr;
  for (const char* statement : kSchema) {
    std::string why;
    if (!database->run(statement, {}, &why)) {
      if (error != nullptr) *error = std::string("cannot make the tables: ") + why;
      return nullptr;
    }
  }
  return std::unique_ptr<GameStore>(new GameStore(std::move(database), std::move(connect), std::move(settings)));
}

GameStore::GameStore(std::unique_ptr<Database> database, Connector connect, Settings settings)
    : database_(std::move(database)),
      kind_(database_->kind()),
      connect_(std::move(connect)),
      clock_(settings.clock ? std::move(settings.clock) : systemClock),
      faults_(settings.faults != nullptr ? settings.faults : &ownFaults_),
      policy_(settings.reconnect),
      wait_(policy_.firstWait) {
  thread_ = std::thread([this] { loop(); });
}

GameStore::~GameStore() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  thread_.join();
}

bool GameStore::transact(const std::function<bool(Database&, std::string*)>& work, std::string* error) {
  auto job = std::make_shared<Job>();
  job->work = work;
  std::unique_lock<std::mutex> lock(mutex_);
  queue_.push_back(job);
  wake_.notify_one();
  finished_.wait(lock, [&job] { return job->done; });
  if (!job->ok && error != nullptr) *error = job->error;
  return job->ok;
}

bool GameStore::answers(std::string* error) {
  return transact(
      [](Database& db, std::string* why) {
        SqlRows rows;
        return db.run("SELECT 1", {}, &rows, nullptr, why) && rows.size() == 1;
      },
      error);
}

void GameStore::loop() {
  constexpr size_t kMostInOneCommit = 1000;
  for (;;) {
    std::vector<std::shared_ptr<Job>> batch;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) return;
      while (!queue_.empty() && batch.size() < kMostInOneCommit) {
        batch.push_back(std::move(queue_.front()));
        queue_.pop_front();
      }
    }
    runBatch(batch);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      for (auto& job : batch) job->done = true;
    }
    finished_.notify_all();
  }
}

void GameStore::failAll(std::vector<std::shared_ptr<Job>>& batch, const std::string& why) {
  for (auto& job : batch) {
    job->ok = false;
    job->error = why;
  }
}

bool GameStore::reconnect(std::string* error) {
  const auto now = SteadyClock::now();
  if (now < nextAttempt_) {
    *error = lastConnectError_;
    return false;
  }
  database_ = connect_(error);
  if (database_) {
    wait_ = policy_.firstWait;
    return true;
  }
  faults_->report("cannot reach the database", *error);
  lastConnectError_ = *error;
  nextAttempt_ = now + wait_;
  wait_ = std::min(wait_ * 2, policy_.longestWait);
  return false;
}

void GameStore::runBatch(std::vector<std::shared_ptr<Job>>& batch) {
  // A batch whose connection was lost under it waits for the database a little and runs again;
  // one that finds the connection already lost fails at once (the client's own retries take
  // over) unless the wait since the last attempt is over.
  int losses = 0;
  for (;;) {
    std::string why;
    if (!database_ && !reconnect(&why)) {
      if (losses == 0 || losses > policy_.attemptsPerBatch) {
        failAll(batch, "the database cannot be reached: " + why);
        return;
      }
      ++losses;
      std::this_thread::sleep_until(nextAttempt_);
      continue;
    }
    const uint64_t failuresBefore = database_->failures();
    if (runBatchOnce(batch)) return;
    if (!database_->connectionLost()) {
      if (database_->failures() != failuresBefore) {
        for (const auto& job : batch) {
          if (!job->ok) faults_->report("a database statement failed", job->error);
        }
      }
      return;
    }
    faults_->report("the database connection was lost", batch.front()->error);
    database_.reset();
    if (++losses > policy_.attemptsPerBatch) {
      failAll(batch, "the database connection was lost");
      return;
    }
  }
}

bool GameStore::runBatchOnce(std::vector<std::shared_ptr<Job>>& batch) {
  Database& db = *database_;
  // SQLite takes the write lock at once, so a publish in another process makes it wait instead of
  // failing halfway.
  const char* begin = std::string(kind()) == "SQLite" ? "BEGIN IMMEDIATE" : "BEGIN";
  std::string why;
  // Every job in one transaction, which is all but always what happens. A transaction that lost
  // to another one (several servers on one database) is run again, a few times.
  for (int attempt = 0; attempt < 4 && !db.connectionLost(); ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5 << attempt));
    if (!db.run(begin, {}, &why)) {
      if (db.lastFailureRetryable()) continue;
      break;
    }
    bool all = true;
    for (auto& job : batch) {
      job->error.clear();
      job->ok = job->work(db, &job->error);
      if (!job->ok) {
        all = false;
        break;
      }
    }
    if (all && db.run("COMMIT", {}, &why)) return true;
    if (all) faults_->report("a commit failed", why);
    const bool again = db.lastFailureRetryable();
    db.run("ROLLBACK", {}, nullptr);
    if (!again) break;
  }
  // A job failed (or the commit did): again, each job in a savepoint of its own, so that one bad
  // job costs only itself. Until the commit succeeds, no job has succeeded.
  if (db.connectionLost() || !db.run(begin, {}, &why)) {
    failAll(batch, "cannot begin: " + why);
    return false;
  }
  std::vector<bool> succeeded(batch.size(), false);
  for (size_t i = 0; i < batch.size(); ++i) {
    Job& job = *batch[i];
    job.error.clear();
    db.run("SAVEPOINT job", {}, nullptr);
    succeeded[i] = job.work(db, &job.error);
    if (!succeeded[i]) db.run("ROLLBACK TO SAVEPOINT job", {}, nullptr);
    db.run("RELEASE SAVEPOINT job", {}, nullptr);
  }
  if (!db.run("COMMIT", {}, &why)) {
    faults_->report("a commit failed", why);
    db.run("ROLLBACK", {}, nullptr);
    failAll(batch, "cannot commit: " + why);
    return false;
  }
  for (size_t i = 0; i < batch.size(); ++i) batch[i]->ok = succeeded[i];
  return std::find(succeeded.begin(), succeeded.end(), false) == succeeded.end();
}

std::optional<int64_t> GameStore::publish(const std::string& game, const std::string& cdnBase,
                                          const std::vector<ReleaseFile>& files, std::string* error) {
  int64_t number = 0;
  const int64_t now = clock_();
  const bool ok = transact(
      [&](Database& db, std::string* why) {
        SqlRows rows;
        int64_t current = 0;
        if (!db.run("SELECT COALESCE(MAX(number), 0) FROM releases WHERE game = ?", {game}, &rows, nullptr, why) ||
            !currentNumber(db, game, &current, why)) {
          return false;
        }
        number = rows[0].integer(0) + 1;
        if (!db.run("INSERT INTO releases (game, number, file_id, cdn_base, published_at, previous) "
                    "VALUES (?, ?, ?, ?, ?, ?)",
                    {game, number, game + "-" + std::to_string(number), cdnBase, now,
                     current > 0 ? SqlValue(current) : SqlValue(nullptr)},
                    why)) {
          return false;
        }
        for (size_t i = 0; i < files.size(); ++i) {
          if (!db.run("INSERT INTO release_files (game, release_number, position, name, size, sha256) "
                      "VALUES (?, ?, ?, ?, ?, ?)",
                      {game, number, static_cast<int64_t>(i + 1), files[i].name, static_cast<int64_t>(files[i].size),
                       files[i].sha256},
                      why)) {
            return false;
          }
        }
        return db.run("INSERT INTO games (code, current_release) VALUES (?, ?) "
                      "ON CONFLICT (code) DO UPDATE SET current_release = excluded.current_release",
                      {game, number}, why);
      },
      error);
  return ok ? std::optional<int64_t>(number) : std::nullopt;
}

std::optional<int64_t> GameStore::rollBack(const std::string& game, std::string* error) {
  int64_t previous = 0;
  const bool ok = transact(
      [&](Database& db, std::string* why) {
        int64_t current = 0;
        if (!currentNumber(db, game, &current, why)) return false;
        SqlRows rows;
        if (current == 0 || !db.run("SELECT previous FROM releases WHERE game = ? AND number = ?", {game, current},
                                    &rows, nullptr, why)) {
          if (current == 0 && why != nullptr) *why = game + " has no release";
          return false;
        }
        previous = rows.empty() ? 0 : rows[0].integer(0);
        if (previous == 0) {
          if (why != nullptr) *why = "release " + std::to_string(current) + " of " + game + " is its first";
          return false;
        }
        return db.run("UPDATE games SET current_release = ? WHERE code = ?", {previous, game}, why);
      },
      error);
  return ok ? std::optional<int64_t>(previous) : std::nullopt;
}

std::optional<Release> GameStore::currentRelease(const std::string& game) {
  Release release;
  const bool ok = transact(
      [&](Database& db, std::string* why) {
        int64_t current = 0;
        return currentNumber(db, game, &current, why) && current > 0 && loadRelease(db, game, current, &release, why);
      },
      nullptr);
  return ok ? std::optional<Release>(release) : std::nullopt;
}

bool GameStore::releases(const std::string& game, std::vector<Release>* all, std::string* error) {
  return transact(
      [&](Database& db, std::string* why) {
        all->clear();
        SqlRows rows;
        if (!db.run("SELECT number FROM releases WHERE game = ? ORDER BY number", {game}, &rows, nullptr, why)) {
          return false;
        }
        for (const SqlRow& row : rows) {
          Release release;
          if (!loadRelease(db, game, row.integer(0), &release, why)) return false;
          all->push_back(std::move(release));
        }
        return true;
      },
      error);
}

bool GameStore::games(std::vector<std::string>* codes) {
  return transact(
      [&](Database& db, std::string* why) {
        codes->clear();
        SqlRows rows;
        if (!db.run("SELECT code FROM games ORDER BY code", {}, &rows, nullptr, why)) return false;
        for (const SqlRow& row : rows) codes->push_back(row.text(0));
        return true;
      },
      nullptr);
}

Outcome GameStore::newSid(const std::string& game, std::string* sid) {
  const std::string fresh = randomHex128();
  const int64_t now = clock_();
  int64_t current = 0;
  // Run again after a lost connection, the insert may find its own row committed the first time.
  const bool ok = transact(
      [&](Database& db, std::string* why) {
        return currentNumber(db, game, &current, why) &&
               (current == 0 || db.run("INSERT INTO sids (sid, game, release_number, created_at) VALUES (?, ?, ?, ?) "
                                       "ON CONFLICT (sid) DO NOTHING",
                                       {fresh, game, current, now}, why));
      },
      nullptr);
  if (!ok) return Outcome::Failed;
  if (current == 0) return Outcome::UnknownGame;
  *sid = fresh;
  return Outcome::Stored;
}

Outcome GameStore::releaseOfSid(const std::string& game, const std::string& sid, Release* release) {
  bool known = false;
  const bool ok = transact(
      [&](Database& db, std::string* why) {
        SqlRows rows;
        if (!db.run("SELECT release_number FROM sids WHERE sid = ? AND game = ?", {sid, game}, &rows, nullptr, why)) {
          return false;
        }
        known = !rows.empty();
        return !known || loadRelease(db, game, rows[0].integer(0), release, why);
      },
      nullptr);
  if (!ok) return Outcome::Failed;
  return known ? Outcome::Found : Outcome::UnknownSid;
}

Outcome GameStore::recordStats(const std::string& game, const std::string& sid, const std::string& event,
                               const std::string& attr1, const std::string& attr2) {
  Outcome outcome = Outcome::Failed;
  const int64_t now = clock_();
  const bool committed = transact(
      [&](Database& db, std::string* why) {
        SqlRows rows;
        if (!db.run("SELECT 1 FROM sids WHERE sid = ? AND game = ?", {sid, game}, &rows, nullptr, why)) return false;
        if (rows.empty()) {
          outcome = Outcome::UnknownSid;
          return true;
        }
        int64_t changed = 0;
        if (!db.run("INSERT INTO stats_posts (sid, event, attr1, attr2, received_at) VALUES (?, ?, ?, ?, ?) "
                    "ON CONFLICT (sid, event, attr1, attr2) DO NOTHING",
                    {sid, event, attr1, attr2, now}, nullptr, &changed, why)) {
          return false;
        }
        outcome = changed > 0 ? Outcome::Stored : Outcome::Duplicate;
        return true;
      },
      nullptr);
  return committed ? outcome : Outcome::Failed;
}

Outcome GameStore::recordEvent(const PlayerEvent& event) {
  Outcome outcome = Outcome::Failed;
  const int64_t now = clock_();
  const std::string game = textOr(event.property("game_id"));
  const std::string user = textOr(event.property("distinct_id"));
  const int64_t sentAt = numberOr(event.property("time"), now);
  web::JsonWriter properties;
  properties.beginObject();
  for (const auto& [key, value] : event.properties) properties.key(key).string(value);
  properties.endObject();
  const bool committed = transact(
      [&](Database& db, std::string* why) {
        // Counted for the game's current release; nothing is written for a game with none.
        int64_t changed = 0;
        if (!db.run("INSERT INTO events (digest, game, release_number, name, user_guid, sent_at, received_at, "
                    "properties) SELECT ?, code, current_release, ?, ?, ?, ?, ? FROM games "
                    "WHERE code = ? AND current_release IS NOT NULL ON CONFLICT (digest) DO NOTHING",
                    {event.digest, event.name, user, sentAt, now, properties.text(), game}, nullptr, &changed, why)) {
          return false;
        }
        if (changed == 0) {
          int64_t release = 0;
          if (!currentNumber(db, game, &release, why)) return false;
          outcome = release == 0 ? Outcome::UnknownGame : Outcome::Duplicate;
          return true;
        }
        if (!advanceRun(db, event, game, sentAt, user, why)) return false;
        outcome = Outcome::Stored;
        return true;
      },
      nullptr);
  return committed ? outcome : Outcome::Failed;
}

}  // namespace publisher
