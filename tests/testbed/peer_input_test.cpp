// The pieces the publisher server and the analytics sink read peers with, without sockets: the
// strict Base64 and JSON readers, the fault rules and the generated XML answers.
#include <gtest/gtest.h>

#include "web/base64.h"
#include "testbed/fault_plan.h"
#include "web/json_reader.h"
#include "testbed/publisher_answers.h"
#include "tests/support/temp_folder.h"
#include "tests/service/api_client.h"

namespace testbed {
namespace {

TEST(TestbedBase64, DecodesOnlyTheCanonicalForm) {
  struct Case {
    const char* text;
    const char* decoded;  // null: refused
  } cases[] = {
      {"", ""},
      {"Zg==", "f"},
      {"Zm8=", "fo"},
      {"Zm9v", "foo"},
      {"Zm9vYg==", "foob"},
      {"+/+/", "\xfb\xff\xbf"},
      {"Zg", nullptr},         // padding missing
      {"Zg=", nullptr},        // length not a multiple of four
      {"Zh==", nullptr},       // stray bits below the last byte
      {"Zm9=", nullptr},       // stray bits with one padding
      {"Z===", nullptr},
      {"Zg==Zg==", nullptr},   // padding inside
      {"Zm9v\r\n", nullptr},   // line break
      {"Zm-_", nullptr},       // URL-safe alphabet
      {"Zm 9", nullptr},
      {"Zm9%", nullptr},
  };
  for (const auto& c : cases) {
    std::optional<std::string> decoded = decodeBase64(c.text);
    if (c.decoded == nullptr) {
      EXPECT_FALSE(decoded.has_value()) << c.text;
    } else {
      ASSERT_TRUE(decoded.has_value()) << c.text;
      EXPECT_EQ(*decoded, c.decoded) << c.text;
    }
  }
  std::optional<std::string> zeros = decodeBase64("AAAA");
  ASSERT_TRUE(zeros);
  EXPECT_EQ(*zeros, std::string(3, '\0'));
}

TEST(TestbedJsonReader, KeepsMemberOrderDuplicatesAndEscapes) {
  std::string error;
  std::optional<JsonValue> value = parseJson(
      " {\"b\":\"1\",\"a\":[true,false,null,-0.5e+3],\"b\":\"2\",\"s\":\"q\\\"b\\\\s\\/n\\n\\u00e9\\ud83d\\ude00\","
      "\"o\":{}} ",
      &error);
  ASSERT_TRUE(value) << error;
  ASSERT_EQ(value->members.size(), 5u);
  EXPECT_EQ(value->members[0].first, "b");
  EXPECT_EQ(value->members[1].first, "a");
  EXPECT_EQ(value->members[2].second.text, "2");
  EXPECT_EQ(value->member("b")->text, "1");
  const JsonValue& array = *value->member("a");
  ASSERT_EQ(array.items.size(), 4u);
  EXPECT_TRUE(array.items[0].boolean);
  EXPECT_FALSE(array.items[1].boolean);
  EXPECT_EQ(array.items[2].kind, JsonValue::Kind::Null);
  EXPECT_EQ(array.items[3].text, "-0.5e+3");
  EXPECT_EQ(value->member("s")->text, "q\"b\\s/n\n\xc3\xa9\xf0\x9f\x98\x80");

  JsonWriter written;
  writeJsonValue(written, *value);
  EXPECT_EQ(written.text(),
            "{\"b\":\"1\",\"a\":[true,false,null,-0.5e+3],\"b\":\"2\",\"s\":\"q\\\"b\\\\s/n\\n\xc3\xa9\xf0\x9f\x98\x80\","
            "\"o\":{}}");
}

TEST(TestbedJsonReader, RefusesWhatIsNotStrictJson) {
  std::string deep(kMaxJsonDepth + 2, '[');
  deep += std::string(kMaxJsonDepth + 2, ']');
  for (const std::string& text : std::vector<std::string>{"", "{", "{\"a\":\"x\"", "{\"a\" \"x\"}", "{\"a\":\"x\",}", "{a:\"x\"}", "[1,]", "01", "1.",
                           "-", "1e", "\"tab\there\"", "\"\\x\"", "\"\\u12\"", "\"\\ud83d\"", "\"\\ude00\"",
                           "\"\\ud83d\\u0041\"", "tru", "{} {}", "{\"a\":\"unescaped \"quote\"}", deep}) {
    std::string error;
    EXPECT_FALSE(parseJson(text, &error).has_value()) << text;
    EXPECT_FALSE(error.empty()) << text;
  }
  std::string limit(kMaxJsonDepth, '[');
  limit += std::string(kMaxJsonDepth, ']');
  EXPECT_TRUE(parseJson(limit, nullptr).has_value());
}

TEST(TestbedFaultPlan, RulesCountDownInOrderAndPerKind) {
  FaultPlan plan;
  std::string error;
  std::set<std::string> kinds = {"sid", "config"};
  plan.apply(parseFaultControl(parseQuery("fault=status&status=404&count=2&on=sid"), kinds, &error));
  plan.apply(parseFaultControl(parseQuery("fault=drop&count=1"), kinds, &error));
  ASSERT_EQ(error, "");
  ASSERT_EQ(plan.ruleCount(), 2u);

  std::optional<FaultRule> first = plan.take("sid");
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, FaultKind::Status);
  EXPECT_EQ(first->status, 404);
  std::optional<FaultRule> config = plan.take("config");
  ASSERT_TRUE(config);
  EXPECT_EQ(config->kind, FaultKind::Drop);
  EXPECT_EQ(plan.take("config"), std::nullopt);
  EXPECT_EQ(plan.take("sid")->kind, FaultKind::Status);
  EXPECT_EQ(plan.take("sid"), std::nullopt);
  EXPECT_EQ(plan.ruleCount(), 0u);

  plan.apply(parseFaultControl(parseQuery("fault=slow"), kinds, &error));
  for (int i = 0; i < 5; ++i) EXPECT_EQ(plan.take("config")->delayMs, 1000);
  FaultControl replace = parseFaultControl(parseQuery("clear&fault=cut&count=1"), kinds, &error);
  plan.apply(replace);
  EXPECT_EQ(plan.take("sid")->kind, FaultKind::Cut);
  EXPECT_EQ(plan.take("sid"), std::nullopt);
}

TEST(TestbedFaultPlan, ShapesTheNormalAnswer) {
  Answer normal;
  normal.body = "0123456789";
  auto never = [] { return false; };
  FaultRule rule;
  rule.kind = FaultKind::Cut;
  Answer cut = shapeAnswer(rule, normal, never);
  ASSERT_TRUE(cut.streamBody);
  EXPECT_EQ(cut.streamLength, 10u);
  std::string sent;
  EXPECT_FALSE(cut.streamBody([&](std::string_view bytes) {
    sent.append(bytes);
    return true;
  }));
  EXPECT_EQ(sent, "01234");

  Answer empty;
  Answer cutEmpty = shapeAnswer(rule, empty, never);
  EXPECT_EQ(cutEmpty.streamLength, 1u);

  rule.kind = FaultKind::Slow;
  rule.delayMs = 60000;
  Answer stopped = shapeAnswer(rule, normal, [] { return true; });
  EXPECT_TRUE(stopped.dropConnection);
}

TEST(TestbedPublisherAnswers, EscapesTextAndListsRegularFilesByName) {
  EXPECT_EQ(xmlEscape("a<b>&\"c'"), "a&lt;b&gt;&amp;&quot;c&apos;");
  EXPECT_EQ(sidAnswer("x&y"), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<response><sid>x&amp;y</sid></response>\n");

  testsupport::TempFolder temp;
  testbedtest::writeFile(temp.path() / "z.bin", "z");
  testbedtest::writeFile(temp.path() / "A.exe", "a");
  testbedtest::writeFile(temp.path() / "inner" / "hidden.bin", "h");
  std::vector<ConfigEntry> entries;
  std::string error;
  ASSERT_TRUE(entriesForFolder(temp.path(), "http://o:1", &entries, &error)) << error;
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].uri, "http://o:1/A.exe");
  EXPECT_EQ(entries[0].rid, "1001");
  EXPECT_EQ(entries[0].rnum, "1");
  EXPECT_EQ(entries[1].uri, "http://o:1/z.bin");
  EXPECT_EQ(entries[1].rid, "1002");
  EXPECT_EQ(entries[1].rnum, "2");

  EXPECT_FALSE(entriesForFolder(temp.path() / "absent", "http://o:1", &entries, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(configAnswer("f", {}), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config>\n  <file_id>f</file_id>\n"
                                   "  <resources>\n  </resources>\n</config>\n");
}

}  // namespace
}  // namespace testbed
