// An event's way into its analytics request: JSON with escaping, Base64, the query and path, and
// events of any length sent whole. The testbed's analytics sink reads the requests back with its
// own strict decoders, so a fault on either side shows up as a mismatch.
#include <gtest/gtest.h>

#include "telemetry/base64.h"
#include "telemetry/event_json.h"
#include "telemetry/track_request.h"
#include "testbed/analytics_sink.h"
#include "web/base64.h"
#include "tests/telemetry/track_readback.h"

namespace {

using telemetrytest::Narrow;
using telemetrytest::ReadBack;

TEST(EventJson, QuotesEveryCharacterSafely) {
  struct Case {
    std::wstring text;
    std::wstring quoted;
  } cases[] = {
      {L"", L"\"\""},
      {L"plain text 1.5/2", L"\"plain text 1.5/2\""},
      {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
      {L"C:\\Games\\a.bin", L"\"C:\\\\Games\\\\a.bin\""},
      {L"a\nb\rc\td\be\ff", L"\"a\\nb\\rc\\td\\be\\ff\""},
      {std::wstring(L"nul\0x", 5), L"\"nul\\u0000x\""},
      {L"\x01\x1f\x7f", L"\"\\u0001\\u001f\\u007f\""},
      {L"caf\x00e9 \x2122", L"\"caf\\u00e9 \\u2122\""},
      {L"\xfffd", L"\"\\ufffd\""},
  };
  for (const auto& c : cases) EXPECT_EQ(JsonQuote(c.text), c.quoted) << Narrow(c.quoted);
}

TEST(EventJson, CharactersBeyondTheBasicPlaneBecomeSurrogatePairsAndLoneHalvesAreReplaced) {
  std::wstring emoji;
  if (sizeof(wchar_t) == 2) {
    emoji = {static_cast<wchar_t>(0xd83d), static_cast<wchar_t>(0xde00)};
  } else {
    emoji = {static_cast<wchar_t>(0x1f600)};
  }
  EXPECT_EQ(JsonQuote(emoji), L"\"\\ud83d\\ude00\"");
  std::wstring lone = {L'a', static_cast<wchar_t>(0xd800), L'b', static_cast<wchar_t>(0xdc00)};
  EXPECT_EQ(JsonQuote(lone), L"\"a\\ufffdb\\ufffd\"");
}

TEST(EventJson, ObjectsKeepOrderAndRepeatedKeys) {
  EXPECT_EQ(EncodeJsonObject({}), L"{}");
  EXPECT_EQ(EncodeJsonObject({{L"event", L"pause"}, {L"attr1", L"7"}, {L"attr1", L"8"}}),
            L"{\"event\":\"pause\",\"attr1\":\"7\",\"attr1\":\"8\"}");
  EXPECT_EQ(EventPayload(L"restore_window", {}), L"{\"event\":\"restore_window\",\"properties\":{}}");
  EXPECT_EQ(EventPayloadBytes(L"x\"y", {{L"k\\", L"\x00e9"}}),
            "{\"event\":\"x\\\"y\",\"properties\":{\"k\\\\\":\"\\u00e9\"}}");
}

TEST(EventJson, ValuesThatWouldBreakTheObjectArriveIntact) {
  PropertyList properties = {{L"description", L"Disk \"C:\\\" failed\n"},
                             {L"file_piece", L"</rnum>\"},\"evil\":\"1"},
                             {L"system_graphics_card", L"Radeon\x2122 \x00c9" L"dition"}};
  testbed::TrackedEvent event = ReadBack(TrackRequestPath(L"error", properties));
  ASSERT_TRUE(event.readable) << event.error;
  EXPECT_EQ(event.event, "error");
  ASSERT_EQ(event.properties.size(), 3u);
  EXPECT_EQ(event.property("description"), "Disk \"C:\\\" failed\n");
  EXPECT_EQ(event.property("file_piece"), "</rnum>\"},\"evil\":\"1");
  EXPECT_EQ(event.property("system_graphics_card"), "Radeon\xe2\x84\xa2 \xc3\x89" "dition");
  EXPECT_EQ(event.property("evil"), "<missing>");
}

TEST(Base64, MatchesTheStandardVectors) {
  struct Case {
    const char* bytes;
    const char* encoded;
  } cases[] = {
      {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "+/+/"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeBase64(c.bytes), c.encoded) << c.bytes;
    EXPECT_EQ(Base64Length(std::string(c.bytes).size()), std::string(c.encoded).size());
  }
  std::string allBytes;
  for (int i = 0; i < 256; ++i) allBytes.push_back(static_cast<char>(i));
  std::optional<std::string> decoded = web::decodeBase64(EncodeBase64(allBytes));
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, allBytes);
}

TEST(TrackRequest, QueryAndPathCarryTheBase64AsItIs) {
  EXPECT_EQ(TrackQuery("ab+/cd=="), L"data=ab+/cd==&ip=1");
  EXPECT_EQ(TrackPath(L"data=x&ip=1"), L"/track/?data=x&ip=1");
  std::wstring path = TrackRequestPath(L"start", {});
  EXPECT_EQ(path, L"/track/?data=" + std::wstring(L"eyJldmVudCI6InN0YXJ0IiwicHJvcGVydGllcyI6e319") + L"&ip=1");
}

// An event whose payload is exactly size bytes long.
PropertyList PaddedTo(size_t size) {
  const std::string empty = EventPayloadBytes(L"stats", {{L"pad", L""}});
  return {{L"pad", std::wstring(size - empty.size(), L'x')}};
}

TEST(TrackRequest, EventsOfAnyLengthAreSentWhole) {
  struct Case {
    size_t payload;
    size_t base64;
  } cases[] = {{1533, 2044}, {1534, 2048}, {4095, 5460}, {4096, 5464}, {20000, 26668}};
  for (const auto& c : cases) {
    PropertyList properties = PaddedTo(c.payload);
    ASSERT_EQ(EventPayloadBytes(L"stats", properties).size(), c.payload);
    std::wstring path = TrackRequestPath(L"stats", properties);
    EXPECT_EQ(path.size(), std::wstring(L"/track/?data=&ip=1").size() + c.base64) << c.payload;
    testbed::TrackedEvent event = ReadBack(path);
    ASSERT_TRUE(event.readable) << c.payload << ": " << event.error;
    EXPECT_EQ(event.property("pad"), Narrow(properties[0].second)) << c.payload;
  }
}

}  // namespace
