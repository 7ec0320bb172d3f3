// The fixture of the game server's tests: a server over real sockets on SQLite, or on PostgreSQL
// when GAME_SERVER_TEST_POSTGRES names a server (as tests/publisher/with-postgres arranges), each
// test with a database of its own; and the requests the downloader sends.
#ifndef TESTS_PUBLISHER_GAME_SERVER_FIXTURE_H
#define TESTS_PUBLISHER_GAME_SERVER_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "publisher/database.h"
#include "publisher/game_requests.h"
#include "publisher/game_store.h"
#include "telemetry/base64.h"
#include "tests/service/api_client.h"
#include "tests/support/temp_folder.h"
#include "web/http_server.h"

namespace publisher {

inline const char* postgresServer() { return getenv("GAME_SERVER_TEST_POSTGRES"); }

inline const std::string kToken = "dashboard-token-for-tests";

inline std::string base64(const std::string& bytes) { return EncodeBase64(bytes); }

// An event as the downloader sends it: its own properties, then the common ones.
inline std::string eventTarget(const std::string& name, const std::string& user, int64_t time,
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

  // The server with these limits, on the test's database or through the connector given.
  void startServer(GameRequestLimits limits, GameStore::Connector connect = nullptr,
                   web::ServerLimits serverLimits = web::ServerLimits()) {
    server_.reset();
    requests_.reset();
    store_.reset();
    std::string error;
    if (!connect) connect = [address = address_](std::string* why) { return openDatabase(address, why); };
    GameStore::Settings settings;
    settings.faults = &faults_;
    store_ = GameStore::open(std::move(connect), &error, settings);
    ASSERT_TRUE(store_) << error;
    requests_ = std::make_unique<GameRequests>(*store_, limits);
    server_ = std::make_unique<web::HttpServer>(
        [this](const web::HttpRequest& request, uint64_t connection) { return requests_->handle(request, connection); },
        serverLimits);
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
  // What the store told the operator.
  std::mutex faultsMutex_;
  std::vector<std::string> faultLines_;
  FaultLog faults_{[this](const std::string& line) {
    std::lock_guard<std::mutex> lock(faultsMutex_);
    faultLines_.push_back(line);
  }};
  std::unique_ptr<GameStore> store_;
  std::unique_ptr<GameRequests> requests_;
  std::unique_ptr<web::HttpServer> server_;
};

}  // namespace publisher

#endif
