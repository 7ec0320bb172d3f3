// Folders that only the user, SYSTEM and the administrators can change, on Win32: the facts the
// decision of download/private_folder.h needs, read from a folder's security descriptor, and the
// folder made (or made over) with such a descriptor.
#ifndef APP_PRIVATE_FOLDER_H
#define APP_PRIVATE_FOLDER_H

#include <string>

#include "download/private_folder.h"

// What the system says of the folder at path (a link is looked at, not followed).
FolderFacts ReadFolderFacts(const std::wstring& path);

// The security descriptor in SDDL every private folder gets: protected from its parent's entries,
// full control for the user, SYSTEM and the administrators, inherited by everything made in it;
// the owner of an entry, when not one of them, may only read it (OWNER RIGHTS), never change who
// may write it.
std::wstring PrivateFolderSddl();

// Creates the folder, uses it, or makes it private, as DecideFolderAction says; true when it is a
// private folder afterwards.
bool MakePrivateFolder(const std::wstring& path);

#endif
