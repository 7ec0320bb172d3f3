// Which folders on the shared system drive may hold the game, and which are made private first.
#include <gtest/gtest.h>

#include "download/private_folder.h"

namespace downloadtest {
namespace {

FolderFacts existing(FolderOwner owner, bool othersMayWrite) {
  FolderFacts facts;
  facts.exists = true;
  facts.plainDirectory = true;
  facts.owner = owner;
  facts.othersMayWrite = othersMayWrite;
  return facts;
}

TEST(PrivateFolder, EachKindOfFolderGetsItsAction) {
  struct Case {
    const char* what;
    FolderFacts facts;
    FolderAction expected;
  };
  FolderFacts link = existing(FolderOwner::CurrentUser, false);
  link.plainDirectory = false;
  FolderFacts planted = existing(FolderOwner::CurrentUser, true);
  planted.foreignEntries = true;
  FolderFacts plantedButClosed = existing(FolderOwner::CurrentUser, false);
  plantedButClosed.foreignEntries = true;
  const Case cases[] = {
      {"missing", FolderFacts{}, FolderAction::Create},
      {"ours and private", existing(FolderOwner::CurrentUser, false), FolderAction::Use},
      {"SYSTEM's and private", existing(FolderOwner::System, false), FolderAction::Use},
      {"the administrators' and private", existing(FolderOwner::Administrators, false), FolderAction::Use},
      {"ours but open to all (made by an older downloader in the drive's root)",
       existing(FolderOwner::CurrentUser, true), FolderAction::MakePrivate},
      {"the administrators' and open", existing(FolderOwner::Administrators, true), FolderAction::Refuse},
      {"SYSTEM's and open", existing(FolderOwner::System, true), FolderAction::Refuse},
      {"another account's, even private", existing(FolderOwner::Other, false), FolderAction::Refuse},
      {"a junction or link, even ours", link, FolderAction::Refuse},
      {"ours and open, with another account's file in it", planted, FolderAction::Refuse},
      {"ours and private, with another account's file in it", plantedButClosed, FolderAction::Refuse},
  };
  for (const Case& c : cases) EXPECT_EQ(DecideFolderAction(c.facts), c.expected) << c.what;
}

}  // namespace
}  // namespace downloadtest
