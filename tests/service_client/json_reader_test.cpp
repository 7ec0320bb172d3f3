#include "service_client/json_reader.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "service_client/client_errors.h"

namespace {

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};
using OwnedText = std::unique_ptr<char, FreeDeleter>;

OwnedText jsonString(const char* answer, const char* key) { return OwnedText(_ak_jsonString(answer, key)); }

TEST(JsonUnescape, ResolvesEveryEscape) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {R"(a\"b)", "a\"b"},         {R"(a\/b)", "a/b"},      {R"(a\\b)", "a\\b"},
      {R"(\b\f\n\r\t)", "\b\f\n\r\t"}, {R"(\u00e9)", "u00e9"},  {R"(\q)", "q"},
      {"end\\", "end"},             {"plain", "plain"},      {R"(\\\\)", "\\\\"},
  };
  for (const auto& c : cases) {
    OwnedText out(_ak_jsonUnescape(c.in));
    ASSERT_NE(out, nullptr) << c.in;
    EXPECT_STREQ(out.get(), c.out) << c.in;
  }
}

TEST(JsonUnescape, NullOrEmptyTextIsInvalid) {
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_jsonUnescape(nullptr), nullptr);
  EXPECT_EQ(ak_getLastError(), 1);
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_jsonUnescape(""), nullptr);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST(JsonFind, SkipsSpacesAndColonsAndRejectsAKeyAtTheStart) {
  const char* text = R"({"a" :  12, "b":"x"})";
  EXPECT_STREQ(_ak_jsonFind(text, "a"), R"(12, "b":"x"})");
  EXPECT_STREQ(_ak_jsonFind(text, "b"), R"("x"})");
  EXPECT_EQ(_ak_jsonFind(text, "c"), nullptr);
  // A text that starts with the quoted key has it at position 0: treated as absent, no error.
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_jsonFind(R"("a":1)", "a"), nullptr);
  EXPECT_EQ(ak_getLastError(), 0);
  // The key at the very end leaves a position at the end of the text.
  const char* tail = R"({"a")";
  EXPECT_EQ(_ak_jsonFind(tail, "a"), tail + 4);
}

TEST(JsonFind, NullOrEmptyArgumentsAreInvalid) {
  for (auto args : {std::make_pair<const char*, const char*>(nullptr, "k"), std::make_pair<const char*, const char*>("{}", nullptr),
                    std::make_pair<const char*, const char*>("", "k"), std::make_pair<const char*, const char*>("{}", "")}) {
    _ak_setLastError(ClientError::Success);
    EXPECT_EQ(_ak_jsonFind(args.first, args.second), nullptr);
    EXPECT_EQ(ak_getLastError(), 1);
  }
}

TEST(JsonLookups, FlagsReadOnlyLiteralNullAndTrue) {
  const char* answer = R"({"n":null, "t":true, "f":false, "one":1, "qt":"true", "qn":"null", "tt" : truex})";
  EXPECT_EQ(_ak_jsonIsNull(answer, "n"), 1);
  EXPECT_EQ(_ak_jsonIsNull(answer, "qn"), 0);
  EXPECT_EQ(_ak_jsonIsNull(answer, "missing"), 0);
  EXPECT_EQ(_ak_jsonIsTrue(answer, "t"), 1);
  EXPECT_EQ(_ak_jsonIsTrue(answer, "tt"), 1);  // only the first four characters are looked at
  EXPECT_EQ(_ak_jsonIsTrue(answer, "f"), 0);
  EXPECT_EQ(_ak_jsonIsTrue(answer, "one"), 0);
  EXPECT_EQ(_ak_jsonIsTrue(answer, "qt"), 0);
  EXPECT_EQ(_ak_jsonIsTrue(answer, "missing"), 0);
}

TEST(JsonLookups, NumbersTruncateTowardZero) {
  struct Case {
    const char* answer;
    int64_t expected;
  } cases[] = {
      {R"({"size":1048576.9})", 1048576},
      {R"({"size":-3.5})", -3},
      {R"({"size":"12"})", 0},
      {R"({"other":12})", 0},
      {R"({"size":abc})", 0},
      {R"({"size":1.5e3})", 1500},
      {R"({"size":  9007199254740993})", 9007199254740992},  // through a double, as strtod reads it
      {R"({"size":1e300})", INT64_MAX},
      {R"({"size":-1e300})", INT64_MIN},
      {R"({"size":nan})", 0},
      {R"({"size":4294967296})", 4294967296},
  };
  for (const auto& c : cases) EXPECT_EQ(_ak_jsonNumber(c.answer, "size"), c.expected) << c.answer;
}

TEST(JsonLookups, StringsEndAtTheFirstQuoteAfterUnescaping) {
  EXPECT_STREQ(jsonString(R"({"path":"C:\\Games\\irf\\setup.exe"})", "path").get(), "C:\\Games\\irf\\setup.exe");
  EXPECT_STREQ(jsonString(R"({"e":"say \"hi\" now"})", "e").get(), "say ");
  EXPECT_STREQ(jsonString(R"({"e":""})", "e").get(), "");
  EXPECT_EQ(jsonString(R"({"e":12})", "e"), nullptr);
  EXPECT_EQ(jsonString(R"({"e":"unterminated})", "e"), nullptr);
  EXPECT_EQ(jsonString(R"({"x":"y"})", "e"), nullptr);
}

TEST(JsonLookups, TheServicesPerUrlMembers) {
  const char* url = "http://origin.example/irf/data 1.bin";
  std::string ok = std::string(R"({")") + url + R"(":null})";
  std::string missing = std::string(R"({")") + url + R"(":"File not found."})";
  EXPECT_EQ(_ak_jsonIsNull(ok.c_str(), url), 1);
  EXPECT_EQ(_ak_jsonIsNull(missing.c_str(), url), 0);
  EXPECT_STREQ(jsonString(missing.c_str(), url).get(), "File not found.");
}

TEST(JsonLookups, ShortcutsOfTheSubstringSearch) {
  // Nesting is ignored and the first occurrence wins, even inside another member's string.
  EXPECT_EQ(_ak_jsonNumber(R"({"outer":{"size":5},"size":7})", "size"), 5);
  EXPECT_STREQ(jsonString(R"({"note":"\"status\":\"fake\"","status":"real"})", "status").get(), "fake");
  // An escaped member name matches its plain form.
  EXPECT_EQ(_ak_jsonNumber(R"({"a\/b":3})", "a/b"), 3);
  // An answer that starts with the quoted key has no such member.
  EXPECT_EQ(_ak_jsonNumber(R"("size":3)", "size"), 0);
  // Matching is case-sensitive.
  EXPECT_EQ(_ak_jsonNumber(R"({"Size":3})", "size"), 0);
  // A non-JSON answer simply has no members.
  EXPECT_EQ(_ak_jsonNumber("<html><body>500</body></html>", "size"), 0);
}

TEST(JsonLookups, EmptyAnswerOrKeyIsInvalid) {
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_jsonNumber("", "size"), 0);
  EXPECT_EQ(ak_getLastError(), 1);
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_jsonString(R"({"a":"b"})", ""), nullptr);
  EXPECT_EQ(ak_getLastError(), 1);
}

}  // namespace
