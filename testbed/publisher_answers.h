// The game configuration of the testbed's publisher server, generated from a folder of game files
// (the XML itself is the game server's, publisher/xml_answers.h).
#ifndef TESTBED_PUBLISHER_ANSWERS_H
#define TESTBED_PUBLISHER_ANSWERS_H

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "publisher/xml_answers.h"

namespace testbed {

using publisher::ConfigEntry;
using publisher::configAnswer;
using publisher::sidAnswer;
using publisher::xmlEscape;

// One entry per regular file directly inside folder, ordered by name, so a game's installer can be
// put first by naming it so. The n-th file (from 1) gets rnum n and rid 1000 + n (different
// numbers, so a test can tell which of the two a request carries) and the uri originUrl + "/" +
// the percent-encoded name (the name as it is, with namesAsIs). False, with the reason, when the
// folder cannot be read.
bool entriesForFolder(const std::filesystem::path& folder, std::string_view originUrl,
                      std::vector<ConfigEntry>* entries, std::string* error, bool namesAsIs = false);

// The digests of a listing in sha256sum's format ("HEX  NAME" or "HEX *NAME" per line), by name.
// False, with the reason, at the first line that is not one.
bool readDigestListing(const std::string& listing, std::map<std::string, std::string>* digests, std::string* error);

}  // namespace testbed

#endif
