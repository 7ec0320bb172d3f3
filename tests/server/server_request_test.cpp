// Requests to the publisher's server through real WinHTTP under Wine, against the testbed's
// publisher server (started by the ctest fixture, on the native side).
#include "server/server_request.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <stdint.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "service_client/platform.h"
#include "service_client/transport.h"

namespace {

using std::chrono::milliseconds;

const std::filesystem::path kPublisherDir = std::filesystem::u8path(AK_WINE_PUBLISHER_DIR);

// Records what the controller would be told, and lets a test wait for it.
class RecordingHooks : public ServerHooks {
 public:
  void OnSidReply(const std::optional<std::wstring>& sid) override {
    record(L"sid:" + (sid ? *sid : std::wstring(L"(none)")));
  }
  void OnConfigReply(std::unique_ptr<GameConfig> config) override {
    std::lock_guard<std::mutex> guard(lock_);
    configs_.push_back(std::move(config));
    calls_.push_back(L"config");
    changed_.notify_all();
  }
  void OnServerRequestFailed(RequestKind kind) override {
    record(kind == RequestKind::Sid ? L"failed:sid" : kind == RequestKind::Config ? L"failed:config" : L"failed:?");
  }

  // Waits until count calls have arrived (or the time is up) and returns them all.
  std::vector<std::wstring> waitForCalls(size_t count, int timeoutMs = 10000) {
    std::unique_lock<std::mutex> guard(lock_);
    changed_.wait_for(guard, milliseconds(timeoutMs), [&] { return calls_.size() >= count; });
    return calls_;
  }
  std::unique_ptr<GameConfig> takeConfig() {
    std::lock_guard<std::mutex> guard(lock_);
    if (configs_.empty()) return nullptr;
    auto config = std::move(configs_.front());
    configs_.erase(configs_.begin());
    return config;
  }

 private:
  void record(std::wstring call) {
    std::lock_guard<std::mutex> guard(lock_);
    calls_.push_back(std::move(call));
    changed_.notify_all();
  }
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::wstring> calls_;
  std::vector<std::unique_ptr<GameConfig>> configs_;
};

int portOf(const char* name) {
  std::ifstream file(kPublisherDir / name);
  int port = 0;
  file >> port;
  return port;
}

std::string readLog(const char* name) {
  std::ifstream file(kPublisherDir / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

size_t occurrences(const std::string& log, const std::string& text) {
  size_t found = 0;
  for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++found;
  return found;
}

// The proxy the user has set in Internet Options, as Windows keeps it: the connection settings
// blob (version, counter, flags "direct and proxy", the proxy's length and text, no exceptions, no
// configuration script, the reserved tail). What was there before comes back at the end.
class UserProxySetting {
 public:
  explicit UserProxySetting(const std::string& proxy) {
    RegCreateKeyExW(HKEY_CURRENT_USER, kConnections, 0, nullptr, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_,
                    nullptr);
    DWORD size = 0;
    had_ = RegQueryValueExW(key_, kValue, nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    previous_.resize(size);
    if (had_ && size > 0) RegQueryValueExW(key_, kValue, nullptr, nullptr, previous_.data(), &size);
    set(proxy);
  }
  ~UserProxySetting() {
    if (had_) {
      RegSetValueExW(key_, kValue, 0, REG_BINARY, previous_.data(), static_cast<DWORD>(previous_.size()));
    } else {
      RegDeleteValueW(key_, kValue);
    }
    RegCloseKey(key_);
  }
  UserProxySetting(const UserProxySetting&) = delete;
  UserProxySetting& operator=(const UserProxySetting&) = delete;

  void set(const std::string& proxy) {
    std::vector<BYTE> blob;
    auto add = [&blob](uint32_t value) {
      for (int shift = 0; shift < 32; shift += 8) blob.push_back(static_cast<BYTE>(value >> shift));
    };
    add(0x46);
    add(0);
    add(3);
    add(static_cast<uint32_t>(proxy.size()));
    blob.insert(blob.end(), proxy.begin(), proxy.end());
    add(0);
    add(0);
    blob.resize(blob.size() + 32, 0);
    ASSERT_EQ(RegSetValueExW(key_, kValue, 0, REG_BINARY, blob.data(), static_cast<DWORD>(blob.size())), ERROR_SUCCESS);
  }

 private:
  static constexpr const wchar_t* kConnections =
      L"Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings\\Connections";
  static constexpr const wchar_t* kValue = L"DefaultConnectionSettings";
  HKEY key_ = nullptr;
  bool had_ = false;
  std::vector<BYTE> previous_;
};


class ServerRequestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    port_ = portOf("publisher.port");
    ASSERT_GT(port_, 0) << "the publisher fixture did not start";
    ASSERT_TRUE(akplatform::startNetworking());
    logStart_ = readLog("publisher.log").size();
    control("clear");
  }

  void TearDown() override { akplatform::stopNetworking(); }

  ServerAddress address(int port = 0) const { return ServerAddress{L"127.0.0.1", port ? port : port_, L"/downloads/v1"}; }

  // Applies fault controls at the publisher, synchronously.
  void control(const std::string& query) {
    std::string url = "http://127.0.0.1:" + std::to_string(port_) + "/control?" + query;
    size_t length = 0;
    char* answer = _ak_fetchUrl("test", url.c_str(), nullptr, &length);
    ASSERT_NE(answer, nullptr) << url;
    free(answer);
  }

  std::string newLog() const { return readLog("publisher.log").substr(logStart_); }

  // The requests logged since the test began, once they hold count occurrences of text.
  std::string waitForLogged(const std::string& text, size_t count) {
    std::string log;
    for (int i = 0; i < 200; ++i) {
      log = newLog();
      if (occurrences(log, text) >= count) break;
      Sleep(25);
    }
    return log;
  }

  int port_ = 0;
  size_t logStart_ = 0;
  RecordingHooks hooks_;
};

TEST_F(ServerRequestTest, HttpsReachesTheServerThroughACertificateThePrefixTrusts) {
  const int tlsPort = portOf("publisher-tls.port");
  ASSERT_GT(tlsPort, 0) << "the TLS front did not start";
  ServerRequest sid(&hooks_, ServerAddress{L"127.0.0.1", tlsPort, L"/downloads/v1", true});
  sid.RequestSid(L"irf");
  ASSERT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"sid:tb-sid-0001"}));
  EXPECT_NE(waitForLogged("\"/downloads/v1/irf\"", 1).find("\"/downloads/v1/irf\""), std::string::npos)
      << "the request went through the front to the publisher";
}

TEST_F(ServerRequestTest, HttpsWithACertificateNobodyTrustsIsAFailedRequest) {
  const int strangerPort = portOf("publisher-stranger.port");
  ASSERT_GT(strangerPort, 0) << "the TLS front did not start";
  ServerRequest sid(&hooks_, ServerAddress{L"127.0.0.1", strangerPort, L"/downloads/v1", true});
  sid.RequestSid(L"irf");
  EXPECT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"failed:sid"}));
  // A plain request to a TLS port, and a secure one to a plain port, fail too.
  ServerRequest plainToTls(&hooks_, ServerAddress{L"127.0.0.1", portOf("publisher-tls.port"), L"/downloads/v1", false});
  plainToTls.RequestSid(L"irf");
  ServerRequest secureToPlain(&hooks_, ServerAddress{L"127.0.0.1", port_, L"/downloads/v1", true});
  secureToPlain.RequestSid(L"irf");
  EXPECT_EQ(hooks_.waitForCalls(3, 20000),
            (std::vector<std::wstring>{L"failed:sid", L"failed:sid", L"failed:sid"}));
  EXPECT_EQ(newLog().find("\"/downloads/v1/irf\""), std::string::npos) << "nothing reached the publisher";
}

TEST_F(ServerRequestTest, SidThenConfigurationReachTheHooks) {
  ServerRequest sid(&hooks_, address());
  sid.RequestSid(L"irf");
  ASSERT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"sid:tb-sid-0001"}));

  // Forty entries make an answer of several kilobytes: many 1024-byte reads, appended in order.
  ServerRequest config(&hooks_, address());
  config.RequestConfig(L"irf", L"tb-sid-0001");
  ASSERT_EQ(hooks_.waitForCalls(2).size(), 2u);
  std::unique_ptr<GameConfig> received = hooks_.takeConfig();
  ASSERT_NE(received, nullptr);
  ASSERT_EQ(received->files.size(), 40u);
  for (size_t i = 0; i < received->files.size(); ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"/part%02u.bin", static_cast<unsigned>(i + 1));
    EXPECT_NE(received->files[i].uri.find(name), std::wstring::npos) << i;
  }

  std::string log = newLog();
  size_t sidLine = log.find("\"path\":\"/downloads/v1/irf\"");
  size_t configLine = log.find("\"path\":\"/downloads/v1/irf/tb-sid-0001/config\"");
  ASSERT_NE(sidLine, std::string::npos) << log;
  ASSERT_NE(configLine, std::string::npos) << log;
  EXPECT_LT(sidLine, configLine);
  EXPECT_NE(log.find("Tessel Download Client"), std::string::npos);
}

// An answer in UTF-8 with names outside ASCII is read whole: a character split between two reads
// of 1024 bytes comes out whole, and no name is taken in the ANSI code page.
TEST_F(ServerRequestTest, NamesOutsideAsciiSurviveTheReadsOfTheAnswer) {
  ServerRequest config(&hooks_, address(portOf("publisher-names.port")));
  config.RequestConfig(L"irf", L"tb-sid-0001");
  ASSERT_EQ(hooks_.waitForCalls(1).size(), 1u);
  std::unique_ptr<GameConfig> received = hooks_.takeConfig();
  ASSERT_NE(received, nullptr);
  ASSERT_EQ(received->files.size(), 40u);
  for (size_t i = 0; i < received->files.size(); ++i) {
    wchar_t name[32];
    swprintf(name, 32, L"/\u30C7\u30FC\u30BF\u90E8%02u.bin", static_cast<unsigned>(i + 1));
    const std::wstring& uri = received->files[i].uri;
    EXPECT_EQ(uri.substr(uri.size() - wcslen(name)), name) << i;
  }
}

TEST_F(ServerRequestTest, AnEmptyAnswerGivesNoSid) {
  ServerRequest sid(&hooks_, address(portOf("publisher-empty.port")));
  sid.RequestSid(L"irf");
  EXPECT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"sid:(none)"}));
}

TEST_F(ServerRequestTest, RefusedConnectionsAndErrorStatusesAreFailures) {
  {
    // Nothing listens on the discard port of the loopback interface.
    ServerRequest sid(&hooks_, address(9));
    sid.RequestSid(L"irf");
    EXPECT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"failed:sid"}));
  }
  control("fault=status&status=404&count=1&on=config");
  control("fault=status&status=500&count=1&on=sid");
  ServerRequest config(&hooks_, address());
  config.RequestConfig(L"irf", L"tb-sid-0001");
  ServerRequest sid(&hooks_, address());
  sid.RequestSid(L"irf");
  std::vector<std::wstring> calls = hooks_.waitForCalls(3);
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_NE(std::find(calls.begin(), calls.end(), L"failed:config"), calls.end());
  EXPECT_EQ(std::count(calls.begin(), calls.end(), L"failed:sid"), 2);
  // The failed sid request may be sent again on the same object, and now succeeds.
  sid.RequestSid(L"irf");
  EXPECT_EQ(hooks_.waitForCalls(4).back(), L"sid:tb-sid-0001");
}

TEST_F(ServerRequestTest, StatisticsPostsCarryTheFormAndItsContentType) {
  ServerRequest stats(&hooks_, address());
  PropertyList record{{L"event", L"pause"}, {L"attr1", L"7"}, {L"attr2", L"3221225472"}};
  stats.PostStats(L"irf", L"tb-sid-0001", record);
  waitForLogged("\"method\":\"POST\"", 1);
  stats.PostStats(L"irf", L"tb-sid-0001", PropertyList());
  std::string log = waitForLogged("\"method\":\"POST\"", 2);
  size_t first = log.find("\"method\":\"POST\"");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_NE(log.find("\"path\":\"/downloads/v1/irf/tb-sid-0001/stats\""), std::string::npos) << log;
  EXPECT_NE(log.find("event=pause&attr1=7&attr2=3221225472"), std::string::npos) << log;
  size_t second = log.find("\"method\":\"POST\"", first + 1);
  ASSERT_NE(second, std::string::npos) << log;
  std::string secondLine = log.substr(second, log.find('\n', second) - second);
  EXPECT_NE(secondLine.find("\"body\":\"\""), std::string::npos) << secondLine;
  EXPECT_NE(secondLine.find("application/x-www-form-urlencoded"), std::string::npos) << secondLine;
  EXPECT_TRUE(hooks_.waitForCalls(1, 300).empty());
}

// A player behind a school's or an office's proxy: each request goes through the proxy the user has
// set, read afresh for every request; a proxy that cannot be reached fails the request (the retries
// take over) rather than being passed by, and without one the request goes straight.
TEST_F(ServerRequestTest, RequestsGoThroughTheUsersProxy) {
  const int proxyPort = portOf("proxy.port");
  ASSERT_GT(proxyPort, 0) << "the forward proxy did not start";
  // Wine's WinHTTP names the origin in Host and sends the path alone, as some stacks do to a proxy.
  const std::string proxied = "\"path\":\"/downloads/v1/irf\"";
  const size_t before = occurrences(readLog("proxy.log"), proxied);
  {
    UserProxySetting setting("127.0.0.1:" + std::to_string(proxyPort));
    ServerRequest sid(&hooks_, address());
    sid.RequestSid(L"irf");
    ASSERT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"sid:tb-sid-0001"}));
    EXPECT_EQ(occurrences(readLog("proxy.log"), proxied), before + 1) << readLog("proxy.log");
    setting.set("127.0.0.1:9");
    sid.RequestSid(L"irf");
    EXPECT_EQ(hooks_.waitForCalls(2).back(), L"failed:sid") << "the unreachable proxy was passed by";
  }
  ServerRequest direct(&hooks_, address());
  direct.RequestSid(L"irf");
  EXPECT_EQ(hooks_.waitForCalls(3).back(), L"sid:tb-sid-0001");
  EXPECT_EQ(occurrences(readLog("proxy.log"), proxied), before + 1) << "the user's proxy was kept after it was gone";
  EXPECT_EQ(occurrences(newLog(), proxied), 2u)
      << "the publisher saw the proxied and the straight request";
}

// A request replaced before its answer came must not reach the hooks late.
TEST_F(ServerRequestTest, OnlyTheRequestThatReplacedAnotherIsActedOn) {
  control("fault=slow&delay=1000&count=1&on=sid");
  ServerRequest sid(&hooks_, address());
  sid.RequestSid(L"irf");
  Sleep(200);
  sid.RequestSid(L"irf");
  EXPECT_EQ(hooks_.waitForCalls(1).size(), 1u);
  Sleep(1500);
  EXPECT_EQ(hooks_.waitForCalls(1), (std::vector<std::wstring>{L"sid:tb-sid-0001"}));
}

}  // namespace
