// Base64 (RFC 4648, standard alphabet) decoding for the analytics sink. Strict on purpose: the
// sink exists to catch a sender that encodes wrongly, so it accepts only the canonical form
// (padding present, no line breaks, no stray bits), nothing a lenient decoder would forgive.
#ifndef WEB_BASE64_H
#define WEB_BASE64_H

#include <optional>
#include <string>
#include <string_view>

namespace web {

// The decoded bytes, or none when text is not canonical Base64.
std::optional<std::string> decodeBase64(std::string_view text);

}  // namespace web

#endif
