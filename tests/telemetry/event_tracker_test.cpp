// The tracker: the common properties after the event's own, in their fixed order, the time
// property, and the request path the transport is handed (read back by the testbed's sink).
#include <gtest/gtest.h>

#include "web/base64.h"
#include "telemetry/common_properties.h"
#include "telemetry/event_tracker.h"
#include "testbed/analytics_sink.h"
#include "tests/telemetry/telemetry_fakes.h"
#include "tests/telemetry/track_readback.h"

namespace telemetrytest {
namespace {

GameInfo TestGame() {
  GameInfo game;
  game.code = L"irf";
  game.buildVersion = L"671";
  game.language = L"en";
  game.analyticsToken = L"5d0c2a9e7b41f6038e2d9c1a4b7f3e60";
  return game;
}

TEST(CommonProperties, ThirteenPairsInTheirOrder) {
  FixedSystem system;
  PropertyList list = {{L"own", L"first"}};
  AppendCommonProperties(list, TestGame(), system, 1000000000);
  PropertyList expected = {{L"own", L"first"},
                           {L"user_guid", L"abc"},
                           {L"mp_name_tag", L"abc"},
                           {L"distinct_id", L"abc"},
                           {L"token", L"5d0c2a9e7b41f6038e2d9c1a4b7f3e60"},
                           {L"time", L"1000000000"},
                           {L"game_id", L"irf"},
                           {L"build_ver", L"671"},
                           {L"lang", L"en"},
                           {L"system_os", L"Microsoft Windows 7 Professional (build 7601), 64-bit"},
                           {L"system_ie", L"9.0"},
                           {L"system_screen", L"1920x1080"},
                           {L"system_language", L"en"},
                           {L"service_guid", L"guid-1"}};
  EXPECT_EQ(list, expected);
}

TEST(CommonProperties, TimeIsWrittenFromItsLow32Bits) {
  struct Case {
    int64_t now;
    const wchar_t* text;
  } cases[] = {{0, L"0"}, {2147483647, L"2147483647"}, {2147483648, L"-2147483648"}, {(1ll << 32) + 5, L"5"}};
  for (const auto& c : cases) {
    FixedSystem system;
    PropertyList list;
    AppendCommonProperties(list, TestGame(), system, c.now);
    EXPECT_EQ(list[4], (PropertyList::Pair{L"time", c.text})) << c.now;
  }
}

TEST(EventTracker, SendsOwnThenCommonPropertiesAsOneTrackRequest) {
  GameInfo game = TestGame();
  FixedSystem system;
  FakeClock clock;
  RecordingTransport transport;
  EventTracker tracker(game, system, clock, transport);
  tracker.Track(L"download_pause", {{L"file_piece", L"2"}, {L"file_piece_completion", L"25"}});
  tracker.Track(L"restore_window", {});
  ASSERT_EQ(transport.paths.size(), 2u);
  EXPECT_EQ(system.userIdReads, 2);

  testbed::TrackedEvent pause = ReadBack(transport.paths[0]);
  ASSERT_TRUE(pause.readable) << pause.error;
  EXPECT_EQ(pause.event, "download_pause");
  ASSERT_EQ(pause.properties.size(), 15u);
  EXPECT_EQ(pause.properties[0].first, "file_piece");
  EXPECT_EQ(pause.properties[1].first, "file_piece_completion");
  EXPECT_EQ(pause.properties[2].first, "user_guid");
  EXPECT_EQ(pause.properties[14].first, "service_guid");
  EXPECT_EQ(pause.property("time"), "1000000000");
  EXPECT_EQ(pause.rawQuery.substr(pause.rawQuery.size() - 5), "&ip=1");

  testbed::TrackedEvent restore = ReadBack(transport.paths[1]);
  ASSERT_TRUE(restore.readable) << restore.error;
  ASSERT_EQ(restore.properties.size(), 13u);
  testbed::QueryParams query = testbed::parseQuery(restore.rawQuery);
  ASSERT_EQ(query.size(), 2u);
  std::optional<std::string> payload = web::decodeBase64(query[0].value);
  ASSERT_TRUE(payload);
  EXPECT_EQ(payload->rfind("{\"event\":\"restore_window\",\"properties\":{\"user_guid\":\"abc\",", 0), 0u) << *payload;
}

}  // namespace
}  // namespace telemetrytest
