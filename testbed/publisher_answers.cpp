#include "testbed/publisher_answers.h"

#include <algorithm>
#include <system_error>

#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace testbed {

bool entriesForFolder(const std::filesystem::path& folder, std::string_view originUrl,
                      std::vector<ConfigEntry>* entries, std::string* error, bool namesAsIs) {
  std::error_code failure;
  std::vector<std::string> names;
  for (std::filesystem::directory_iterator it(folder, failure), end; !failure && it != end; it.increment(failure)) {
    std::error_code ignored;
    if (it->is_regular_file(ignored)) names.push_back(it->path().filename().u8string());
  }
  if (failure) {
    *error = "cannot read the folder " + folder.u8string() + ": " + failure.message();
    return false;
  }
  std::sort(names.begin(), names.end());
  std::string base(originUrl);
  while (!base.empty() && base.back() == '/') base.pop_back();
  entries->clear();
  for (size_t i = 0; i < names.size(); ++i) {
    entries->push_back(
        {std::to_string(1001 + i), std::to_string(1 + i),
         base + "/" + (namesAsIs ? names[i] : percentEncode(names[i])), "", names[i]});
  }
  return true;
}

bool readDigestListing(const std::string& listing, std::map<std::string, std::string>* digests, std::string* error) {
  size_t lineNumber = 0;
  size_t begin = 0;
  while (begin < listing.size()) {
    size_t end = listing.find('\n', begin);
    if (end == std::string::npos) end = listing.size();
    std::string line = listing.substr(begin, end - begin);
    begin = end + 1;
    ++lineNumber;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    // 64 digits, a blank, then a blank (text mode) or "*" (binary mode), then the name.
    const bool shaped = line.size() > 66 && line[64] == ' ' && (line[65] == ' ' || line[65] == '*') &&
                        line.find_first_not_of("0123456789abcdefABCDEF") == 64;
    if (!shaped) {
      *error = "line " + std::to_string(lineNumber) + " of the digest listing is not \"HEX  NAME\"";
      return false;
    }
    (*digests)[line.substr(66)] = line.substr(0, 64);
  }
  return true;
}

}  // namespace testbed
