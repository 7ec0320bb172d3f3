// The testbed's analytics sink over real sockets: decoding and logging events exactly as sent,
// refusing data that is not canonical, and delaying or failing answers on request.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <future>

#include "testbed/analytics_sink.h"
#include "web/json_reader.h"
#include "tests/support/temp_folder.h"
#include "tests/service/api_client.h"

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

// An encoder of its own, so the sink's decoder is not checked against itself.
std::string base64(const std::string& bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (size_t i = 0; i < bytes.size(); i += 3) {
    uint32_t group = static_cast<uint8_t>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 1]) << 8;
    if (i + 2 < bytes.size()) group |= static_cast<uint8_t>(bytes[i + 2]);
    out += kAlphabet[group >> 18];
    out += kAlphabet[(group >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(group >> 6) & 63] : '=';
    out += i + 2 < bytes.size() ? kAlphabet[group & 63] : '=';
  }
  return out;
}

std::string trackRequest(const std::string& query) {
  return "GET /track/?" + query + " HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
}

class TestbedAnalyticsSink : public ::testing::Test {
 protected:
  fs::path logFile() const { return temp_.path() / "analytics.log"; }

  void SetUp() override {
    testbed::AnalyticsSinkOptions options;
    options.logPath = logFile().u8string();
    sink_ = std::make_unique<testbed::AnalyticsSink>(options);
    std::string error;
    ASSERT_TRUE(sink_->start(0, &error)) << error;
  }

  Exchange track(const std::string& query) { return exchangeOnce(sink_->port(), trackRequest(query)); }

  testsupport::TempFolder temp_;
  std::unique_ptr<testbed::AnalyticsSink> sink_;
};

TEST_F(TestbedAnalyticsSink, DecodesAndLogsEachEventWithItsPropertiesInOrder) {
  std::string payload =
      "{\"event\":\"download_pause\",\"properties\":{\"file_piece\":\"2\",\"user_guid\":\"a\\\"b\\\\c\\u00e9\","
      "\"file_piece\":\"dup\",\"time\":\"1000000000\"}}";
  std::string query = "data=" + base64(payload) + "&ip=1";
  Exchange answer = track(query);
  ASSERT_TRUE(answer.reply.ok);
  EXPECT_EQ(answer.reply.status, 200);
  EXPECT_EQ(answer.reply.body, "1");

  std::vector<testbed::TrackedEvent> events = sink_->events();
  ASSERT_EQ(events.size(), 1u);
  const testbed::TrackedEvent& event = events[0];
  EXPECT_TRUE(event.readable) << event.error;
  EXPECT_EQ(event.event, "download_pause");
  EXPECT_EQ(event.rawQuery, query);
  ASSERT_EQ(event.properties.size(), 4u);
  const char* keys[] = {"file_piece", "user_guid", "file_piece", "time"};
  for (size_t i = 0; i < 4; ++i) EXPECT_EQ(event.properties[i].first, keys[i]);
  EXPECT_EQ(event.property("user_guid"), "a\"b\\c\xc3\xa9");
  EXPECT_EQ(event.property("file_piece"), "2");
  EXPECT_EQ(event.property("absent"), "<missing>");

  std::ifstream in(logFile());
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  std::optional<testbed::JsonValue> logged = testbed::parseJson(line, nullptr);
  ASSERT_TRUE(logged) << line;
  EXPECT_EQ(logged->member("event")->text, "download_pause");
  EXPECT_EQ(logged->member("rawQuery")->text, query);
  const testbed::JsonValue* properties = logged->member("properties");
  ASSERT_NE(properties, nullptr);
  ASSERT_EQ(properties->items.size(), 4u);
  EXPECT_EQ(properties->items[1].items[0].text, "user_guid");
  EXPECT_EQ(properties->items[1].items[1].text, "a\"b\\c\xc3\xa9");
  EXPECT_EQ(properties->items[2].items[1].text, "dup");
}

TEST_F(TestbedAnalyticsSink, DataThatIsNotAWholeEventIsLoggedWithTheReasonAndAnswered0) {
  std::string good = base64("{\"event\":\"x\",\"properties\":{}}");
  struct Case {
    std::string query;
    const char* reason;
  } cases[] = {
      {"ip=1", "no data"},
      {"data=&ip=1", "no data"},
      {"data=" + good.substr(0, good.size() - 1) + "&ip=1", "not Base64"},
      {"data=" + base64("{\"event\":\"x\",\"properties\":{\"a\":\"unescaped \"quote\"}}") + "&ip=1", "not JSON"},
      {"data=" + base64("{\"event\":\"x\"}"), "lacks"},
      {"data=" + base64("{\"event\":1,\"properties\":{}}"), "lacks"},
      {"data=" + base64("[\"event\"]"), "lacks"},
  };
  for (const auto& c : cases) {
    Exchange answer = track(c.query);
    EXPECT_EQ(answer.reply.status, 200) << c.query;
    EXPECT_EQ(answer.reply.body, "0") << c.query;
  }
  std::vector<testbed::TrackedEvent> events = sink_->events();
  ASSERT_EQ(events.size(), std::size(cases));
  for (size_t i = 0; i < events.size(); ++i) {
    EXPECT_FALSE(events[i].readable) << cases[i].query;
    EXPECT_NE(events[i].error.find(cases[i].reason), std::string::npos) << events[i].error;
  }
  std::ifstream in(logFile());
  size_t lines = 0;
  for (std::string line; std::getline(in, line); ++lines) {
    std::optional<testbed::JsonValue> logged = testbed::parseJson(line, nullptr);
    ASSERT_TRUE(logged) << line;
    EXPECT_NE(logged->member("error"), nullptr) << line;
    EXPECT_EQ(logged->member("event"), nullptr) << line;
  }
  EXPECT_EQ(lines, std::size(cases));
}

TEST_F(TestbedAnalyticsSink, DelayedAnswersKeepConcurrentRequestsInFlight) {
  ASSERT_EQ(sink_->control(testbed::parseQuery("fault=slow&delay=1000")), "");
  std::string query = "data=" + base64("{\"event\":\"restore_window\",\"properties\":{}}") + "&ip=1";
  auto before = std::chrono::steady_clock::now();
  std::vector<std::future<Exchange>> inFlight;
  for (int i = 0; i < 3; ++i) inFlight.push_back(std::async(std::launch::async, [&] { return track(query); }));
  // All three are received (and logged) before any answer, which is what a pool of slots sees.
  EXPECT_TRUE(waitFor([&] { return sink_->events().size() == 3; }, std::chrono::milliseconds(900)));
  for (auto& request : inFlight) EXPECT_EQ(request.get().reply.body, "1");
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(1000));
}

TEST_F(TestbedAnalyticsSink, FailsOnRequestAndOnlyOnTrackRequests) {
  std::string query = "data=" + base64("{\"event\":\"start\",\"properties\":{}}") + "&ip=1";
  ASSERT_EQ(sink_->control(testbed::parseQuery("fault=status&status=503&count=1")), "");
  EXPECT_EQ(track(query).reply.status, 503);
  EXPECT_EQ(track(query).reply.body, "1");
  EXPECT_NE(sink_->control(testbed::parseQuery("fault=status&on=sid")), "");
  Exchange other = exchangeOnce(sink_->port(), "GET /engage/ HTTP/1.0\r\n\r\n");
  EXPECT_EQ(other.reply.status, 404);
  EXPECT_EQ(sink_->events().size(), 2u);
}

}  // namespace
}  // namespace testbedtest
