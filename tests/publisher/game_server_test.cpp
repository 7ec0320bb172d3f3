// The game server over real sockets, on SQLite and (when GAME_SERVER_TEST_POSTGRES names a
// server, as tests/publisher/with-postgres arranges) on PostgreSQL: releases and their answers,
// hostile posts, and the runs the events tell of.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/publisher/game_server_fixture.h"

namespace publisher {
namespace {

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
