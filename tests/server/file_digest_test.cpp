// The digests a configuration may give for its files: well-formed ones are read, anything else
// makes the configuration unusable rather than silently unchecked.
#include "server/file_digest.h"

#include <gtest/gtest.h>

#include "server/game_config.h"

namespace {

const std::wstring kAbc = L"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(Sha256Text, ReadsSixtyFourHexDigitsOfEitherCaseAndWritesThemLowercase) {
  auto digest = ParseSha256Text(kAbc);
  ASSERT_TRUE(digest.has_value());
  EXPECT_EQ((*digest)[0], 0xba);
  EXPECT_EQ((*digest)[31], 0xad);
  EXPECT_EQ(Sha256Text(*digest), kAbc);

  std::wstring upper = kAbc;
  for (wchar_t& c : upper) c = static_cast<wchar_t>(towupper(c));
  ASSERT_TRUE(ParseSha256Text(upper).has_value());
  EXPECT_EQ(*ParseSha256Text(upper), *digest);
  EXPECT_EQ(*ParseSha256Text(L"\n      " + kAbc + L"\r\n\t "), *digest) << "indentation around the digits";
}

TEST(Sha256Text, RefusesEverythingElse) {
  const std::wstring kMalformed[] = {
      L"",
      L"   ",
      kAbc.substr(1),                   // 63 digits
      kAbc + L"0",                      // 65 digits
      kAbc.substr(0, 63) + L"g",        // not a hex digit
      kAbc.substr(0, 32) + L" " + kAbc.substr(32),  // a blank inside
      L"0x" + kAbc.substr(2),           // a prefix
      kAbc.substr(0, 63) + L"\u0663",   // a digit of another script
      std::wstring(kAbc.substr(0, 40)) + std::wstring(1, L'\0') + kAbc.substr(41),
  };
  for (const std::wstring& text : kMalformed) EXPECT_FALSE(ParseSha256Text(text).has_value()) << text.size();
}

TEST(ConfigDigests, EntriesWithoutTheElementStayUncheckedAndAnyMalformedOneSpoilsTheConfiguration) {
  GameConfig config;
  config.files.resize(3);
  config.files[1].sha256Text = L" " + kAbc + L" ";
  ASSERT_TRUE(ReadDigests(config));
  EXPECT_FALSE(config.files[0].sha256.has_value());
  ASSERT_TRUE(config.files[1].sha256.has_value());
  EXPECT_EQ(Sha256Text(*config.files[1].sha256), kAbc);
  EXPECT_FALSE(config.files[2].sha256.has_value());

  config.files[2].sha256Text = L"";  // the element is there but empty
  EXPECT_FALSE(ReadDigests(config));
  config.files[2].sha256Text = L"d41d8cd98f00b204e9800998ecf8427e";  // an MD5, not a SHA-256
  EXPECT_FALSE(ReadDigests(config));
}

}  // namespace
