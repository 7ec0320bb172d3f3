// The game's download configuration as the publisher's server lists it: one entry per file of the
// game's installer, in download order, and the local file each entry is fetched into.
#ifndef SERVER_GAME_CONFIG_H
#define SERVER_GAME_CONFIG_H

#include <stdint.h>

#include <optional>
#include <string>
#include <vector>

#include "server/file_digest.h"

struct ResourceFile {
  std::wstring rid;        // reported with partial-completion and pause statistics
  std::wstring rnum;       // reported as the file piece in analytics events
  std::wstring uri;        // what the download service fetches; also its key for the file
  std::wstring localPath;  // set by AssignLocalPaths
  uint64_t size = 0;       // from the download service, before the download starts
  uint64_t received = 0;   // kept up to date by the progress poll
  int64_t startTime = 0;   // seconds since 1970 when the file was first handed to the service
  // The text of the entry's "sha256" element, when it has one; ReadDigests turns it into sha256.
  std::optional<std::wstring> sha256Text;
  std::optional<Sha256Digest> sha256;  // what the file's bytes must hash to, when given
};

struct GameConfig {
  std::wstring fileId;       // reported with the completion statistics
  int32_t fileCount = 0;     // set from files.size() when the client start-up begins
  uint64_t totalBytes = 0;   // the sum of all sizes, set during the client start-up
  std::vector<ResourceFile> files;

  // The entry at index, or nullptr when index lies outside the list.
  ResourceFile* FileAt(int32_t index);
  const ResourceFile* FileAt(int32_t index) const;

  // The sum of received over all entries.
  uint64_t TotalReceived() const;

  // The first entry's local path: the game's installer, opened when everything has arrived.
  // Empty when the list is empty.
  std::wstring InstallerPath() const;
};

// The local file name of a uri: the part after its last "/", or the whole uri without one.
std::wstring LocalNameOf(const std::wstring& uri);

// True when name can only ever mean a plain file directly inside the download folder: not empty,
// at most 255 characters, no path separators, drive colons, wildcard or control characters, not
// "." or "..", no trailing dot or blank, and not a device name (CON, PRN, AUX, NUL, COM1-9,
// LPT1-9, with or without an extension).
bool IsSafeLocalName(const std::wstring& name);

// Sets every entry's local path to "<downloadFolder>\<local name>". Entries whose name is not
// safe are left without a local path and make the result false: the configuration must then be
// treated as invalid, since the server asked for a file outside the download folder.
bool AssignLocalPaths(GameConfig& config, const std::wstring& downloadFolder);

// Reads the digest of every entry that gives one. False when any given digest is not 64
// hexadecimal digits: the configuration must then be treated as invalid, since a file it names
// could not be checked as the server asked.
bool ReadDigests(GameConfig& config);

#endif
