// What one client can take of game-server: room on the disk through the request log, the
// server's connections (silent ones, ones that never read their answers, bodies it never asked
// for), and requests that two readers would read differently.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "publisher/access_log.h"
#include "tests/publisher/game_server_fixture.h"

namespace publisher {
namespace {

using std::chrono::milliseconds;

// A connection to the server from another loopback address, as another client's would be.
web::Socket connectFrom(const char* source, uint16_t port) {
  web::Socket socket(::socket(AF_INET, SOCK_STREAM, 0));
  sockaddr_in address{};
  address.sin_family = AF_INET;
  inet_pton(AF_INET, source, &address.sin_addr);
  if (bind(static_cast<int>(socket.native()), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return {};
  address.sin_port = htons(port);
  inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
  if (connect(static_cast<int>(socket.native()), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return {};
  socket.setReceiveTimeout(5000);
  return socket;
}

// Everything the server sends until it closes (or 5 s pass).
std::string readToEnd(const web::Socket& socket) {
  std::string received;
  char buffer[16384];
  for (web::ReceiveResult result; (result = socket.receiveSome(buffer, sizeof buffer)).status == web::ReceiveStatus::Data;) {
    received.append(buffer, result.count);
  }
  return received;
}

std::string request(const char* target) {
  return std::string("GET ") + target + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
}

TEST(ServerSlots, AClientHoldingSlotsStopsNeitherOthersNorItselfForLong) {
  web::ServerLimits limits;
  limits.maxConnectionsPerAddress = 3;
  limits.firstRequestTimeout = milliseconds(600);
  limits.sendTimeout = milliseconds(300);
  web::HttpServer server(
      [](const web::HttpRequest& request, uint64_t) {
        return web::Answer::json(200, request.path == "/big" ? std::string(1 << 20, 'x') : "{}");
      },
      limits);
  ASSERT_TRUE(server.start(0));
  // Ten connections that send nothing: three take this address's slots, the others are refused.
  std::vector<web::Socket> silent;
  for (int i = 0; i < 10; ++i) silent.push_back(connectFrom("127.0.0.2", server.port()));
  std::this_thread::sleep_for(milliseconds(100));
  int refused = 0;
  for (size_t i = 3; i < silent.size(); ++i) refused += readToEnd(silent[i]).rfind("HTTP/1.0 503", 0) == 0 ? 1 : 0;
  EXPECT_EQ(refused, 7);
  web::Socket other = connectFrom("127.0.0.1", server.port());
  ASSERT_TRUE(other.sendAll(request("/")));
  EXPECT_EQ(readToEnd(other).rfind("HTTP/1.1 200", 0), 0u) << "another client is served meanwhile";
  // The slots are held from the accept, not from a first byte that never comes.
  const auto before = std::chrono::steady_clock::now();
  EXPECT_EQ(readToEnd(silent[0]), "");
  EXPECT_LT(std::chrono::steady_clock::now() - before, milliseconds(1500));
  std::this_thread::sleep_for(milliseconds(200));
  web::Socket again = connectFrom("127.0.0.2", server.port());
  ASSERT_TRUE(again.sendAll(request("/")));
  EXPECT_EQ(readToEnd(again).rfind("HTTP/1.1 200", 0), 0u) << "its slots are free again";

  // A client that asks for large answers and never reads them holds its thread only as long as
  // the send timeout.
  std::vector<web::Socket> hoarders;
  for (int i = 0; i < 3; ++i) {
    hoarders.push_back(connectFrom("127.0.0.3", server.port()));
    std::string pipelined;
    for (int r = 0; r < 16; ++r) pipelined += "GET /big HTTP/1.1\r\nHost: x\r\n\r\n";
    ASSERT_TRUE(hoarders.back().sendAll(pipelined));
  }
  std::this_thread::sleep_for(milliseconds(1500));
  web::Socket after = connectFrom("127.0.0.3", server.port());
  ASSERT_TRUE(after.sendAll(request("/")));
  EXPECT_EQ(readToEnd(after).rfind("HTTP/1.1 200", 0), 0u) << "the hoarders' threads have let go";
}

TEST(ServerSlots, TwoLengthsAndBodiesOverTheLimitAreRefusedUnread) {
  web::ServerLimits limits;
  limits.largestBody = 4096;
  std::atomic<int> served{0};
  web::HttpServer server(
      [&served](const web::HttpRequest&, uint64_t) {
        ++served;
        return web::Answer::json(200, "{}");
      },
      limits);
  ASSERT_TRUE(server.start(0));
  // The second length would smuggle a second request in the first one's body.
  web::Socket smuggler = connectFrom("127.0.0.1", server.port());
  ASSERT_TRUE(smuggler.sendAll("POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Length: 38\r\n\r\n"
                               "GET /smuggled HTTP/1.1\r\nHost: x\r\n\r\n"));
  EXPECT_EQ(readToEnd(smuggler).rfind("HTTP/1.0 400 Bad Request", 0), 0u);
  // A body over the limit is refused on its head alone.
  web::Socket large = connectFrom("127.0.0.1", server.port());
  ASSERT_TRUE(large.sendAll("POST /a HTTP/1.1\r\nHost: x\r\nContent-Length: 1048576\r\n\r\n"));
  EXPECT_EQ(readToEnd(large).rfind("HTTP/1.0 413 Content Too Large", 0), 0u);
  EXPECT_EQ(served, 0);
}

class GameServerBounds : public GameServer {};

TEST_F(GameServerBounds, AFloodIsRefusedBeforeItIsLoggedAndTheLogStaysInItsRoom) {
  publishTwoReleases();
  const std::filesystem::path path = folder_.path() / "requests.jsonl";
  AccessLog log(path.string(), AccessLogLimits{4096, 2}, faults_);
  GameRequestLimits limits{1, 10, 1024, kToken, true};
  requests_ = std::make_unique<GameRequests>(*store_, limits,
                                             [&log](const web::HttpRequest& request, uint64_t connection,
                                                    const std::string& client) { log.record(request, connection, client); });
  const std::string flooder = "X-Forwarded-For: 203.0.113.66\r\n";
  int refused = 0;
  for (int i = 0; i < 100; ++i) refused += get("/health", flooder).status == 429 ? 1 : 0;
  EXPECT_EQ(refused, 90) << "health checks count against the client's rate too";
  EXPECT_FALSE(std::filesystem::exists(path) && std::filesystem::file_size(path) > 0) << "and are never logged";
  const std::string longQuery = "/track/?data=" + std::string(8000, 'A');
  for (int i = 0; i < 100; ++i) get(longQuery, "X-Forwarded-For: 203.0.113." + std::to_string(i) + "\r\n");
  for (const char* name : {"requests.jsonl", "requests.jsonl.1", "requests.jsonl.2"}) {
    ASSERT_TRUE(std::filesystem::exists(folder_.path() / name)) << name;
    EXPECT_LE(std::filesystem::file_size(folder_.path() / name), 4096u) << name;
  }
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "requests.jsonl.3")) << "two old files are kept";
  std::ifstream in(path);
  std::string line;
  ASSERT_TRUE(std::getline(in, line));
  EXPECT_LT(line.size(), 700u) << "a target is cut: " << line;
  EXPECT_NE(line.find("\"client\":\"203.0.113."), std::string::npos) << line;

  EXPECT_EQ(get("/downloads/v1/irf").status, 400) << "behind a proxy, a request without X-Forwarded-For";
  const testbedtest::Reply limited = get("/health", flooder);
  EXPECT_NE(limited.head.find(" 429 Too Many Requests\r\n"), std::string::npos) << limited.head;
  const testbedtest::Reply anonymous = get("/dashboard", "X-Forwarded-For: 203.0.113.67\r\n");
  EXPECT_NE(anonymous.head.find(" 401 Unauthorized\r\n"), std::string::npos) << anonymous.head;
}

TEST_F(GameServerBounds, PoisonedEventsAreRefusedAndTheDashboardShowsNoControlCharacter) {
  publishTwoReleases();
  EXPECT_EQ(get(eventTarget("start", "p", 10, "\"system_graphics_card\":\"x\\u0000y\"")).status, 400);
  EXPECT_EQ(get(eventTarget("start", "p", 10, "\"system_graphics_card\":\"\xC0\xAF\"")).status, 400);
  EXPECT_EQ(get(eventTarget("start", "p", 10, "\"system_graphics_card\":\"a\\u202Eb\"")).status, 400);
  EXPECT_EQ(query("SELECT COUNT(*) FROM events")[0].integer(0), 0) << "nothing of them is kept";
  ASSERT_EQ(get(eventTarget("start", "p", 10)).status, 200);
  get(eventTarget("download_init", "p", 11));
  ASSERT_EQ(get(eventTarget("error", "p", 12, "\"critical\":\"1\",\"ak_error\":\"3\",\"description\":\"bell\\u0007 esc\\u001b[2J\"")).status, 200);
  get(eventTarget("download_cancel", "p", 13, "\"error\":\"1\""));
  const testbedtest::Reply page = get("/dashboard?game=irf", "Authorization: bAsIc " + base64("p:" + kToken) + "\r\n");
  ASSERT_EQ(page.status, 200) << "the scheme's name in any case";
  for (unsigned char c : page.body) {
    ASSERT_TRUE(c >= 0x20 || c == '\n') << "control character " << static_cast<int>(c) << " on the page";
  }
  EXPECT_NE(page.body.find("bell\xEF\xBF\xBD esc\xEF\xBF\xBD[2J"), std::string::npos);
}

}  // namespace
}  // namespace publisher
