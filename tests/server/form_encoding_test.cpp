// The form text of statistics posts.
#include "server/form_encoding.h"

#include <gtest/gtest.h>

namespace {

TEST(EncodeForm, JoinsPairsInOrderAndEscapesOnlyWhatWouldSplitOrDecodeDifferently) {
  struct Case {
    PropertyList list;
    const wchar_t* form;
  } cases[] = {
      {{}, L""},
      {{{L"event", L"pause"}, {L"attr1", L"7"}, {L"attr2", L"512"}}, L"event=pause&attr1=7&attr2=512"},
      {{{L"k", L""}}, L"k="},
      {{{L"event", L"a&b=c"}, {L"x", L"100%+1"}}, L"event=a%26b%3Dc&x=100%25%2B1"},
      {{{L"a", L"1"}, {L"a", L"2"}}, L"a=1&a=2"},
      {{{L"name", L"Gr\u00fc\u00dfe / space ok"}}, L"name=Gr\u00fc\u00dfe / space ok"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EncodeForm(c.list), c.form);
  }
}

}  // namespace
