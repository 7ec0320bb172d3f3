// The game server over real sockets, on SQLite and (when GAME_SERVER_TEST_POSTGRES names a
// server, as tests/publisher/with-postgres arranges) on PostgreSQL: releases and their answers,
// hostile posts, and the runs the events tell of.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <memory>
#include <thread>

#include "publisher/database.h"
#include "publisher/game_requests.h"
#include "publisher/game_store.h"
#include "telemetry/base64.h"
#include "tests/service/api_client.h"
#include "tests/support/temp_folder.h"
#include "web/http_server.h"

namespace publisher {
namespace {

const char* postgresServer() { return getenv("GAME_SERVER_TEST_POSTGRES"); }

const std::string kToken = "dashboard-token-for-tests";

std::string base64(const std::string& bytes) { return EncodeBase64(bytes); }

// An event as the downloader sends it: its own properties, then the common ones.
std::string eventTarget(const std::string& name, const std::string& user, int64_t time,
                        const std::string& own = "", const std::string& game = "irf") {
  std::string json = "{\"event\":\"" + name + "\",\"properties\":{" + own + (own.empty() ? "" : ",") +
                     "\"user_guid\":\"" + user + "\",\"distinct_id\":\"" + user + "\",\"time\":\"" +
                     std::to_string(time) + "\",\"game_id\":\"" + game +
                     "\",\"system_os\":\"Windows 11\",\"system_screen\":\"1920x1080\",\"system_language\":\"en\"}}";
  return "/track/?data=" + base64(json) + "&ip=1";
}

class GameServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* server = postgresServer()) {
      // A database of its own for each test.
      std::string error;
      std::unique_ptr<Database> admin = openPostgres(server, &error);
      ASSERT_TRUE(admin) << error;
      const std::string name = "game_server_" + randomHex128().substr(0, 12);
      ASSERT_TRUE(admin->run("CREATE DATABASE " + name, {}, &error)) << error;
      address_ = std::string(server) + " dbname=" + name;
    } else {
      address_ = (folder_.path() / "game-server.db").string();
    }
    startServer(GameRequestLimits{0, 0, 1024, kToken});
  }

  void startServer(GameRequestLimits limits) {
    server_.reset();
    requests_.reset();
    store_.reset();
    std::string error;
    store_ = GameStore::open(address_, &error);
    ASSERT_TRUE(store_) << error;
    requests_ = std::make_unique<GameRequests>(*store_, limits);
    server_ = std::make_unique<web::HttpServer>(
        [this](const web::HttpRequest& request, uint64_t) { return requests_->handle(request); });
    ASSERT_TRUE(server_->start(0, &error)) << error;
  }

  testbedtest::Reply get(const std::string& target, const std::string& headers = "") {
    return testbedtest::exchangeOnce(server_->port(),
                                     "GET " + target + " HTTP/1.1\r\nHost: localhost\r\n" + headers +
                                         "Connection: close\r\n\r\n")
        .reply;
  }
  testbedtest::Reply post(const std::string& target, const std::string& body) {
    return testbedtest::exchangeOnce(server_->port(),
                                     "POST " + target +
                                         " HTTP/1.1\r\nHost: localhost\r\nContent-Type: "
                                         "application/x-www-form-urlencoded\r\nConnection: close\r\nContent-Length: " +
                                         std::to_string(body.size()) + "\r\n\r\n" + body)
        .reply;
  }
  std::string newSid(const std::string& game = "irf") {
    const testbedtest::Reply reply = get("/downloads/v1/" + game);
    const size_t open = reply.body.find("<sid>");
    const size_t close = reply.body.find("</sid>");
    if (reply.status != 200 || open == std::string::npos || close == std::string::npos) return {};
    return reply.body.substr(open + 5, close - open - 5);
  }
  // What a query gives, straight from the database.
  SqlRows query(const std::string& sql, const std::vector<SqlValue>& values = {}) {
    SqlRows rows;
    std::string error;
    std::unique_ptr<Database> db = openDatabase(address_, &error);
    EXPECT_TRUE(db && db->run(sql, values, &rows, nullptr, &error)) << error;
    return rows;
  }
  void publishTwoReleases() {
    std::string error;
    ASSERT_TRUE(store_->publish("irf", "https://cdn.example/irf/1/", {{"setup.exe", 10, std::string(64, 'a')}}, &error))
        << error;
    ASSERT_TRUE(store_->publish("irf", "https://cdn.example/irf/2",
                                {{"setup.exe", 11, std::string(64, 'b')}, {"data 1.bin", 12, std::string(64, 'c')}},
                                &error))
        << error;
  }

  // Five runs of release 2, one of each outcome.
  void sendSampleRuns() {
    // Completed, with its graphics from the "stats" event; the complete event arrives twice.
    ASSERT_EQ(get(eventTarget("start", "done", 1000)).status, 200);
    get(eventTarget("download_init", "done", 1010));
    get(eventTarget("stats", "done", 1011, "\"system_graphics_card\":\"GeForce\""));
    get(eventTarget("download_complete", "done", 1600, "\"elapsed_time\":\"10\",\"approx_speed\":\"2048\""));
    get(eventTarget("download_complete", "done", 1600, "\"elapsed_time\":\"10\",\"approx_speed\":\"2048\""));
    // The licence declined: cancelled before the download began.
    get(eventTarget("auto_start", "declined", 2000));
    get(eventTarget("download_cancel", "declined", 2005, "\"error\":\"0\",\"file_piece\":\"0\""));
    // Failed: a critical error, then the cancel that quits for it.
    get(eventTarget("start", "failed", 3000));
    get(eventTarget("download_init", "failed", 3001));
    get(eventTarget("error", "failed", 3002,
                    "\"ak_error\":\"0\",\"critical\":\"0\",\"description\":\"Connection problems\""));
    get(eventTarget("error", "failed", 3003,
                    "\"ak_error\":\"7\",\"critical\":\"1\",\"description\":\"Cannot install the download service.\""));
    get(eventTarget("download_cancel", "failed", 3004, "\"error\":\"1\""));
    // Stopped by the player during the download; a second run of the same player starts later.
    get(eventTarget("start", "stopped", 4000));
    get(eventTarget("download_init", "stopped", 4001));
    get(eventTarget("download_cancel", "stopped", 4100, "\"error\":\"0\""));
    get(eventTarget("start", "stopped", 5000));
  }

  testsupport::TempFolder folder_;
  std::string address_;
  std::unique_ptr<GameStore> store_;
  std::unique_ptr<GameRequests> requests_;
  std::unique_ptr<web::HttpServer> server_;
};

TEST_F(GameServer, ASidKeepsTheReleaseItWasGivenForThroughARollBack) {
  EXPECT_EQ(get("/downloads/v1/irf").status, 404) << "a game with no release gives no sid";
  publishTwoReleases();
  const std::string before = newSid();
  ASSERT_EQ(before.size(), 32u);
  EXPECT_NE(newSid(), before) << "every run gets a sid of its own";

  std::string error;
  EXPECT_EQ(store_->rollBack("irf", &error), std::optional<int64_t>(1)) << error;
  EXPECT_FALSE(store_->rollBack("irf", &error)) << "release 1 was the first";
  const std::string after = newSid();

  const testbedtest::Reply second = get("/downloads/v1/irf/" + before + "/config");
  ASSERT_EQ(second.status, 200);
  EXPECT_NE(second.body.find("<file_id>irf-2</file_id>"), std::string::npos) << second.body;
  EXPECT_NE(second.body.find("<file><rid>1</rid><rnum>1</rnum><uri>https://cdn.example/irf/2/setup.exe</uri><sha256>" +
                             std::string(64, 'b') + "</sha256></file>"),
            std::string::npos)
      << second.body;
  EXPECT_NE(second.body.find("<uri>https://cdn.example/irf/2/data%201.bin</uri>"), std::string::npos) << second.body;
  const testbedtest::Reply first = get("/downloads/v1/irf/" + after + "/config");
  EXPECT_NE(first.body.find("<file_id>irf-1</file_id>"), std::string::npos) << first.body;
  EXPECT_NE(first.body.find("<uri>https://cdn.example/irf/1/setup.exe</uri>"), std::string::npos) << first.body;
  EXPECT_EQ(first.body.find("data%201.bin"), std::string::npos) << first.body;

  EXPECT_EQ(get("/downloads/v1/other/" + after + "/config").status, 404) << "a sid belongs to its game";
  EXPECT_EQ(query("SELECT COUNT(*) FROM sids WHERE release_number = 2")[0].integer(0), 2);
}

TEST_F(GameServer, HostilePostsAreRefusedWithTheirOwnStatusAndGoodOnesAreKeptOnce) {
  publishTwoReleases();
  const std::string sid = newSid();
  const std::string stats = "/downloads/v1/irf/" + sid + "/stats";
  EXPECT_EQ(post(stats, "event=pause&attr1=2&attr2=3221225472").status, 200);
  EXPECT_EQ(post(stats, "event=pause&attr1=2&attr2=3221225472").status, 200) << "a repeated post is answered alike";
  EXPECT_EQ(query("SELECT COUNT(*) FROM stats_posts")[0].integer(0), 1) << "and kept once";
  EXPECT_EQ(post(stats, "event=unpause").status, 200);

  EXPECT_EQ(post("/downloads/v1/irf/" + std::string(32, 'f') + "/stats", "event=unpause").status, 404);
  EXPECT_EQ(post("/downloads/v1/irf/not-a-sid/stats", "event=unpause").status, 404);
  EXPECT_EQ(post(stats, "event=format_disk").status, 400);
  EXPECT_EQ(post(stats, "event=pause&attr3=1").status, 400);
  EXPECT_EQ(post(stats, "event=pause&event=complete").status, 400);
  EXPECT_EQ(post(stats, "event=pause&attr2=12e3").status, 400);
  EXPECT_EQ(post(stats, "event=pause&attr1=1';DROP TABLE sids;--").status, 400);
  EXPECT_EQ(post(stats, "event=pause&attr1=" + std::string(2000, '1')).status, 413);
  EXPECT_EQ(get(stats).status, 405);

  EXPECT_EQ(get("/track/?data=%%%&ip=1").status, 400);
  EXPECT_EQ(get("/track/?data=" + base64("{\"event\":\"start\"") + "&ip=1").status, 400) << "not JSON";
  EXPECT_EQ(get("/track/?data=" + base64("{\"event\":\"start\",\"properties\":{\"time\":\"1\"}}") + "&ip=1").status,
            400)
      << "no game or player";
  EXPECT_EQ(get(eventTarget("start", "u1", 100, "\"screen\":5")).status, 400) << "a property that is not text";
  EXPECT_EQ(get(eventTarget("start", "u1", 100, "", "nogame")).status, 404);
  const std::string hostile = "x'); DROP TABLE events; --";
  const testbedtest::Reply kept = get(eventTarget("error", "u1", 100, "\"description\":\"" + hostile + "\""));
  EXPECT_EQ(kept.status, 200);
  EXPECT_EQ(kept.body, "1\n");
  EXPECT_EQ(get(eventTarget("error", "u1", 100, "\"description\":\"" + hostile + "\"")).status, 200);
  const SqlRows events = query("SELECT properties FROM events");
  ASSERT_EQ(events.size(), 1u) << "the same event twice is kept once";
  EXPECT_NE(events[0].text(0).find("x'); DROP TABLE events; --"), std::string::npos) << "kept as text, never as SQL";
}

TEST_F(GameServer, EventsTellEachRunsOutcomeSpeedAndMachine) {
  publishTwoReleases();
  sendSampleRuns();

  const SqlRows runs = query(
      "SELECT user_guid, started_at, outcome, seconds, speed_kib, failure, failure_code, graphics, os, auto_start "
      "FROM runs ORDER BY started_at");
  ASSERT_EQ(runs.size(), 5u);
  EXPECT_EQ(runs[0].text(2), "completed");
  EXPECT_EQ(runs[0].integer(3), 600);
  EXPECT_EQ(runs[0].integer(4), 2048);
  EXPECT_EQ(runs[0].text(7), "GeForce");
  EXPECT_EQ(runs[0].text(8), "Windows 11");
  EXPECT_EQ(runs[1].text(2), "declined");
  EXPECT_EQ(runs[1].integer(9), 1);
  EXPECT_EQ(runs[2].text(2), "failed");
  EXPECT_EQ(runs[2].text(5), "Cannot install the download service.") << "the critical error is the reason";
  EXPECT_EQ(runs[2].integer(6), 7);
  EXPECT_EQ(runs[3].text(2), "cancelled");
  EXPECT_EQ(runs[4].text(2), "running");
  EXPECT_EQ(query("SELECT COUNT(*) FROM events WHERE release_number = 2")[0].integer(0), 15);
}

TEST_F(GameServer, OneClientOverItsRateIsRefusedWhileOthersAreServed) {
  startServer(GameRequestLimits{1, 3, 1024, kToken, true});
  publishTwoReleases();
  const std::string proxy = "X-Forwarded-For: 198.51.100.7, 203.0.113.9\r\n";
  for (int i = 0; i < 3; ++i) EXPECT_EQ(get("/downloads/v1/irf", proxy).status, 200) << i;
  const testbedtest::Reply refused = get("/downloads/v1/irf", proxy);
  EXPECT_EQ(refused.status, 429);
  EXPECT_NE(refused.head.find("Retry-After: 1"), std::string::npos) << refused.head;
  EXPECT_EQ(get("/downloads/v1/irf", "X-Forwarded-For: 203.0.113.10\r\n").status, 200)
      << "the client is the address the proxy added last";
  EXPECT_EQ(get("/downloads/v1/irf", "X-Forwarded-For: 10.9.9.9, 203.0.113.9\r\n").status, 429)
      << "an address the client wrote itself does not make it another client";
}

TEST_F(GameServer, AFailingWriteCostsOnlyItselfNotTheWritesCommittedWithIt) {
  std::vector<std::thread> writers;
  std::vector<int> results(16, -1);
  for (int i = 0; i < 16; ++i) {
    writers.emplace_back([this, i, &results] {
      std::string error;
      const bool ok = store_->transact(
          [i](Database& db, std::string* why) {
            const bool wrote = db.run("INSERT INTO sids (sid, game, release_number, created_at) VALUES (?, 'irf', 1, 0)",
                                      {"sid-" + std::to_string(i)}, why);
            return wrote && i != 7;
          },
          &error);
      results[i] = ok ? 1 : 0;
    });
  }
  for (std::thread& writer : writers) writer.join();
  for (int i = 0; i < 16; ++i) EXPECT_EQ(results[i], i == 7 ? 0 : 1) << i;
  EXPECT_EQ(query("SELECT COUNT(*) FROM sids")[0].integer(0), 15);
  EXPECT_TRUE(query("SELECT sid FROM sids WHERE sid = 'sid-7'").empty()) << "the failed write left nothing";
}

// Two servers on one PostgreSQL database, whose transactions take the same two rows in opposite
// orders: the database ends one of them as a deadlock, and that one is run again, not lost.
TEST_F(GameServer, TwoServersOnOneDatabaseLoseNoWriteToEachOther) {
  if (postgresServer() == nullptr) GTEST_SKIP() << "one writer at a time on SQLite";
  std::string error;
  std::unique_ptr<GameStore> other = GameStore::open(address_, &error);
  ASSERT_TRUE(other) << error;
  for (const char* sid : {"x", "y"}) {
    ASSERT_TRUE(store_->transact(
        [sid](Database& db, std::string* why) {
          return db.run("INSERT INTO sids (sid, game, release_number, created_at) VALUES (?, 'irf', 1, 0)",
                        {std::string(sid)}, why);
        },
        &error));
  }
  std::atomic<int> arrived{0};
  auto crossing = [&arrived](GameStore& store, const std::string& first, const std::string& second) {
    return store.transact(
        [&](Database& db, std::string* why) {
          if (!db.run("UPDATE sids SET created_at = created_at + 1 WHERE sid = ?", {first}, why)) return false;
          ++arrived;
          for (int i = 0; i < 500 && arrived < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
          return db.run("UPDATE sids SET created_at = created_at + 1 WHERE sid = ?", {second}, why);
        },
        nullptr);
  };
  bool oneDone = false;
  bool otherDone = false;
  std::thread one([&] { oneDone = crossing(*store_, "x", "y"); });
  std::thread two([&] { otherDone = crossing(*other, "y", "x"); });
  one.join();
  two.join();
  EXPECT_TRUE(oneDone);
  EXPECT_TRUE(otherDone);
  EXPECT_EQ(query("SELECT SUM(created_at) FROM sids")[0].integer(0), 4) << "each transaction's two updates, once";
}

TEST(RateLimiter, RefillsWithTimeAndForgetsQuietClients) {
  int64_t now = 0;
  RateLimiter limiter(2, 4, [&now] { return now; });
  for (int i = 0; i < 4; ++i) EXPECT_TRUE(limiter.allow("a")) << i;
  EXPECT_FALSE(limiter.allow("a"));
  EXPECT_TRUE(limiter.allow("b"));
  now += 499;
  EXPECT_FALSE(limiter.allow("a")) << "not yet a whole token";
  now += 1;
  EXPECT_TRUE(limiter.allow("a"));
  EXPECT_FALSE(limiter.allow("a"));
  now += 120000;
  EXPECT_TRUE(limiter.allow("c"));
  EXPECT_EQ(limiter.trackedClients(), 1u) << "full buckets are forgotten";
}

TEST_F(GameServer, TheDashboardShowsWhatTheEventsToldToThePublisherOnly) {
  publishTwoReleases();
  sendSampleRuns();
  get(eventTarget("start", "hostile", 6000, "", "irf"));
  get(eventTarget("download_init", "hostile", 6001));
  get(eventTarget("error", "hostile", 6002, "\"critical\":\"1\",\"ak_error\":\"3\",\"description\":\"<script>x</script>\""));
  get(eventTarget("download_cancel", "hostile", 6003, "\"error\":\"1\""));

  const testbedtest::Reply anonymous = get("/dashboard");
  EXPECT_EQ(anonymous.status, 401);
  EXPECT_NE(anonymous.head.find("WWW-Authenticate: Basic"), std::string::npos) << anonymous.head;
  EXPECT_EQ(get("/dashboard", "Authorization: Basic " + base64("publisher:" + kToken + "x") + "\r\n").status, 401);
  const std::string authorised = "Authorization: Basic " + base64("publisher:" + kToken) + "\r\n";
  const testbedtest::Reply page = get("/dashboard?game=irf", authorised);
  ASSERT_EQ(page.status, 200);
  auto shows = [&page](const std::string& name, const std::string& value) {
    return page.body.find("data-figure=\"" + name + "\">" + value + "<") != std::string::npos;
  };
  EXPECT_TRUE(shows("started", "6"));
  EXPECT_TRUE(shows("completed", "1"));
  EXPECT_TRUE(shows("declined", "1"));
  EXPECT_TRUE(shows("cancelled", "1"));
  EXPECT_TRUE(shows("failed", "2"));
  EXPECT_TRUE(shows("running", "1"));
  EXPECT_TRUE(shows("seconds-median", "10 min 00 s"));
  EXPECT_TRUE(shows("speed-median", "2.0 MiB/s"));
  EXPECT_TRUE(shows("failure-1-runs", "1"));
  EXPECT_NE(page.body.find("Cannot install the download service."), std::string::npos);
  EXPECT_EQ(page.body.find("<script>"), std::string::npos) << "a player's text is never markup";
  EXPECT_NE(page.body.find("&lt;script&gt;x&lt;/script&gt;"), std::string::npos);
  EXPECT_NE(page.body.find(">GeForce</text>"), std::string::npos) << "the graphics chart";
  EXPECT_NE(page.head.find("Content-Security-Policy: default-src 'none'"), std::string::npos);

  const testbedtest::Reply first = get("/dashboard?game=irf&release=1", authorised);
  ASSERT_EQ(first.status, 200);
  EXPECT_NE(first.body.find("data-figure=\"started\">0<"), std::string::npos) << "release 1 had no run";
  EXPECT_EQ(get("/dashboard?game=irf&release=9", authorised).status, 404);
}

}  // namespace
}  // namespace publisher
