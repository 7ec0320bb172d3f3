#include "publisher/text_checks.h"

#include <stdint.h>

namespace publisher {
namespace {

constexpr uint32_t kNotUtf8 = 0xFFFFFFFF;
constexpr const char* kReplacement = "\xEF\xBF\xBD";

// The code point that starts at text[*at], moving *at past it; kNotUtf8 (moving past one byte)
// when the bytes there are not well-formed UTF-8.
uint32_t nextCodePoint(std::string_view text, size_t* at) {
  const auto lead = static_cast<unsigned char>(text[*at]);
  size_t length = 0;
  uint32_t code = 0;
  uint32_t least = 0;
  if (lead < 0x80) {
    *at += 1;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F, least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F, least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07, least = 0x10000;
  } else {
    *at += 1;
    return kNotUtf8;
  }
  if (text.size() - *at < length) {
    *at += 1;
    return kNotUtf8;
  }
  for (size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[*at + i]);
    if ((next & 0xC0) != 0x80) {
      *at += 1;
      return kNotUtf8;
    }
    code = (code << 6) | (next & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    *at += 1;
    return kNotUtf8;
  }
  *at += length;
  return code;
}

bool isBidiControl(uint32_t code) {
  return code == 0x061C || code == 0x200E || code == 0x200F || (code >= 0x202A && code <= 0x202E) ||
         (code >= 0x2066 && code <= 0x2069);
}

bool isControl(uint32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

}  // namespace

bool isWord(std::string_view value, size_t longest) {
  if (value.empty() || value.size() > longest) return false;
  for (char c : value) {
    const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
                        c == '-' || c == '.';
    if (!letter) return false;
  }
  return true;
}

bool isGameCode(std::string_view value) { return isWord(value, 32); }

bool isCdnBase(std::string_view value) {
  if (value.size() > 512) return false;
  size_t at = 0;
  if (value.rfind("https://", 0) == 0) {
    at = 8;
  } else if (value.rfind("http://", 0) == 0) {
    at = 7;
  } else {
    return false;
  }
  const size_t slash = value.find('/', at);
  const std::string_view host = value.substr(at, slash == std::string_view::npos ? std::string_view::npos : slash - at);
  if (host.empty() || host.front() == '.' || host.front() == '-' || host.front() == ':') return false;
  for (char c : host) {
    const bool allowed = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                         c == '-' || c == ':';
    if (!allowed) return false;
  }
  if (slash == std::string_view::npos) return true;
  for (char c : value.substr(slash)) {
    if (c <= ' ' || c > '~' || std::string_view("\"<>\\^`{|}?#'").find(c) != std::string_view::npos) return false;
  }
  return true;
}

bool isDecimal(std::string_view value) {
  if (value.empty() || value.size() > 20) return false;
  for (char c : value) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool isPlayerText(std::string_view value) {
  for (size_t at = 0; at < value.size();) {
    const uint32_t code = nextCodePoint(value, &at);
    if (code == kNotUtf8 || code == 0 || isBidiControl(code)) return false;
  }
  return true;
}

std::string displayable(std::string_view value) {
  std::string shown;
  shown.reserve(value.size());
  for (size_t at = 0; at < value.size();) {
    const size_t start = at;
    const uint32_t code = nextCodePoint(value, &at);
    if (code == '\t' || code == '\n' || code == '\r') {
      shown.push_back(' ');
    } else if (code == kNotUtf8 || isControl(code) || isBidiControl(code)) {
      shown.append(kReplacement);
    } else {
      shown.append(value.substr(start, at - start));
    }
  }
  return shown;
}

}  // namespace publisher
