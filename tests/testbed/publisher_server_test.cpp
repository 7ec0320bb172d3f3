// The testbed's publisher server over real sockets: its answers, what it logs, its routing and
// every way it can be told to fail.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <map>
#include <thread>

#include "web/json_reader.h"
#include "testbed/publisher_answers.h"
#include "testbed/publisher_server.h"
#include "tests/support/temp_folder.h"
#include "tests/service/api_client.h"

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

constexpr const char* kSidPath = "/downloads/v1/irf";
constexpr const char* kConfigPath = "/downloads/v1/irf/tb-sid-0001/config";
constexpr const char* kStatsPath = "/downloads/v1/irf/tb-sid-0001/stats";

std::string getRequest(const std::string& target) {
  return "GET " + target + " HTTP/1.1\r\nHost: localhost\r\nUser-Agent: Tessel Download Client\r\nConnection: close\r\n\r\n";
}

std::string postRequest(const std::string& target, const std::string& body) {
  return "POST " + target +
         " HTTP/1.1\r\nHost: localhost\r\nContent-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n"
         "Content-Length: " +
         std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::vector<testbed::JsonValue> readLogLines(const fs::path& file) {
  std::vector<testbed::JsonValue> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) {
    std::string error;
    std::optional<testbed::JsonValue> value = testbed::parseJson(line, &error);
    EXPECT_TRUE(value.has_value()) << error << ": " << line;
    if (value) lines.push_back(*value);
  }
  return lines;
}

std::string text(const testbed::JsonValue& line, const char* name) {
  const testbed::JsonValue* member = line.member(name);
  return member != nullptr && member->kind == testbed::JsonValue::Kind::String ? member->text : "<missing>";
}

class TestbedPublisher : public ::testing::Test {
 protected:
  fs::path gameFolder() const { return temp_.path() / "game"; }
  fs::path logFile() const { return temp_.path() / "publisher.log"; }

  void start(const std::function<void(testbed::PublisherOptions&)>& adjust = nullptr) {
    writeFile(gameFolder() / "b_part2.bin", "two");
    writeFile(gameFolder() / "a setup.exe", "one");
    writeFile(gameFolder() / "c&d.bin", "three");
    fs::create_directories(gameFolder() / "subfolder");
    testbed::PublisherOptions options;
    options.gameFolder = gameFolder();
    options.originUrl = "http://127.0.0.1:8080/files/";
    options.logPath = logFile().u8string();
    if (adjust) adjust(options);
    server_ = std::make_unique<testbed::PublisherServer>(options);
    std::string error;
    ASSERT_TRUE(server_->start(0, &error)) << error;
  }

  Exchange get(const std::string& target) { return exchangeOnce(server_->port(), getRequest(target)); }
  Exchange post(const std::string& target, const std::string& body) {
    return exchangeOnce(server_->port(), postRequest(target, body));
  }
  void control(const std::string& query) {
    Exchange answer = get("/control?" + query);
    ASSERT_EQ(answer.reply.status, 200) << query << ": " << answer.reply.body;
  }

  testsupport::TempFolder temp_;
  std::unique_ptr<testbed::PublisherServer> server_;
};

TEST_F(TestbedPublisher, AnswersSidAndAConfigurationListingTheFolder) {
  start();
  Exchange sid = get(kSidPath);
  ASSERT_TRUE(sid.reply.ok) << sid.received;
  EXPECT_EQ(sid.reply.status, 200);
  EXPECT_NE(sid.reply.head.find("Content-Type: text/xml"), std::string::npos);
  EXPECT_EQ(sid.reply.body, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response><sid>tb-sid-0001</sid></response>\n");

  Exchange config = get(kConfigPath);
  ASSERT_TRUE(config.reply.ok);
  EXPECT_EQ(config.reply.body,
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n  <file_id>tb-game</file_id>\n  <resources>\n"
            "    <file><rid>1001</rid><rnum>1</rnum><uri>http://127.0.0.1:8080/files/a%20setup.exe</uri></file>\n"
            "    <file><rid>1002</rid><rnum>2</rnum><uri>http://127.0.0.1:8080/files/b_part2.bin</uri></file>\n"
            "    <file><rid>1003</rid><rnum>3</rnum><uri>http://127.0.0.1:8080/files/c%26d.bin</uri></file>\n"
            "  </resources>\n</config>\n");
}

TEST_F(TestbedPublisher, GivesTheDigestsOfAListingToTheFilesItNames) {
  const std::string one = "7692c3ad3540bb803c020b3aee66cd8887123234ea0c6e7143c0add73ff431ed";
  const std::string three = "8B5B9DB0C13DB24256C829AA364AA90C6D2EBA318B9232A4AB9313B954D3555F";
  writeFile(temp_.path() / "SHA256SUMS", one + "  a setup.exe\n" + three + " *c&d.bin\r\n\n");
  start([&](testbed::PublisherOptions& options) { options.digestListing = temp_.path() / "SHA256SUMS"; });
  Exchange config = get(kConfigPath);
  ASSERT_TRUE(config.reply.ok);
  EXPECT_NE(config.reply.body.find("<uri>http://127.0.0.1:8080/files/a%20setup.exe</uri><sha256>" + one +
                                   "</sha256></file>"),
            std::string::npos)
      << config.reply.body;
  EXPECT_NE(config.reply.body.find("b_part2.bin</uri></file>"), std::string::npos) << "not listed: no digest";
  EXPECT_NE(config.reply.body.find("c%26d.bin</uri><sha256>" + three + "</sha256>"), std::string::npos);

  std::map<std::string, std::string> digests;
  std::string error;
  EXPECT_FALSE(testbed::readDigestListing(one.substr(1) + "  a\n", &digests, &error));
  EXPECT_FALSE(testbed::readDigestListing(one + " a\n", &digests, &error)) << "one blank only";
  EXPECT_FALSE(testbed::readDigestListing(one + "  \n", &digests, &error)) << "no name";
  EXPECT_EQ(error, "line 1 of the digest listing is not \"HEX  NAME\"");
}

TEST_F(TestbedPublisher, LogsEveryRequestWithItsBody) {
  start();
  ASSERT_EQ(get(kSidPath).reply.status, 200);
  ASSERT_EQ(post(kStatsPath, "event=pause&attr1=1001&attr2=3221225472").reply.body, "OK");
  ASSERT_EQ(post(kStatsPath, "").reply.status, 200);
  ASSERT_EQ(get("/nowhere").reply.status, 404);

  std::vector<testbed::JsonValue> lines = readLogLines(logFile());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(text(lines[0], "method"), "GET");
  EXPECT_EQ(text(lines[0], "path"), kSidPath);
  EXPECT_EQ(lines[0].member("body"), nullptr);
  const testbed::JsonValue* headers = lines[0].member("headers");
  ASSERT_NE(headers, nullptr);
  ASSERT_EQ(headers->items.size(), 3u);
  EXPECT_EQ(headers->items[1].items[0].text, "User-Agent");
  EXPECT_EQ(headers->items[1].items[1].text, "Tessel Download Client");

  EXPECT_EQ(text(lines[1], "method"), "POST");
  EXPECT_EQ(text(lines[1], "path"), kStatsPath);
  EXPECT_EQ(text(lines[1], "body"), "event=pause&attr1=1001&attr2=3221225472");
  EXPECT_EQ(text(lines[2], "body"), "");
  EXPECT_EQ(text(lines[3], "target"), "/nowhere");
}

TEST_F(TestbedPublisher, RoutesOnlyItsOwnPathsMethodsAndSid) {
  start();
  struct Case {
    const char* method;
    const char* target;
    int status;
  } cases[] = {
      {"GET", kSidPath, 200},
      {"GET", "/downloads/v1/irf?x=1", 200},
      {"GET", kConfigPath, 200},
      {"POST", kStatsPath, 200},
      {"GET", "/downloads/v1/abc", 404},
      {"GET", "/downloads/v1/irf/", 404},
      {"GET", "/downloads/v1/irf/other-sid/config", 404},
      {"POST", "/downloads/v1/irf/other-sid/stats", 404},
      {"GET", "/downloads/v1/irf/tb-sid-0001/nothing", 404},
      {"GET", "/downloads/v2/irf", 404},
      {"GET", "/downloads/v1irf", 404},
      {"GET", "/downloads/v1", 404},
      {"GET", kStatsPath, 405},
      {"POST", kConfigPath, 405},
      {"POST", kSidPath, 405},
  };
  for (const auto& c : cases) {
    std::string method = c.method;
    Exchange answer = method == "POST" ? post(c.target, "event=x") : get(c.target);
    EXPECT_EQ(answer.reply.status, c.status) << c.method << " " << c.target;
  }
}

TEST_F(TestbedPublisher, ServesGivenAnswersVerbatimUnderAnySid) {
  writeFile(temp_.path() / "sid.xml", "<r><sid>given</sid><sid>second</sid></r>");
  writeFile(temp_.path() / "config.xml", "<c><resources><!-- none --></resources></c>");
  start([this](testbed::PublisherOptions& options) {
    options.sidAnswerFile = temp_.path() / "sid.xml";
    options.configAnswerFile = temp_.path() / "config.xml";
    options.basePath = "/games/";
    options.gameCode = "xyz";
  });
  EXPECT_EQ(get("/games/xyz").reply.body, "<r><sid>given</sid><sid>second</sid></r>");
  EXPECT_EQ(get("/games/xyz/given/config").reply.body, "<c><resources><!-- none --></resources></c>");
  EXPECT_EQ(post("/games/xyz/anything/stats", "").reply.status, 200);
  EXPECT_EQ(get(kSidPath).reply.status, 404);
}

TEST_F(TestbedPublisher, EachFaultHitsOnlyTheCountedRequestsThenAnswersNormally) {
  start();
  std::string sidBody = get(kSidPath).reply.body;
  struct Case {
    const char* controls;
    std::function<void(const Exchange&)> check;
  } cases[] = {
      {"fault=status&status=404", [](const Exchange& e) { EXPECT_EQ(e.reply.status, 404); }},
      {"fault=status", [](const Exchange& e) { EXPECT_EQ(e.reply.status, 500); }},
      {"fault=garbage",
       [](const Exchange& e) {
         EXPECT_FALSE(e.received.empty());
         EXPECT_NE(e.received.compare(0, 5, "HTTP/"), 0) << e.received;
       }},
      {"fault=garbage-body",
       [&](const Exchange& e) {
         EXPECT_EQ(e.reply.status, 200);
         EXPECT_TRUE(e.reply.ok);
         EXPECT_EQ(e.reply.body.find("<sid>"), std::string::npos);
       }},
      {"fault=cut",
       [&](const Exchange& e) {
         EXPECT_EQ(e.reply.status, 200);
         EXPECT_FALSE(e.reply.ok);
         EXPECT_EQ(e.reply.body, sidBody.substr(0, sidBody.size() / 2));
       }},
      {"fault=drop", [](const Exchange& e) { EXPECT_TRUE(e.connected && e.received.empty()); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.controls);
    control(std::string(c.controls) + "&count=2");
    c.check(get(kSidPath));
    c.check(get(kSidPath));
    Exchange after = get(kSidPath);
    EXPECT_TRUE(after.reply.ok);
    EXPECT_EQ(after.reply.body, sidBody);
  }
}

TEST_F(TestbedPublisher, SlowAnswersArriveWholeAfterTheDelay) {
  start();
  control("fault=slow&delay=300&count=1");
  auto before = std::chrono::steady_clock::now();
  Exchange slow = get(kConfigPath);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
  EXPECT_TRUE(slow.reply.ok);
  EXPECT_EQ(slow.reply.body, server_->configText());
}

TEST_F(TestbedPublisher, RulesApplyInOrderToTheirKindOfRequest) {
  start();
  control("fault=status&status=503&count=1&on=config");
  control("fault=drop&count=1&on=config");
  control("fault=status&status=404&on=stats");
  EXPECT_EQ(get(kSidPath).reply.status, 200);
  EXPECT_EQ(get(kConfigPath).reply.status, 503);
  EXPECT_TRUE(get(kConfigPath).received.empty());
  EXPECT_EQ(get(kConfigPath).reply.status, 200);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(post(kStatsPath, "event=unpause").reply.status, 404);
  control("clear");
  EXPECT_EQ(post(kStatsPath, "event=unpause").reply.status, 200);
}

TEST_F(TestbedPublisher, RefusesConnectionsForAWhileThenListensOnTheSamePort) {
  start();
  uint16_t port = server_->port();
  control("refuse=400");
  Exchange refused = get(kSidPath);
  EXPECT_FALSE(refused.connected);
  EXPECT_TRUE(waitFor([&] { return get(kSidPath).reply.status == 200; }, std::chrono::milliseconds(5000)));
  EXPECT_EQ(server_->port(), port);
}

TEST_F(TestbedPublisher, RefusedControlsChangeNothing) {
  start();
  for (const char* query : {"fault=explode", "fault=status&status=99", "fault=status&count=0", "fault=drop&on=track",
                            "status=500", "refuse=0", "refuse=x", "fault=slow&delay=-1", "bogus=1"}) {
    Exchange answer = get(std::string("/control?") + query);
    EXPECT_EQ(answer.reply.status, 400) << query;
    EXPECT_NE(answer.reply.body.find("\"ok\":false"), std::string::npos) << query;
  }
  EXPECT_EQ(get(kSidPath).reply.status, 200);
  EXPECT_EQ(server_->control({{"fault", "drop", true}, {"on", "sid", true}, {"count", "1", true}}), "");
  EXPECT_TRUE(get(kSidPath).received.empty());
}

TEST_F(TestbedPublisher, StartFailsWithoutAConfigurationSource) {
  struct Case {
    const char* why;
    std::function<void(testbed::PublisherOptions&)> adjust;
  } cases[] = {
      {"no source", [](testbed::PublisherOptions& o) { o.gameFolder.clear(); }},
      {"no origin", [](testbed::PublisherOptions& o) { o.originUrl.clear(); }},
      {"missing folder", [this](testbed::PublisherOptions& o) { o.gameFolder = temp_.path() / "absent"; }},
      {"missing answer file", [this](testbed::PublisherOptions& o) { o.configAnswerFile = temp_.path() / "absent.xml"; }},
      {"sid with a slash", [](testbed::PublisherOptions& o) { o.sid = "a/b"; }},
      {"relative base", [](testbed::PublisherOptions& o) { o.basePath = "downloads"; }},
  };
  for (const auto& c : cases) {
    testbed::PublisherOptions options;
    options.gameFolder = gameFolder();
    options.originUrl = "http://127.0.0.1:1";
    fs::create_directories(gameFolder());
    c.adjust(options);
    testbed::PublisherServer server(options);
    std::string error;
    EXPECT_FALSE(server.start(0, &error)) << c.why;
    EXPECT_FALSE(error.empty()) << c.why;
  }
}

}  // namespace
}  // namespace testbedtest
