// The stand-in service's answers to each function of the local API, as the client library reads
// them, on one kept-alive connection; the write challenge, deletes, drive mapping, the request log
// and the misbehaviour controls that shape answers.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "service/api_guard.h"
#include "tests/service/service_fixture.h"
#ifndef _WIN32
#include "tests/support/other_account.h"
#endif

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

class ServiceApi : public ServiceFixture {
 protected:
  void SetUp() override {
    startOrigin();
    startService();
  }

  // Downloads a small published file to C:\downloads\<name> and waits until it is complete.
  std::string completedFile(const std::string& name) {
    publish(name, 4096, static_cast<uint32_t>(name.size()));
    std::string url = originUrl(name);
    EXPECT_EQ(outcome(call(apiTarget("downloadFile", url, "&path=" + encode("C:\\downloads\\" + name))), url), "null");
    EXPECT_TRUE(waitForStatus(url, "COMPLETE"));
    return url;
  }

  std::vector<std::string> logLines() {
    std::vector<std::string> lines;
    std::ifstream in(serviceLog());
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
};

TEST_F(ServiceApi, AnswersEveryFunctionOnOneKeptConnection) {
  publish("a.bin", 10000);
  std::string url = originUrl("a.bin");

  Reply ping = api_->get("/api?function=ping&apiversion=capi_1.8.0.5&installcpcode=-1");
  ASSERT_TRUE(ping.ok);
  EXPECT_EQ(ping.status, 200);
  EXPECT_EQ(ping.head.rfind("HTTP/1.0 200 OK\r\n", 0), 0u) << ping.head;
  EXPECT_NE(ping.head.find("\r\nContent-Length: "), std::string::npos);
  EXPECT_FALSE(ping.body.empty());

  JsonObject client = call("/api?function=getClientAttributes&cid=0&apiversion=capi_1.8.0.5&complete");
  EXPECT_TRUE(client["isonline"].boolean);
  EXPECT_EQ(client["sharerate"].kind, JsonValue::Number);
  EXPECT_EQ(client["downloadrate"].kind, JsonValue::Number);
  EXPECT_EQ(client["version"].kind, JsonValue::Number);
  EXPECT_EQ(client["acceptedeula"].kind, JsonValue::Boolean);
  for (const char* text : {"executableversion", "configurationversion", "runningexecutable", "runningclientbinid"}) {
    EXPECT_EQ(client[text].kind, JsonValue::String) << text;
    EXPECT_FALSE(client[text].text.empty()) << text;
  }
  EXPECT_EQ(client["uploadspauseduntil"].number, 0);

  JsonObject unknown = attributes(url);
  EXPECT_EQ(outcome(unknown, url), "File not found.");
  EXPECT_EQ(unknown.count("status"), 0u);
  EXPECT_EQ(outcome(attributes("ftp://127.0.0.1/a.bin"), "ftp://127.0.0.1/a.bin"), "Invalid URL.");
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", "not a url")), "not a url"), "Invalid URL.");

  std::string path = "C:\\users\\me\\Downloads\\a.bin";
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", url, "&path=" + encode(path))), url), "null");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  JsonObject state = attributes(url);
  EXPECT_EQ(state["path"].text, path);
  EXPECT_EQ(state["size"].number, 10000);
  EXPECT_EQ(state["uniquerecv"].number, 10000);
  EXPECT_EQ(state["totalrecv"].number, 10000);
  EXPECT_EQ(state["progress"].number, 100);
  for (const char* number : {"downloadrate", "error", "suberror"}) {
    EXPECT_EQ(state[number].kind, JsonValue::Number) << number;
  }
  EXPECT_EQ(state["errorstring"].kind, JsonValue::String);
  EXPECT_EQ(state["verifiedcontentmd5"].kind, JsonValue::String);
  EXPECT_EQ(state["resetdownload"].kind, JsonValue::Boolean);
  EXPECT_FALSE(state["resetdownload"].boolean);

  EXPECT_EQ(outcome(call(apiTarget("deleteFile", url, "&keepphysicalfileondelete=true")), url), "null");
  EXPECT_EQ(outcome(attributes(url), url), "File not found.");
  EXPECT_EQ(api_->connectionsOpened(), 1);
}

TEST_F(ServiceApi, PauseAndDeleteRefuseUnknownAndFinishedFiles) {
  std::string unknown = originUrl("never.bin");
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", unknown)), unknown), "file not found");
  EXPECT_EQ(outcome(call(apiTarget("deleteFile", unknown, "&keepphysicalfileondelete=false")), unknown),
            "File not found.");
  std::string done = completedFile("done.bin");
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", done)), done), "cannot pause file already completed");
  EXPECT_EQ(attributes(done)["status"].text, "COMPLETE");
}

TEST_F(ServiceApi, DeleteRemovesTheFileFromDiskUnlessAskedToKeepIt) {
  std::string kept = completedFile("kept.bin");
  std::string removed = completedFile("removed.bin");
  ASSERT_TRUE(fs::exists(driveC() / "downloads" / "removed.bin"));
  EXPECT_EQ(outcome(call(apiTarget("deleteFile", kept, "&keepphysicalfileondelete=true")), kept), "null");
  EXPECT_EQ(outcome(call(apiTarget("deleteFile", removed, "&keepphysicalfileondelete=false")), removed), "null");
  EXPECT_EQ(readFile(driveC() / "downloads" / "kept.bin"), patternBytes(4096, 8));
  EXPECT_FALSE(fs::exists(driveC() / "downloads" / "removed.bin"));
  EXPECT_EQ(outcome(attributes(kept), kept), "File not found.");
  EXPECT_EQ(outcome(attributes(removed), removed), "File not found.");
}

TEST_F(ServiceApi, InUseCountAnswersExactlyThatManyDeletes) {
  std::string url = completedFile("busy.bin");
  control("inuse=2");
  std::string target = apiTarget("deleteFile", url, "&keepphysicalfileondelete=false");
  EXPECT_EQ(outcome(call(target), url), "File is in use.");
  EXPECT_EQ(outcome(call(target), url), "File is in use.");
  EXPECT_EQ(attributes(url)["status"].text, "COMPLETE");
  EXPECT_EQ(outcome(call(target), url), "null");
  EXPECT_FALSE(fs::exists(driveC() / "downloads" / "busy.bin"));
}

TEST_F(ServiceApi, DownloadChallengeAcceptsOnlyTheTokenWrittenAtThePath) {
  control("challenge=download");
  std::string content = publish("game.bin", 50000);
  std::string url = originUrl("game.bin");
  std::string target = apiTarget("downloadFile", url, "&path=" + encode("C:\\games\\game.bin"));

  std::string first = outcome(call(target), url);
  ASSERT_EQ(first.rfind("Challenge:", 0), 0u) << first;
  std::string token = first.substr(10);
  EXPECT_GE(token.size(), 16u);
  writeFile(driveC() / "games" / "game.bin", token);
  EXPECT_EQ(outcome(call(target), url), "null");
  // The token was not game data: the file is fetched from its first byte.
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "games" / "game.bin"), content);

  std::string second = outcome(call(target), url);
  ASSERT_EQ(second.rfind("Challenge:", 0), 0u);
  EXPECT_NE(second, first);
  writeFile(driveC() / "games" / "game.bin", second.substr(10) + "x");
  EXPECT_EQ(outcome(call(target), url), "Permission denied. Can't validate token (invalid file size)");

  std::string third = outcome(call(target), url);
  ASSERT_EQ(third.rfind("Challenge:", 0), 0u);
  std::string wrong = third.substr(10);
  wrong[0] = wrong[0] == 'a' ? 'b' : 'a';
  writeFile(driveC() / "games" / "game.bin", wrong);
  EXPECT_EQ(outcome(call(target), url), "Permission denied, Can't validate token (invalid token)");

  std::string other = originUrl("other.bin");
  std::string otherTarget = apiTarget("downloadFile", other, "&path=" + encode("C:\\games\\other.bin"));
  ASSERT_EQ(outcome(call(otherTarget), other).rfind("Challenge:", 0), 0u);
  EXPECT_EQ(outcome(call(otherTarget), other), "Permission denied. Can't validate token (no file)");
  EXPECT_EQ(outcome(attributes(other), other), "File not found.");
}

// Writing to a place, or removing bytes there, needs the proof that the caller can write there; a
// resume at the file's own place does not (the token would cost it the bytes on disk).
TEST_F(ServiceApi, NewPlacesAndRemovalsAreChallengedResumesAndForgettingAreNot) {
  stopService();
  startService([](svc::ServiceOptions& options) { options.challengeNewPaths = true; });
  publish("kept.bin", 50000);
  const std::string url = originUrl("kept.bin");
  const std::string atGames = apiTarget("downloadFile", url, "&path=" + encode("C:\\games\\kept.bin"));
  const std::string first = outcome(call(atGames), url);
  ASSERT_EQ(first.rfind("Challenge:", 0), 0u) << first;
  writeFile(driveC() / "games" / "kept.bin", first.substr(10));
  EXPECT_EQ(outcome(call(atGames), url), "null");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(outcome(call(atGames), url), "null") << "the same place again: no challenge";

  const std::string elsewhere = apiTarget("downloadFile", url, "&path=" + encode("C:\\other\\kept.bin"));
  EXPECT_EQ(outcome(call(elsewhere), url).rfind("Challenge:", 0), 0u) << "a new place for a known file";

  const std::string forget = apiTarget("deleteFile", url, "&keepphysicalfileondelete=true");
  EXPECT_EQ(outcome(call(forget), url), "null") << "forgetting leaves the bytes: no challenge";
  EXPECT_TRUE(fs::exists(driveC() / "games" / "kept.bin"));

  const std::string again = outcome(call(atGames), url);
  ASSERT_EQ(again.rfind("Challenge:", 0), 0u) << "forgotten, the file is new again";
  writeFile(driveC() / "games" / "kept.bin", again.substr(10));
  EXPECT_EQ(outcome(call(atGames), url), "null");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  const std::string remove = apiTarget("deleteFile", url, "&keepphysicalfileondelete=false");
  const std::string removal = outcome(call(remove), url);
  ASSERT_EQ(removal.rfind("Challenge:", 0), 0u) << "removing the bytes is challenged";
  EXPECT_TRUE(fs::exists(driveC() / "games" / "kept.bin")) << "nothing removed before the answer";
  writeFile(driveC() / "games" / "kept.bin", removal.substr(10));
  EXPECT_EQ(outcome(call(remove), url), "null");
  EXPECT_FALSE(fs::exists(driveC() / "games" / "kept.bin"));

  // A request without a path cannot be challenged and goes to the service's own folder.
  publish("pathless.bin", 1000);
  const std::string pathless = originUrl("pathless.bin");
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", pathless)), pathless), "null");
}

TEST_F(ServiceApi, DeleteChallengeIsAnsweredThroughTheReportedPath) {
  std::string url = completedFile("challenged.bin");
  control("challenge=delete");
  std::string target = apiTarget("deleteFile", url, "&keepphysicalfileondelete=false");
  std::string answer = outcome(call(target), url);
  ASSERT_EQ(answer.rfind("Challenge:", 0), 0u) << answer;
  EXPECT_EQ(attributes(url)["path"].text, "C:\\downloads\\challenged.bin");
  writeFile(driveC() / "downloads" / "challenged.bin", answer.substr(10));
  EXPECT_EQ(outcome(call(target), url), "null");
  EXPECT_FALSE(fs::exists(driveC() / "downloads" / "challenged.bin"));
}

TEST_F(ServiceApi, ClientPathsAreMappedThroughTheDrives) {
  publish("fwd.bin", 3000);
  std::string url = originUrl("fwd.bin");
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", url, "&path=" + encode("c:/Users/Me/fwd.bin"))), url), "null");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "Users" / "Me" / "fwd.bin"), patternBytes(3000, 1));
  EXPECT_EQ(attributes(url)["path"].text, "c:/Users/Me/fwd.bin");

  std::string elsewhere = originUrl("elsewhere.bin");
  std::string refused = outcome(call(apiTarget("downloadFile", elsewhere, "&path=" + encode("Q:\\x\\e.bin"))), elsewhere);
  EXPECT_NE(refused, "null");
  EXPECT_NE(refused, "<missing>");
  EXPECT_EQ(outcome(attributes(elsewhere), elsewhere), "File not found.");
}

TEST_F(ServiceApi, ForcedStatusAndForcedErrorsShapeTheAnswers) {
  std::string url = completedFile("forced.bin");
  control("forcestatus=INSUFFICIENTDISKSPACE&url=" + encode(url));
  EXPECT_EQ(attributes(url)["status"].text, "INSUFFICIENTDISKSPACE");
  control("fail=pauseFile&url=" + encode(url) + "&text=" + encode("Invalid URL."));
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "Invalid URL.");
  EXPECT_EQ(api_->get("/control?forcestatus=LOST&url=" + encode(url)).status, 400);
  control("clear");
  EXPECT_EQ(attributes(url)["status"].text, "COMPLETE");
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "cannot pause file already completed");
}

TEST_F(ServiceApi, DroppedConnectionsCloseWithoutAnAnswer) {
  control("drop=1");
  Reply dropped = api_->get("/api?function=ping&apiversion=capi_1.8.0.5&installcpcode=-1");
  EXPECT_FALSE(dropped.ok);
  EXPECT_TRUE(dropped.head.empty());
  Reply next = api_->get("/api?function=ping&apiversion=capi_1.8.0.5&installcpcode=-1");
  EXPECT_TRUE(next.ok);
  EXPECT_EQ(api_->connectionsOpened(), 2);
  // The dropped request was still received and logged.
  int pings = 0;
  for (const auto& line : logLines()) pings += line.find("\"function\":\"ping\"") != std::string::npos;
  EXPECT_EQ(pings, 2);
}

TEST_F(ServiceApi, DelayHoldsApiAnswersButNotControls) {
  control("delay=300");
  auto before = std::chrono::steady_clock::now();
  EXPECT_TRUE(api_->get("/api?function=ping&apiversion=capi_1.8.0.5").ok);
  EXPECT_GE(std::chrono::steady_clock::now() - before, std::chrono::milliseconds(300));
  control("delay=0");
}

TEST_F(ServiceApi, RequestLogHasOneLinePerRequestWithDecodedParameters) {
  std::string url = "http://127.0.0.1:1/dir/a b.bin";
  call(apiTarget("getFileAttributes", url, "&complete"));
  control("inuse=1");
  api_->get("/elsewhere");
  std::vector<std::string> lines = logLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("\"function\":\"getFileAttributes\""), std::string::npos);
  EXPECT_NE(lines[0].find("[\"url\",\"http://127.0.0.1:1/dir/a b.bin\"],[\"complete\",null]"), std::string::npos)
      << lines[0];
  EXPECT_NE(lines[0].find("[\"User-Agent\",\"Tessel Download Client\"]"), std::string::npos);
  EXPECT_NE(lines[0].find("%20b.bin"), std::string::npos);  // the raw target, undecoded
  EXPECT_NE(lines[1].find("\"path\":\"/control\""), std::string::npos);
  EXPECT_NE(lines[2].find("\"target\":\"/elsewhere\""), std::string::npos);
}

TEST_F(ServiceApi, BrokenRequestsAreRefusedAndTheConnectionCloses) {
  for (const std::string& bytes : {std::string("GET /api?function=ping HTTP/1.0\n\n"),
                                   "GET /api HTTP/1.0\r\nX: " + std::string(20000, 'a') + "\r\n\r\n"}) {
    web::Socket socket = web::connectTo("127.0.0.1", service_->port());
    ASSERT_TRUE(socket.valid());
    socket.setReceiveTimeout(5000);
    ASSERT_TRUE(socket.sendAll(bytes));
    std::string answer;
    char buffer[4096];
    for (int reads = 0; reads < 100; ++reads) {
      web::ReceiveResult result = socket.receiveSome(buffer, sizeof buffer);
      if (result.status != web::ReceiveStatus::Data) {
        EXPECT_EQ(result.status, web::ReceiveStatus::Closed);
        break;
      }
      answer.append(buffer, result.count);
    }
    bool refused = answer.rfind("HTTP/1.0 400 ", 0) == 0 || answer.rfind("HTTP/1.0 431 ", 0) == 0;
    EXPECT_TRUE(refused) << answer;
    EXPECT_NE(answer.find("Content-Length: "), std::string::npos);
  }
}

// A web page can make the player's browser send requests to 127.0.0.1: whatever the browser adds
// (Origin, Referer, Sec-Fetch-*) or a rebound name in Host gets a refusal, and nothing is done.
TEST_F(ServiceApi, RequestsFromWebPagesAndForeignHostsAreRefusedUnanswered) {
  const std::string url = originUrl("page.bin");
  const std::string download = apiTarget("downloadFile", url, "&path=C%3a%5cpage.bin");
  const std::string port = std::to_string(service_->port());
  const std::string kHostile[] = {
      "Host: localhost\r\nOrigin: http://games.example\r\n",
      "Host: 127.0.0.1:" + port + "\r\nReferer: http://games.example/page\r\n",
      "Host: 127.0.0.1\r\nSec-Fetch-Site: cross-site\r\nSec-Fetch-Mode: no-cors\r\n",
      "Host: games.example:" + port + "\r\n",
      "Host: 127.0.0.1:80\r\n",
      "Host: localhost\r\nHost: games.example\r\n",
  };
  for (const std::string& headers : kHostile) {
    Exchange answer = exchangeOnce(service_->port(), "GET " + download + " HTTP/1.0\r\n" + headers + "\r\n");
    ASSERT_TRUE(answer.reply.ok) << headers;
    EXPECT_EQ(answer.reply.status, 403) << headers;
    EXPECT_NE(answer.reply.body.find("\"error\""), std::string::npos) << headers;
  }
  Exchange absolute = exchangeOnce(service_->port(), "GET http://games.example:" + port + download +
                                                         " HTTP/1.0\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(absolute.reply.status, 403) << "an absolute target names the host too";
  EXPECT_EQ(outcome(attributes(url), url), "File not found.") << "no download was started";

  // The library's own requests, and a local program's without Host, are answered.
  for (const std::string& headers : {std::string("Host: localhost\r\n"), "Host: LOCALHOST:" + port + "\r\n",
                                     "Host: 127.0.0.1:" + port + "\r\n", std::string()}) {
    Exchange ping = exchangeOnce(service_->port(),
                                 "GET /api?function=ping&apiversion=capi_1.8.0.5 HTTP/1.0\r\n" + headers + "\r\n");
    EXPECT_EQ(ping.reply.status, 200) << headers;
  }
}

#ifndef _WIN32
// 127.0.0.1 is every account's: a program of another account (here "nobody") is refused before
// its request is read, and nothing it asked for happens; the service's own user is answered.
TEST_F(ServiceApi, ProgramsOfAnotherAccountAreRefusedUnread) {
  if (!testsupport::canRunAsOtherAccount()) GTEST_SKIP() << "only root can run a program as another account";
  const std::string url = originUrl("foreign.bin");
  const std::string request = "GET " + apiTarget("downloadFile", url) + " HTTP/1.0\r\nHost: localhost\r\n\r\n";
  const std::string answer = testsupport::exchangeAsOtherAccount(service_->port(), request);
  EXPECT_EQ(answer.rfind("HTTP/1.0 403 ", 0), 0u) << answer;
  EXPECT_NE(answer.find("only its own user"), std::string::npos) << answer;
  EXPECT_EQ(readFile(serviceLog()).find("foreign.bin"), std::string::npos) << "the foreign request was read";
  EXPECT_EQ(outcome(attributes(url), url), "File not found.") << "the foreign request was carried out";
  Exchange ping = exchangeOnce(service_->port(), "GET /api?function=ping&apiversion=capi_1.8.0.5 HTTP/1.0\r\n\r\n");
  EXPECT_EQ(ping.reply.status, 200);
}
#endif

TEST(ApiGuard, OnlyThisMachinesOwnNamesAndThePortOfTheService) {
  for (const char* own : {"127.0.0.1", "localhost", "LocalHost", "127.0.0.1:9421", "localhost:9421"}) {
    EXPECT_TRUE(svc::isOwnAuthority(own, 9421)) << own;
  }
  for (const char* foreign : {"127.0.0.1:", "127.0.0.1:80", "127.0.0.1:9421x", "127.0.0.1:-9421", "127.0.0.2",
                              "localhost.", "localhost.games.example", "[::1]:9421", "", ":9421", "0.0.0.0",
                              "127.0.0.1:94210"}) {
    EXPECT_FALSE(svc::isOwnAuthority(foreign, 9421)) << foreign;
  }
}

// A client that holds connections without finishing its requests cannot keep the API from others.
class ServiceLimits : public ServiceFixture {
 protected:
  void SetUp() override {
    startService([](svc::ServiceOptions& options) {
      options.limits = web::ServerLimits{std::chrono::milliseconds(400), std::chrono::milliseconds(600), 2};
    });
  }

  // Everything the service sends until it closes the connection (or five seconds pass).
  static std::string readToClose(web::Socket& socket) {
    socket.setReceiveTimeout(5000);
    std::string answer;
    char buffer[4096];
    for (;;) {
      web::ReceiveResult result = socket.receiveSome(buffer, sizeof buffer);
      if (result.status != web::ReceiveStatus::Data) break;
      answer.append(buffer, result.count);
    }
    return answer;
  }
};

TEST_F(ServiceLimits, SlowRequestsAreAnsweredWithATimeoutAndIdleConnectionsClosed) {
  web::Socket slow = web::connectTo("127.0.0.1", service_->port());
  ASSERT_TRUE(slow.valid());
  const auto started = std::chrono::steady_clock::now();
  // One byte every 150 ms: never silent for long, never a whole request.
  const std::string request = "GET /api?function=ping HTTP/1.0\r\nHost: localhost\r\n\r\n";
  for (size_t i = 0; i < 8 && slow.sendAll(request.substr(i, 1)); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  const std::string answer = readToClose(slow);
  EXPECT_EQ(answer.rfind("HTTP/1.0 408 ", 0), 0u) << answer;
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));

  web::Socket idle = web::connectTo("127.0.0.1", service_->port());
  ASSERT_TRUE(idle.valid());
  const auto idleStart = std::chrono::steady_clock::now();
  EXPECT_EQ(readToClose(idle), "") << "closed without a word";
  EXPECT_GE(std::chrono::steady_clock::now() - idleStart, std::chrono::milliseconds(300));
  EXPECT_LT(std::chrono::steady_clock::now() - idleStart, std::chrono::seconds(3));
}

TEST_F(ServiceLimits, ConnectionsBeyondTheCapAreRefusedAtOnce) {
  web::Socket first = web::connectTo("127.0.0.1", service_->port());
  web::Socket second = web::connectTo("127.0.0.1", service_->port());
  ASSERT_TRUE(first.valid());
  ASSERT_TRUE(second.valid());
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  web::Socket third = web::connectTo("127.0.0.1", service_->port());
  ASSERT_TRUE(third.valid());
  EXPECT_EQ(readToClose(third).rfind("HTTP/1.0 503 ", 0), 0u);
  first.close();
  second.close();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  Exchange ping = exchangeOnce(service_->port(),
                               "GET /api?function=ping&apiversion=capi_1.8.0.5 HTTP/1.0\r\nHost: localhost\r\n\r\n");
  EXPECT_EQ(ping.reply.status, 200) << "served again once the others left";
}

class ServiceIdentity : public ServiceFixture {};

TEST_F(ServiceIdentity, ClientAttributesReadTheLibraryDataFolder) {
  fs::path data = temp_.path() / "Tessel";
  startService([&](svc::ServiceOptions& options) { options.libraryDataDir = data; });
  JsonObject before = call("/api?function=getClientAttributes&cid=0&apiversion=capi_1.8.0.5&complete");
  EXPECT_FALSE(before["acceptedeula"].boolean);
  writeFile(data / "accepteula.txt", "0_Sample App EULA v1.2\r\n");
  writeFile(data / "user.dat", "UploadsPausedUntil=1234567\r\n");
  JsonObject after = call("/api?function=getClientAttributes&cid=0&apiversion=capi_1.8.0.5&complete");
  EXPECT_TRUE(after["acceptedeula"].boolean);
  EXPECT_EQ(after["uploadspauseduntil"].number, 1234567);
}

}  // namespace
}  // namespace svctest
