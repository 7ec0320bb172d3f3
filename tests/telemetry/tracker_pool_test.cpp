// Analytics events through the pool of WinHTTP request slots under Wine, against the testbed's
// analytics sinks (started natively by the ctest fixture).
#include "telemetry/tracker_pool.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "server/game_info.h"
#include "telemetry/event_tracker.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::filesystem::path kSinkDir = std::filesystem::u8path(AK_WINE_SINK_DIR);

int portOf(const char* name) {
  std::ifstream file(kSinkDir / name);
  int port = 0;
  file >> port;
  return port;
}

// The sink's log once it holds count lines, or what it holds after five seconds.
std::string waitForLines(const char* name, size_t count) {
  std::string log;
  for (int i = 0; i < 200; ++i) {
    std::ifstream file(kSinkDir / name, std::ios::binary);
    log.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    if (static_cast<size_t>(std::count(log.begin(), log.end(), '\n')) >= count) break;
    Sleep(25);
  }
  return log;
}

class FixedSystem : public SystemDescription {
 public:
  std::wstring UserId() override { return L"0a1b2c3d4e5f"; }
  std::wstring OperatingSystem() override { return L"Microsoft Windows 7 Professional (build 7601), 64-bit"; }
  std::wstring InternetExplorerVersion() override { return L"9.0"; }
  std::wstring ScreenSize() override { return L"1024x768"; }
  std::wstring Language() override { return L"en"; }
  std::wstring FlashVersion() override { return L"unknown"; }
  std::wstring DotNetVersion() override { return L"v4"; }
  std::wstring Memory() override { return L"2.0GB"; }
  std::wstring ProcessorCount() override { return L"1"; }
  std::wstring CoresPerProcessor() override { return L"2"; }
  std::wstring ProcessorClock() override { return L"2400"; }
  std::wstring GraphicsCard() override { return L"Card \"X\""; }
  std::wstring GraphicsMemory() override { return L"256"; }
  std::wstring ClientGuid() override { return L"unknown"; }
};

class FixedClock : public EventClock {
 public:
  int64_t NowSeconds() const override { return 1000000000; }
};

TEST(TrackerPool, AnEventArrivesDecodedWithTheCommonPropertiesInOrder) {
  int port = portOf("analytics.port");
  ASSERT_GT(port, 0) << "the sink fixture did not start";
  TrackerPool pool(L"127.0.0.1", port, false);
  FixedSystem system;
  FixedClock clock;
  EventTracker tracker(BuiltInGameInfo(), system, clock, pool);
  tracker.Track(L"download_pause", PropertyList{{L"file_piece", L"2"}, {L"description", L"a \"quoted\" \\ text"}});
  std::string log = waitForLines("analytics.log", 1);
  ASSERT_NE(log.find("\"event\":\"download_pause\""), std::string::npos) << log;
  const char* keys[] = {"file_piece", "description", "user_guid", "mp_name_tag", "distinct_id", "token",
                        "time",       "game_id",     "build_ver", "lang",        "system_os",   "system_ie",
                        "system_screen", "system_language", "service_guid"};
  size_t at = log.find("\"properties\"");
  ASSERT_NE(at, std::string::npos) << log;
  for (const char* key : keys) {
    size_t next = log.find(std::string("\"") + key + "\"", at);
    ASSERT_NE(next, std::string::npos) << key << " in " << log;
    at = next;
  }
  EXPECT_NE(log.find("1000000000"), std::string::npos);
  EXPECT_NE(log.find("\"/track/?data="), std::string::npos);
  EXPECT_NE(log.find("&ip=1"), std::string::npos);
}

// With every answer a second late, three events fill the three slots; the fourth waits three
// passes of 50 ms and then takes slot 0, abandoning its request.
TEST(TrackerPool, AFourthEventWaitsThenReclaimsTheFirstSlot) {
  int port = portOf("analytics-slow.port");
  ASSERT_GT(port, 0) << "the sink fixture did not start";
  TrackerPool pool(L"127.0.0.1", port, false);
  for (int expected = 0; expected < 3; ++expected) {
    Clock::time_point before = Clock::now();
    pool.SendTrackRequest(L"/track/?data=e30=&ip=1");
    EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(100));
    EXPECT_EQ(pool.lastSlot(), expected);
  }
  Clock::time_point before = Clock::now();
  pool.SendTrackRequest(L"/track/?data=e30=&ip=1");
  std::chrono::milliseconds waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
  EXPECT_EQ(pool.lastSlot(), 0);
  EXPECT_GE(waited.count(), 100);
  EXPECT_LT(waited.count(), 900);
  // Once the answers have come, slots are free again and the next event goes out at once.
  Sleep(1500);
  before = Clock::now();
  pool.SendTrackRequest(L"/track/?data=e30=&ip=1");
  EXPECT_LT(Clock::now() - before, std::chrono::milliseconds(100));
}

}  // namespace
