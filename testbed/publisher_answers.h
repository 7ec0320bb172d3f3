// The XML answers of the testbed's publisher server: the sid answer and the game's download
// configuration, either generated from a folder of game files or taken as given.
//   <response><sid>SID</sid></response>
//   <config><file_id>ID</file_id><resources>
//     <file><rid>1001</rid><rnum>1</rnum><uri>ORIGIN/NAME</uri>[<sha256>HEX</sha256>]</file> ...
//   </resources></config>
#ifndef TESTBED_PUBLISHER_ANSWERS_H
#define TESTBED_PUBLISHER_ANSWERS_H

#include <filesystem>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace testbed {

struct ConfigEntry {
  std::string rid;
  std::string rnum;
  std::string uri;
  std::string sha256;  // empty: the entry gives no digest
  std::string name;    // the file's name in the game folder (not part of the answer)
};

// Text with "&", "<", ">", '"' and "'" as entities, safe inside elements and attributes.
std::string xmlEscape(std::string_view text);

std::string sidAnswer(std::string_view sid);
std::string configAnswer(std::string_view fileId, const std::vector<ConfigEntry>& entries);

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
