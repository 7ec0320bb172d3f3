// Base64 encoding (RFC 4648, standard alphabet A-Z a-z 0-9 + /) with "=" padding and no line
// breaks, as the analytics service expects an event's data.
#ifndef TELEMETRY_BASE64_H
#define TELEMETRY_BASE64_H

#include <string>
#include <string_view>

std::string EncodeBase64(std::string_view bytes);

// The length EncodeBase64 gives for byteCount bytes: 4 for every started group of 3.
constexpr size_t Base64Length(size_t byteCount) { return (byteCount + 2) / 3 * 4; }

#endif
