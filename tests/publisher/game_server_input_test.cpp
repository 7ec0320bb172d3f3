// What game-server takes from the internet before any of it reaches the database: player text,
// the analytics event, the statistics form and the client's address.
#include <gtest/gtest.h>

#include "publisher/game_requests.h"
#include "publisher/player_event.h"
#include "publisher/stats_form.h"
#include "publisher/text_checks.h"
#include "telemetry/base64.h"

namespace publisher {
namespace {

TEST(PlayerText, OnlyWellFormedUtf8WithoutNulOrDirectionControlsIsText) {
  struct Case {
    const char* what;
    std::string text;
    bool isText;
  };
  const Case cases[] = {
      {"ASCII", "Connection problems", true},
      {"empty", "", true},
      {"two, three and four bytes", "Gr\xC3\xBC\xC3\x9F \xE2\x82\xAC \xF0\x9F\x8E\xAE", true},
      {"a tab and a line end", "a\tb\nc", true},
      {"NUL", std::string("ab\0c", 4), false},
      {"a lone continuation byte", "a\x80", false},
      {"a lead byte cut short", "a\xE2\x82", false},
      {"an overlong slash", "\xC0\xAF", false},
      {"an overlong three-byte form", "\xE0\x80\xAF", false},
      {"a surrogate", "\xED\xA0\x80", false},
      {"past U+10FFFF", "\xF4\x90\x80\x80", false},
      {"right-to-left override U+202E", "file\xE2\x80\xAE" "exe.txt", false},
      {"first strong isolate U+2068", "\xE2\x81\xA8x", false},
      {"right-to-left mark U+200F", "\xE2\x80\x8F", false},
      {"Arabic letter mark U+061C", "\xD8\x9C", false},
  };
  for (const Case& c : cases) EXPECT_EQ(isPlayerText(c.text), c.isText) << c.what;
}

TEST(PlayerText, TheDashboardShowsNoControlCharacter) {
  EXPECT_EQ(displayable("a\tb\r\nc"), "a b  c");
  EXPECT_EQ(displayable("bell\x07" "esc\x1B[31m"), "bell\xEF\xBF\xBD" "esc\xEF\xBF\xBD[31m");
  EXPECT_EQ(displayable("C1 \xC2\x85 DEL \x7F"), "C1 \xEF\xBF\xBD DEL \xEF\xBF\xBD");
  EXPECT_EQ(displayable("bad \xFF utf-8"), "bad \xEF\xBF\xBD utf-8");
  EXPECT_EQ(displayable("x\xE2\x80\xAEy"), "x\xEF\xBF\xBDy") << "nor a direction control stored before";
  EXPECT_EQ(displayable("Gr\xC3\xBC\xC3\x9F"), "Gr\xC3\xBC\xC3\x9F");
}

TEST(PlayerText, WhatPublishingAcceptsAsGameAndCdnBase) {
  EXPECT_TRUE(isGameCode("irf-2.1_x"));
  EXPECT_FALSE(isGameCode(""));
  EXPECT_FALSE(isGameCode(std::string(33, 'a')));
  EXPECT_FALSE(isGameCode("a/b"));
  EXPECT_TRUE(isCdnBase("https://cdn.example.com/irf/r1"));
  EXPECT_TRUE(isCdnBase("http://127.0.0.1:8000/games/irf%20r1/"));
  EXPECT_TRUE(isCdnBase("https://cdn.example.com"));
  EXPECT_FALSE(isCdnBase("ftp://cdn.example.com/irf"));
  EXPECT_FALSE(isCdnBase("https:///irf")) << "no host";
  EXPECT_FALSE(isCdnBase("https://cdn.example.com/irf?token=1")) << "a query would swallow the file name";
  EXPECT_FALSE(isCdnBase("https://cdn.example.com/irf#top"));
  EXPECT_FALSE(isCdnBase("https://cdn.example.com/a b"));
  EXPECT_FALSE(isCdnBase("https://cdn.example.com/\"><x"));
  EXPECT_FALSE(isCdnBase("https://user@cdn.example.com/"));
  EXPECT_FALSE(isCdnBase("https://cdn.example.com/" + std::string(600, 'a')));
}

std::string trackQuery(const std::string& json) { return "data=" + EncodeBase64(json) + "&ip=1"; }

std::string eventJson(const std::string& ownProperties) {
  return "{\"event\":\"error\",\"properties\":{" + ownProperties +
         "\"distinct_id\":\"p1\",\"time\":\"1700000000\",\"game_id\":\"irf\"}}";
}

TEST(PlayerEvents, PoisonedPropertiesAreRefusedAndTheDownloadersOwnPass) {
  std::string why;
  const std::optional<PlayerEvent> good = readPlayerEvent(trackQuery(eventJson("\"description\":\"Gr\\u00fc\\u00df\",")), &why);
  ASSERT_TRUE(good) << why;
  EXPECT_EQ(good->name, "error");
  EXPECT_EQ(*good->property("description"), "Gr\xC3\xBC\xC3\x9F");
  EXPECT_EQ(*good->property("game_id"), "irf");

  const char* const poisoned[] = {
      "\"description\":\"cut\\u0000here\",",        // NUL, escaped
      "\"description\":\"\xFF\xFE\",",              // bytes that are not UTF-8
      "\"description\":\"evil\\u202Etxt.exe\",",   // a right-to-left override
      "\"desc\\u0000ription\":\"x\",",              // NUL in a name
      "\"description\":\"\\ud800\",",               // a lone surrogate
      "\"description\":5,",                         // not text
  };
  for (const char* properties : poisoned) {
    EXPECT_FALSE(readPlayerEvent(trackQuery(eventJson(properties)), &why)) << properties;
  }
  EXPECT_FALSE(readPlayerEvent(trackQuery("{\"event\":\"start\",\"properties\":{\"time\":\"1\"}}"), &why));
  EXPECT_FALSE(readPlayerEvent(trackQuery(eventJson("\"game_id\":\"../x\",")), &why)) << "the first game_id counts";
  std::string many;
  for (int i = 0; i < 65; ++i) many += "\"p" + std::to_string(i) + "\":\"v\",";
  EXPECT_FALSE(readPlayerEvent(trackQuery(eventJson(many)), &why)) << "too many properties";
}

TEST(StatsForms, OnlyTheDownloadersRecordIsRead) {
  std::string why;
  const std::optional<StatsRecord> record = readStatsForm("event=partial_complete&attr1=3&attr2=3221225472", &why);
  ASSERT_TRUE(record) << why;
  EXPECT_EQ(record->event, "partial_complete");
  EXPECT_EQ(record->attr1, "3");
  EXPECT_EQ(record->attr2, "3221225472");
  ASSERT_TRUE(readStatsForm("event=unpause", &why));
  for (const char* body : {"event=format", "event=pause&event=pause", "event=pause&attr2=-1", "event=pause&attr1=a%20b",
                           "event=pause&x=1", ""}) {
    EXPECT_FALSE(readStatsForm(body, &why)) << body;
  }
  ASSERT_FALSE(readStatsForm("event=pause&%1B%5B2J=1", &why));
  EXPECT_EQ(why.find('\x1B'), std::string::npos) << "the refusal never repeats a control character: " << why;
}

web::HttpRequest withHeaders(std::vector<web::Header> headers) {
  web::HttpRequest request;
  request.headers = std::move(headers);
  request.peerAddress = "192.0.2.1";
  return request;
}

TEST(ClientAddress, BehindAProxyTheClientIsTheLastEntryOfTheLastForwardedLine) {
  EXPECT_EQ(clientOf(withHeaders({{"X-Forwarded-For", "198.51.100.7, 203.0.113.9"}}), true), "203.0.113.9");
  EXPECT_EQ(clientOf(withHeaders({{"X-Forwarded-For", "10.0.0.1"}, {"x-forwarded-for", "203.0.113.9"}}), true),
            "203.0.113.9")
      << "a first line the client wrote itself is not trusted";
  EXPECT_EQ(clientOf(withHeaders({{"X-Forwarded-For", "2001:db8::1"}}), true), "2001:db8::1");
  EXPECT_FALSE(clientOf(withHeaders({}), true)) << "behind a proxy, no header is no client";
  EXPECT_FALSE(clientOf(withHeaders({{"X-Forwarded-For", "203.0.113.9, "}}), true)) << "an empty last entry";
  EXPECT_FALSE(clientOf(withHeaders({{"X-Forwarded-For", "evil\x1B[0m"}}), true));
  EXPECT_EQ(clientOf(withHeaders({{"X-Forwarded-For", "203.0.113.9"}}), false), "192.0.2.1")
      << "without a proxy, the header is the client's own words and the socket's address counts";
  EXPECT_EQ(clientOf(withHeaders({}), false), "192.0.2.1");
}

}  // namespace
}  // namespace publisher
