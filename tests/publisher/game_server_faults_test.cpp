// game-server when its parts fail: commits that fail (a seam around the real database that fails
// the commits it is told to), a PostgreSQL server stopped and started under load, and the
// answers that follow: every 200 is in the database afterwards, every failure is 503 with
// Retry-After, never "not found", and the server serves again by itself.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <algorithm>
#include <functional>
#include <set>
#include <thread>

#include "publisher/sha256.h"
#include "tests/publisher/game_server_fixture.h"

namespace publisher {
namespace {

using std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

// The real database, except that the commits for which failCommit says so fail, as they do on a
// full disk: the transaction is then rolled back and the caller told.
class FailingCommits : public Database {
 public:
  FailingCommits(std::unique_ptr<Database> inner, std::function<bool(int)> failCommit)
      : inner_(std::move(inner)), failCommit_(std::move(failCommit)) {}
  const char* kind() const override { return inner_->kind(); }
  bool connectionLost() const override { return inner_->connectionLost(); }

 protected:
  bool execute(std::string_view sql, const std::vector<SqlValue>& values, SqlRows* rows, int64_t* changed,
               std::string* error) override {
    if (sql == "COMMIT" && failCommit_(++commits_)) {
      inner_->run("ROLLBACK", {}, nullptr);
      *error = "database or disk is full (a test's failing commit)";
      return false;
    }
    return inner_->run(sql, values, rows, changed, error);
  }

 private:
  std::unique_ptr<Database> inner_;
  std::function<bool(int)> failCommit_;
  int commits_ = 0;
};

// The digest of the event a track target carries, as the server keys it.
std::string digestOf(const std::string& target) {
  const size_t start = target.find("data=") + 5;
  return sha256Hex(target.substr(start, target.find('&', start) - start));
}

class GameServerFaults : public GameServer {
 protected:
  // Sends events of distinct players from several clients at once until stop is set (or count
  // are sent), keeping what each was answered.
  void sendEvents(std::atomic<bool>& stop, int count, int clients = 4) {
    std::atomic<int> next{0};
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
      threads.emplace_back([&] {
        for (int i; !stop && (i = next++) < count;) {
          const std::string target = eventTarget("start", "player-" + std::to_string(i), 1000 + i);
          const testbedtest::Reply reply = get(target);
          std::lock_guard<std::mutex> lock(answersMutex_);
          answers_.push_back({digestOf(target), reply.status, reply.head.find("Retry-After: ") != std::string::npos,
                              SteadyClock::now()});
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  }

  // Every event answered 200 is stored; every other answer is 503 with Retry-After.
  void expectEveryAnswerTrue(size_t* ok, size_t* unavailable) {
    std::set<std::string> stored;
    for (const SqlRow& row : query("SELECT digest FROM events")) stored.insert(row.text(0));
    *ok = *unavailable = 0;
    for (const Answered& answered : answers_) {
      if (answered.status == 200) {
        ++*ok;
        EXPECT_EQ(stored.count(answered.digest), 1u) << "answered 200 but not stored";
      } else {
        ++*unavailable;
        EXPECT_EQ(answered.status, 503);
        EXPECT_TRUE(answered.retryAfter) << "a 503 says when to try again";
      }
    }
  }

  struct Answered {
    std::string digest;
    int status;
    bool retryAfter;
    SteadyClock::time_point at;
  };
  std::mutex answersMutex_;
  std::vector<Answered> answers_;
};

TEST_F(GameServerFaults, AFailedCommitIsAnswered503AndEveryAnswered200IsStored) {
  publishTwoReleases();
  const std::string sid = newSid();
  ASSERT_EQ(sid.size(), 32u);
  // From here the store's commits 3 to 12 fail, as on a disk that fills up and is freed.
  const std::string address = address_;
  startServer(GameRequestLimits{0, 0, 1024, kToken}, [address](std::string* why) -> std::unique_ptr<Database> {
    std::unique_ptr<Database> db = openDatabase(address, why);
    if (!db) return nullptr;
    return std::make_unique<FailingCommits>(std::move(db), [](int commit) { return commit >= 3 && commit <= 12; });
  });
  std::atomic<bool> never{false};
  sendEvents(never, 200);
  size_t ok = 0;
  size_t unavailable = 0;
  expectEveryAnswerTrue(&ok, &unavailable);
  EXPECT_GT(unavailable, 0u) << "some commits failed";
  EXPECT_GT(ok, 0u) << "and the later ones did not";

  // The statistics post, the sid and the configuration: a failed commit is never "stored" and
  // never "not found".
  std::atomic<int> failing{0};
  startServer(GameRequestLimits{0, 0, 1024, kToken}, [address, &failing](std::string* why) -> std::unique_ptr<Database> {
    std::unique_ptr<Database> db = openDatabase(address, why);
    if (!db) return nullptr;
    return std::make_unique<FailingCommits>(std::move(db), [&failing](int) { return failing > 0; });
  });
  failing = 1;
  EXPECT_EQ(post("/downloads/v1/irf/" + sid + "/stats", "event=pause&attr1=2").status, 503);
  EXPECT_EQ(get("/downloads/v1/irf").status, 503);
  EXPECT_EQ(get("/downloads/v1/irf/" + sid + "/config").status, 503);
  EXPECT_EQ(get("/health").status, 503);
  EXPECT_EQ(query("SELECT COUNT(*) FROM stats_posts")[0].integer(0), 0);
  failing = 0;
  std::this_thread::sleep_for(milliseconds(1100));  // the health answer is kept a second
  EXPECT_EQ(post("/downloads/v1/irf/" + sid + "/stats", "event=pause&attr1=2").status, 200);
  EXPECT_EQ(query("SELECT COUNT(*) FROM stats_posts")[0].integer(0), 1);
  EXPECT_EQ(get("/health").status, 200);
  std::lock_guard<std::mutex> lock(faultsMutex_);
  ASSERT_FALSE(faultLines_.empty());
  EXPECT_NE(faultLines_.front().find("database or disk is full"), std::string::npos) << faultLines_.front();
}

// The operator's list of releases: a database that cannot answer is a failure with its reason,
// never an empty list that reads as "no releases".
TEST_F(GameServerFaults, AListOfReleasesTheDatabaseCannotGiveIsAFailureNotAnEmptyList) {
  publishTwoReleases();
  const std::string address = address_;
  std::atomic<bool> failing{false};
  std::string error;
  std::unique_ptr<GameStore> store = GameStore::open(
      [address, &failing](std::string* why) -> std::unique_ptr<Database> {
        std::unique_ptr<Database> db = openDatabase(address, why);
        if (!db) return nullptr;
        return std::make_unique<FailingCommits>(std::move(db), [&failing](int) { return failing.load(); });
      },
      &error, GameStore::Settings{});
  ASSERT_TRUE(store) << error;
  std::vector<Release> all;
  ASSERT_TRUE(store->releases("irf", &all, &error)) << error;
  EXPECT_EQ(all.size(), 2u);
  failing = true;
  EXPECT_FALSE(store->releases("irf", &all, &error));
  EXPECT_NE(error.find("database or disk is full"), std::string::npos) << error;
}

TEST_F(GameServerFaults, APostgresServerStoppedUnderLoadIsServedAgainWithoutARestart) {
  const char* control = getenv("GAME_SERVER_TEST_POSTGRES_CONTROL");
  if (postgresServer() == nullptr || control == nullptr) GTEST_SKIP() << "needs tests/publisher/with-postgres";
  publishTwoReleases();
  std::atomic<bool> stop{false};
  std::thread load([&] { sendEvents(stop, 1000000, 3); });
  std::this_thread::sleep_for(milliseconds(500));
  ASSERT_EQ(system((std::string(control) + " stop >/dev/null").c_str()), 0);
  std::this_thread::sleep_for(milliseconds(2000));
  const int healthWhileDown = get("/health").status;
  ASSERT_EQ(system((std::string(control) + " start >/dev/null").c_str()), 0);
  const auto restarted = SteadyClock::now();
  // Served again: a run of 200s after the restart.
  bool recovered = false;
  while (!recovered && SteadyClock::now() - restarted < std::chrono::seconds(15)) {
    std::this_thread::sleep_for(milliseconds(200));
    std::lock_guard<std::mutex> lock(answersMutex_);
    recovered = answers_.size() > 20 && std::all_of(answers_.end() - 20, answers_.end(), [&](const Answered& a) {
                  return a.status == 200 && a.at > restarted;
                });
  }
  stop = true;
  load.join();
  EXPECT_TRUE(recovered) << "served again within seconds of the database's return";
  EXPECT_EQ(healthWhileDown, 503) << "/health tells the proxy";
  std::this_thread::sleep_for(milliseconds(1100));
  EXPECT_EQ(get("/health").status, 200);
  size_t ok = 0;
  size_t unavailable = 0;
  expectEveryAnswerTrue(&ok, &unavailable);
  EXPECT_GT(unavailable, 0u) << "the outage was seen";
}

TEST(FaultLog, EachKindIsToldAtMostOnceAMinuteWithHowManyMore) {
  int64_t now = 0;
  std::vector<std::string> lines;
  FaultLog log([&lines](const std::string& line) { lines.push_back(line); }, [&now] { return now; });
  log.report("a commit failed", "disk full\n");
  for (int i = 0; i < 1000; ++i) log.report("a commit failed", "disk full");
  log.report("cannot reach the database", "connection refused");
  now += 59999;
  log.report("a commit failed", "disk full");
  now += 1;
  log.report("a commit failed", "disk still full");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "game-server: a commit failed: disk full");
  EXPECT_EQ(lines[1], "game-server: cannot reach the database: connection refused");
  EXPECT_EQ(lines[2], "game-server: a commit failed: disk still full (and 1001 more since the last report)");
}

}  // namespace
}  // namespace publisher
