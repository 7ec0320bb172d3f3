#include "download/private_folder.h"

FolderAction DecideFolderAction(const FolderFacts& facts) {
  if (!facts.exists) return FolderAction::Create;
  if (!facts.plainDirectory || facts.owner == FolderOwner::Other || facts.foreignEntries) return FolderAction::Refuse;
  if (!facts.othersMayWrite) return FolderAction::Use;
  // Only its owner may change who may write: a folder SYSTEM or the administrators own but left
  // open is theirs to mend.
  return facts.owner == FolderOwner::CurrentUser ? FolderAction::MakePrivate : FolderAction::Refuse;
}
