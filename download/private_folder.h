// Whether a folder on a disk that every account of the machine shares may hold the game: what is
// known of it, and what to do with it. The facts come from the system (app/private_folder.cpp);
// the decision is made here, where it is tested.
#ifndef DOWNLOAD_PRIVATE_FOLDER_H
#define DOWNLOAD_PRIVATE_FOLDER_H

enum class FolderOwner {
  CurrentUser,
  System,
  Administrators,
  Other,  // another account, or an owner that could not be read
};

struct FolderFacts {
  bool exists = false;
  // A directory of its own, not a link, junction or mount point leading somewhere else.
  bool plainDirectory = false;
  FolderOwner owner = FolderOwner::Other;
  // Whether anyone but the user, SYSTEM and the administrators may add, change, delete or take
  // over what is in it (an access list that grants it, inheritable entries included, or none).
  bool othersMayWrite = true;
  // Whether something in it belongs to another account: it was open once, and what another
  // account put there (a DLL beside the installer) would stay.
  bool foreignEntries = false;
};

enum class FolderAction {
  Create,       // make it, with an access list of the user, SYSTEM and the administrators only
  Use,          // it is private already
  MakePrivate,  // the user's own but too open: give it that access list
  Refuse,       // it cannot be trusted and is not ours to change
};

FolderAction DecideFolderAction(const FolderFacts& facts);

#endif
