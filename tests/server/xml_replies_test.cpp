// The publisher server's XML answers read with the system's MSXML component (under Wine).
#include "server/xml_replies.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <string>

namespace {

TEST(SidReply, TakesTheFirstSidChildOfTheRootWithExactlyThatTag) {
  struct Case {
    const wchar_t* answer;
    bool found;
    const wchar_t* sid;
  } cases[] = {
      {L"<reply><sid>abc123</sid></reply>", true, L"abc123"},
      {L"<?xml version=\"1.0\"?><anything><sid>first</sid><sid>second</sid></anything>", true, L"first"},
      {L"<reply><sid></sid></reply>", true, L""},
      {L"<reply><Sid>abc</Sid><SID>def</SID></reply>", false, L""},
      {L"<reply><inner><sid>deep</sid></inner></reply>", false, L""},
      {L"<reply><!-- <sid>no</sid> --><sid>yes</sid></reply>", true, L"yes"},
      {L"this is not XML", false, L""},
      {L"", false, L""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.answer);
    std::optional<std::wstring> sid = ParseSidReply(c.answer);
    ASSERT_EQ(sid.has_value(), c.found);
    if (c.found) {
      EXPECT_EQ(*sid, c.sid);
    }
  }
}

TEST(ConfigReply, MakesOneEntryPerChildNodeOfResourcesInDocumentOrder) {
  auto config = ParseConfigReply(
      L"<config><file_id>F-9</file_id><resources>"
      L"<file><rid>r1</rid><rnum>1</rnum><uri>http://o/a/setup.exe</uri></file>"
      L"<part><uri>http://o/b.bin</uri><rnum>2</rnum><rid>r2</rid><rid>ignored</rid></part>"
      L"<!-- a comment still makes an entry -->"
      L"<x><RID>no</RID><uri>c.bin</uri></x>"
      L"</resources><resources><file><uri>second list</uri></file></resources></config>");
  ASSERT_NE(config, nullptr);
  EXPECT_EQ(config->fileId, L"F-9");
  ASSERT_EQ(config->files.size(), 4u);
  EXPECT_EQ(config->files[0].rid, L"r1");
  EXPECT_EQ(config->files[0].rnum, L"1");
  EXPECT_EQ(config->files[0].uri, L"http://o/a/setup.exe");
  EXPECT_EQ(config->files[1].rid, L"r2");
  EXPECT_EQ(config->files[1].uri, L"http://o/b.bin");
  EXPECT_EQ(config->files[2].uri, L"");
  EXPECT_EQ(config->files[2].rid, L"");
  EXPECT_EQ(config->files[3].rid, L"");
  EXPECT_EQ(config->files[3].uri, L"c.bin");
  for (const ResourceFile& file : config->files) {
    EXPECT_EQ(file.size, 0u);
    EXPECT_EQ(file.received, 0u);
    EXPECT_EQ(file.startTime, 0);
  }
}

TEST(ConfigReply, KeepsTheDigestTextOfEntriesThatGiveOne) {
  auto config = ParseConfigReply(
      L"<config><resources>"
      L"<file><uri>a.exe</uri><sha256>\n  AB12  \n</sha256><sha256>second</sha256></file>"
      L"<file><uri>b.bin</uri></file>"
      L"<file><uri>c.bin</uri><sha256/></file>"
      L"<file><uri>d.bin</uri><SHA256>cd</SHA256></file>"
      L"</resources></config>");
  ASSERT_NE(config, nullptr);
  ASSERT_EQ(config->files.size(), 4u);
  ASSERT_TRUE(config->files[0].sha256Text.has_value());
  // The first element; MSXML may drop the blanks around its text, and the digest reader allows them.
  EXPECT_NE(config->files[0].sha256Text->find(L"AB12"), std::wstring::npos) << *config->files[0].sha256Text;
  EXPECT_EQ(config->files[0].sha256Text->find(L"second"), std::wstring::npos);
  EXPECT_FALSE(config->files[1].sha256Text.has_value());
  ASSERT_TRUE(config->files[2].sha256Text.has_value()) << "an empty element is there, and malformed";
  EXPECT_EQ(*config->files[2].sha256Text, L"");
  EXPECT_FALSE(config->files[3].sha256Text.has_value()) << "tags are case-sensitive";
}

TEST(ConfigReply, MissingPartsAndBrokenDocumentsGiveAnEmptyConfiguration) {
  for (const wchar_t* answer : {L"not xml at all", L"<config>", L"<config/>", L"<config><resources/></config>"}) {
    SCOPED_TRACE(testing::Message() << answer);
    auto config = ParseConfigReply(answer);
    ASSERT_NE(config, nullptr);
    EXPECT_EQ(config->fileId, L"");
    EXPECT_TRUE(config->files.empty());
  }
}

// A billion-laughs document: refused before the parser sees it, quickly and without expansion.
TEST(ConfigReply, RefusesDocumentTypesSoEntitiesCannotExpand) {
  std::wstring bomb = L"<?xml version=\"1.0\"?>\n<!DOCTYPE lolz [\n<!ENTITY lol \"lol\">\n";
  bomb += L"<!ENTITY lol1 \"&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;&lol;\">\n";
  for (int i = 2; i <= 9; ++i) {
    std::wstring previous = L"&lol" + std::to_wstring(i - 1) + L";";
    std::wstring body;
    for (int j = 0; j < 10; ++j) body += previous;
    bomb += L"<!ENTITY lol" + std::to_wstring(i) + L" \"" + body + L"\">\n";
  }
  bomb += L"]>\n<config><file_id>&lol9;</file_id><resources><f><uri>a.bin</uri></f></resources></config>";
  EXPECT_TRUE(DeclaresDocumentType(bomb));
  auto config = ParseConfigReply(bomb);
  ASSERT_NE(config, nullptr);
  EXPECT_TRUE(config->fileId.empty());
  EXPECT_TRUE(config->files.empty());
  EXPECT_FALSE(ParseSidReply(L"<!doctype r SYSTEM \"http://127.0.0.1:9/x.dtd\"><r><sid>x</sid></r>").has_value());
  EXPECT_FALSE(DeclaresDocumentType(L"<r><sid>DOCTYPE</sid></r>"));
}

}  // namespace
