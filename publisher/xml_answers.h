// The XML answers the downloader reads from the publisher's server: the sid answer and the game's
// download configuration.
//   <response><sid>SID</sid></response>
//   <config><file_id>ID</file_id><resources>
//     <file><rid>1001</rid><rnum>1</rnum><uri>ORIGIN/NAME</uri>[<sha256>HEX</sha256>]</file> ...
//   </resources></config>
#ifndef PUBLISHER_XML_ANSWERS_H
#define PUBLISHER_XML_ANSWERS_H

#include <string>
#include <string_view>
#include <vector>

namespace publisher {

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

}  // namespace publisher

#endif
