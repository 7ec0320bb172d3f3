// Query strings: splitting "a=1&b&c=" into ordered parameters and percent-decoding them, and the
// matching encoder (the client library's rule: letters, digits, "-", "." and "_" stay, every
// other byte becomes "%" and two lowercase hexadecimal digits).
#ifndef WEB_QUERY_H
#define WEB_QUERY_H

#include <string>
#include <string_view>
#include <vector>

namespace web {

struct QueryParam {
  std::string name;
  std::string value;
  bool hasValue = false;  // "complete" has none, "path=" has an empty one
};
using QueryParams = std::vector<QueryParam>;

// Decodes "%xx" escapes (either case). A "%" that is not followed by two hexadecimal digits is
// kept as it is; "+" stays "+" (the client encodes spaces as %20).
std::string percentDecode(std::string_view text);
std::string percentEncode(std::string_view text);

// Parameters in the order received, names and values decoded; empty parts ("a&&b") are skipped.
QueryParams parseQuery(std::string_view rawQuery);
// The first parameter called name, or null.
const QueryParam* findParam(const QueryParams& params, std::string_view name);

}  // namespace web

#endif
