// The byte-level pieces that face peers: request and answer heads, query strings and percent
// escapes, JSON escaping and the byte-range headers.
#include <gtest/gtest.h>

#include <string>

#include "web/http_message.h"
#include "web/json_writer.h"
#include "web/query.h"
#include "web/request_log.h"
#include "tests/service/api_client.h"

namespace web {
namespace {

struct RequestCase {
  const char* name;
  std::string bytes;
  ParseStatus expected;
};

TEST(HttpParsing, RequestsFromPeersAreAcceptedOrRefusedAsAWhole) {
  const RequestCase cases[] = {
      {"library request", "GET /api?function=ping HTTP/1.0\r\nHost: localhost\r\nConnection: keep-alive\r\n\r\n",
       ParseStatus::Complete},
      {"no headers", "GET / HTTP/1.1\r\n\r\n", ParseStatus::Complete},
      {"head cut short", "GET /api HTTP/1.0\r\nHost: loc", ParseStatus::Incomplete},
      {"blank line not yet complete", "GET /api HTTP/1.0\r\n\r", ParseStatus::Incomplete},
      {"bare line feeds", "GET / HTTP/1.0\nHost: x\n\n", ParseStatus::Invalid},
      {"bare line feed after a good line", "GET / HTTP/1.0\r\nHost: x\n\r\n", ParseStatus::Invalid},
      {"bare carriage return", "GET / HTTP/1.0\rHost: x\r\n\r\n", ParseStatus::Invalid},
      {"no version", "GET /\r\n\r\n", ParseStatus::Invalid},
      {"unknown version", "GET / HTTP/2.0\r\n\r\n", ParseStatus::Invalid},
      {"two spaces", "GET  / HTTP/1.0\r\n\r\n", ParseStatus::Invalid},
      {"target without slash", "GET api HTTP/1.0\r\n\r\n", ParseStatus::Invalid},
      {"header without colon", "GET / HTTP/1.0\r\nHost localhost\r\n\r\n", ParseStatus::Invalid},
      {"space before colon", "GET / HTTP/1.0\r\nHost : localhost\r\n\r\n", ParseStatus::Invalid},
      {"folded header line", "GET / HTTP/1.0\r\nHost: a\r\n b\r\n\r\n", ParseStatus::Invalid},
      {"NUL byte", std::string("GET /\0 HTTP/1.0\r\n\r\n", 19), ParseStatus::Invalid},
      {"chunked body", "GET / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n", ParseStatus::Invalid},
      {"bad content length", "GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", ParseStatus::Invalid},
      {"two content lengths", "POST / HTTP/1.1\r\nContent-Length: 0\r\ncontent-length: 0\r\n\r\n", ParseStatus::Invalid},
      {"body still coming", "GET / HTTP/1.1\r\nContent-Length: 5\r\n\r\nab", ParseStatus::Incomplete},
      {"huge body announced", "GET / HTTP/1.1\r\nContent-Length: 99999999\r\n\r\n", ParseStatus::TooLarge},
      {"oversized head", "GET / HTTP/1.0\r\nX: " + std::string(kMaxHeaderBlock, 'a') + "\r\n\r\n",
       ParseStatus::TooLarge},
  };
  for (const auto& c : cases) {
    HttpRequest request;
    EXPECT_EQ(parseRequest(c.bytes, request).status, c.expected) << c.name;
  }
}

TEST(HttpParsing, RequestPartsAndPipelinedRequests) {
  std::string two =
      "GET /api?function=ping&x=1 HTTP/1.0\r\nhost: localhost\r\nUser-Agent:  Tessel  \r\n\r\n"
      "GET http://127.0.0.1:9421/api?function=getClientAttributes HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc";
  HttpRequest first;
  ParseResult result = parseRequest(two, first);
  ASSERT_EQ(result.status, ParseStatus::Complete);
  EXPECT_EQ(first.method, "GET");
  EXPECT_EQ(first.path, "/api");
  EXPECT_EQ(first.rawQuery, "function=ping&x=1");
  ASSERT_NE(first.header("HOST"), nullptr);
  EXPECT_EQ(*first.header("Host"), "localhost");
  EXPECT_EQ(*first.header("user-agent"), "Tessel");

  HttpRequest second;
  ParseResult next = parseRequest(std::string_view(two).substr(result.consumed), second);
  ASSERT_EQ(next.status, ParseStatus::Complete);
  EXPECT_EQ(next.consumed, two.size() - result.consumed);
  EXPECT_EQ(second.path, "/api");  // absolute form reduced to its path
  EXPECT_EQ(second.rawQuery, "function=getClientAttributes");
  EXPECT_EQ(second.body, "abc");
}

TEST(HttpParsing, ConnectionIsKeptAsTheClientAsks) {
  struct Case {
    const char* version;
    const char* connection;
    bool kept;
  } cases[] = {{"HTTP/1.0", nullptr, false}, {"HTTP/1.0", "keep-alive", true}, {"HTTP/1.0", "Keep-Alive", true},
               {"HTTP/1.1", nullptr, true},  {"HTTP/1.1", "close", false},     {"HTTP/1.1", "keep-alive", true}};
  for (const auto& c : cases) {
    HttpRequest request;
    request.version = c.version;
    if (c.connection != nullptr) request.headers.push_back({"Connection", c.connection});
    EXPECT_EQ(request.keepsConnection(), c.kept) << c.version << " " << (c.connection ? c.connection : "-");
  }
}

TEST(HttpParsing, AnswerHeads) {
  HttpResponseHead head;
  std::string answer = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 5-9/10\r\nContent-Length: 5\r\n\r\nhello";
  ParseResult result = parseResponseHead(answer, head);
  ASSERT_EQ(result.status, ParseStatus::Complete);
  EXPECT_EQ(answer.substr(result.consumed), "hello");
  EXPECT_EQ(head.status, 206);
  EXPECT_EQ(*head.header("content-range"), "bytes 5-9/10");

  HttpResponseHead ignored;
  EXPECT_EQ(parseResponseHead("HTTP/1.1 200\r\n\r\n", ignored).status, ParseStatus::Complete);
  EXPECT_EQ(parseResponseHead("HTTP/1.1 2x0 OK\r\n\r\n", ignored).status, ParseStatus::Invalid);
  EXPECT_EQ(parseResponseHead("ICY 200 OK\r\n\r\n", ignored).status, ParseStatus::Invalid);
  EXPECT_EQ(parseResponseHead("HTTP/1.1 200 OK\r\n", ignored).status, ParseStatus::Incomplete);

  std::string formatted = formatAnswerHead("HTTP/1.0", 404, {{"Content-Length", "2"}});
  EXPECT_EQ(formatted, "HTTP/1.0 404 Not Found\r\nContent-Length: 2\r\n\r\n");
}

TEST(TestbedQuery, PercentDecodingKeepsWhatIsNotAnEscape) {
  struct Case {
    const char* encoded;
    std::string decoded;
  } cases[] = {
      {"http%3a%2f%2fhost%2fa.bin", "http://host/a.bin"},
      {"C%3A%5CUsers%5cme", "C:\\Users\\me"},
      {"a%20b+c", "a b+c"},
      {"%zz", "%zz"},
      {"%4", "%4"},
      {"100%", "100%"},
      {"%%41", "%A"},
      {"%00x", std::string("\0x", 2)},
      {"%c3%a9", "\xc3\xa9"},
  };
  for (const auto& c : cases) EXPECT_EQ(percentDecode(c.encoded), c.decoded) << c.encoded;
}

TEST(TestbedQuery, EveryByteSurvivesEncodingAndDecoding) {
  std::string all;
  for (int c = 0; c < 256; ++c) all.push_back(static_cast<char>(c));
  std::string encoded = percentEncode(all);
  EXPECT_EQ(encoded, testbedtest::encode(all));  // the client library's rule: lowercase hex
  EXPECT_EQ(percentDecode(encoded), all);
}

TEST(TestbedQuery, ParametersKeepOrderAndTellEmptyFromMissingValues) {
  QueryParams params =
      parseQuery("function=downloadFile&url=http%3a%2f%2fh%2fa%3fb%3d1&path=&&complete&resetdownload=1&x=a=b");
  ASSERT_EQ(params.size(), 6u);
  EXPECT_EQ(params[0].name, "function");
  EXPECT_EQ(params[1].value, "http://h/a?b=1");
  EXPECT_TRUE(params[2].hasValue);
  EXPECT_EQ(params[2].value, "");
  EXPECT_EQ(params[3].name, "complete");
  EXPECT_FALSE(params[3].hasValue);
  EXPECT_EQ(params[4].value, "1");
  EXPECT_EQ(params[5].value, "a=b");
  ASSERT_NE(findParam(params, "resetdownload"), nullptr);
  EXPECT_EQ(findParam(params, "missing"), nullptr);
}

TEST(TestbedJson, StringsAreEscapedSoAnyBytesStayValidJson) {
  struct Case {
    std::string raw;
    const char* quoted;
  } cases[] = {
      {"C:\\users\\me\\a.bin", "\"C:\\\\users\\\\me\\\\a.bin\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"a\nb\tc\r", "\"a\\nb\\tc\\r\""},
      {std::string("\x01\x1f\0", 3), "\"\\u0001\\u001f\\u0000\""},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},
      {"\xff", "\"\\u00ff\""},
      {"\xc3", "\"\\u00c3\""},
      {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},  // an encoded surrogate is not valid UTF-8
  };
  for (const auto& c : cases) EXPECT_EQ(jsonQuote(c.raw), c.quoted);
}

TEST(TestbedJson, WriterPlacesSeparators) {
  JsonWriter json;
  json.beginObject().key("a").number(-5).key("list").beginArray().string("x").null().beginArray().endArray().endArray();
  json.key("ok").boolean(true).key("b\\").string("").endObject();
  EXPECT_EQ(json.text(), "{\"a\":-5,\"list\":[\"x\",null,[]],\"ok\":true,\"b\\\\\":\"\"}");

  testbedtest::JsonObject read;
  std::string url = "http://h/\"odd\\name\"";
  ASSERT_TRUE(testbedtest::parseFlatJson(JsonWriter().beginObject().key(url).null().endObject().text(), read));
  EXPECT_EQ(read.count(url), 1u);
}

TEST(TestbedRequestLog, LineHoldsDecodedParametersInOrderAndHeaders) {
  HttpRequest request;
  std::string raw = "GET /api?function=deleteFile&url=http%3a%2f%2fh%2fa&keepphysicalfileondelete=true&complete "
                    "HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Tessel Download Client\r\n\r\n";
  ASSERT_EQ(parseRequest(raw, request).status, ParseStatus::Complete);
  std::string line = requestLogLine(request, 7, std::chrono::system_clock::time_point(std::chrono::milliseconds(951782400123)));
  EXPECT_NE(line.find("\"time\":\"2000-02-29T00:00:00.123Z\""), std::string::npos) << line;
  EXPECT_NE(line.find("\"connection\":7"), std::string::npos);
  EXPECT_NE(line.find("\"function\":\"deleteFile\""), std::string::npos);
  EXPECT_NE(line.find("\"query\":[[\"function\",\"deleteFile\"],[\"url\",\"http://h/a\"],"
                      "[\"keepphysicalfileondelete\",\"true\"],[\"complete\",null]]"),
            std::string::npos)
      << line;
  EXPECT_NE(line.find("\"headers\":[[\"Host\",\"localhost\"],[\"User-Agent\",\"Tessel Download Client\"]]"),
            std::string::npos);
  EXPECT_EQ(line.find('\n'), std::string::npos);
}

TEST(TestbedRanges, RangeRequestsAgainstAFile) {
  struct Case {
    const char* header;
    uint64_t size;
    RangeKind kind;
    uint64_t first;
    uint64_t last;
  } cases[] = {
      {"bytes=0-", 10, RangeKind::Satisfiable, 0, 9},
      {"bytes=4-", 10, RangeKind::Satisfiable, 4, 9},
      {"bytes=2-5", 10, RangeKind::Satisfiable, 2, 5},
      {"bytes=2-500", 10, RangeKind::Satisfiable, 2, 9},
      {"bytes=-3", 10, RangeKind::Satisfiable, 7, 9},
      {"bytes=-30", 10, RangeKind::Satisfiable, 0, 9},
      {"bytes=10-", 10, RangeKind::Unsatisfiable, 0, 0},
      {"bytes=0-", 0, RangeKind::Unsatisfiable, 0, 0},
      {"bytes=5-2", 10, RangeKind::Ignored, 0, 0},
      {"bytes=0-1,4-5", 10, RangeKind::Ignored, 0, 0},
      {"items=0-1", 10, RangeKind::Ignored, 0, 0},
      {"bytes=x-", 10, RangeKind::Ignored, 0, 0},
  };
  for (const auto& c : cases) {
    ByteRange range = parseRangeHeader(c.header, c.size);
    EXPECT_EQ(range.kind, c.kind) << c.header;
    if (c.kind == RangeKind::Satisfiable) {
      EXPECT_EQ(range.first, c.first) << c.header;
      EXPECT_EQ(range.last, c.last) << c.header;
    }
  }
  int64_t first = 0;
  int64_t last = 0;
  int64_t total = 0;
  EXPECT_TRUE(parseContentRange("bytes 100-199/1000", &first, &last, &total));
  EXPECT_EQ(first, 100);
  EXPECT_EQ(last, 199);
  EXPECT_EQ(total, 1000);
  EXPECT_TRUE(parseContentRange("bytes 0-9/*", &first, &last, &total));
  EXPECT_EQ(total, -1);
  EXPECT_FALSE(parseContentRange("bytes 9-0/10", &first, &last, &total));
  EXPECT_FALSE(parseContentRange("bytes 0-10/10", &first, &last, &total));
  EXPECT_FALSE(parseContentRange("bytes */10", &first, &last, &total));
}

}  // namespace
}  // namespace web
