#include "service_client/utf8.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using akplatform::fitsUtf16Units;

TEST(Utf8Limits, CountsUtf16UnitsIncludingTheTerminator) {
  EXPECT_TRUE(fitsUtf16Units("", 1));
  EXPECT_TRUE(fitsUtf16Units("abc", 4));
  EXPECT_FALSE(fitsUtf16Units("abc", 3));
  EXPECT_TRUE(fitsUtf16Units("\xC3\xA9", 2));            // é: one unit
  EXPECT_TRUE(fitsUtf16Units("\xE2\x82\xAC", 2));        // €: one unit
  EXPECT_FALSE(fitsUtf16Units("\xF0\x9F\x8E\xAE", 2));   // 🎮: a surrogate pair
  EXPECT_TRUE(fitsUtf16Units("\xF0\x9F\x8E\xAE", 3));
  EXPECT_TRUE(fitsUtf16Units(std::string(259, 'p').c_str(), 260));
  EXPECT_FALSE(fitsUtf16Units(std::string(260, 'p').c_str(), 260));
  EXPECT_FALSE(fitsUtf16Units(nullptr, 260));
}

TEST(Utf8Limits, RejectsWhatIsNotUtf8) {
  for (const char* bad : {"\xC3\x28", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\xFF", "\x80",
                          "\xE2\x82"}) {
    EXPECT_FALSE(fitsUtf16Units(bad, 260)) << testing::PrintToString(std::string(bad));
  }
}

}  // namespace
