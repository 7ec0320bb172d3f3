#include "web/query.h"

namespace web {
namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool staysUnencoded(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
         c == '_';
}

}  // namespace

std::string percentDecode(std::string_view text) {
  std::string decoded;
  decoded.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int high = hexValue(text[i + 1]);
      int low = hexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        decoded.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    decoded.push_back(text[i]);
  }
  return decoded;
}

std::string percentEncode(std::string_view text) {
  static const char kDigits[] = "0123456789abcdef";
  std::string encoded;
  encoded.reserve(text.size() * 3);
  for (char c : text) {
    auto byte = static_cast<unsigned char>(c);
    if (staysUnencoded(byte)) {
      encoded.push_back(c);
    } else {
      encoded.push_back('%');
      encoded.push_back(kDigits[byte >> 4]);
      encoded.push_back(kDigits[byte & 15]);
    }
  }
  return encoded;
}

QueryParams parseQuery(std::string_view rawQuery) {
  QueryParams params;
  while (!rawQuery.empty()) {
    size_t amp = rawQuery.find('&');
    std::string_view part = rawQuery.substr(0, amp);
    rawQuery.remove_prefix(amp == std::string_view::npos ? rawQuery.size() : amp + 1);
    if (part.empty()) continue;
    QueryParam param;
    size_t equals = part.find('=');
    param.name = percentDecode(part.substr(0, equals));
    if (equals != std::string_view::npos) {
      param.hasValue = true;
      param.value = percentDecode(part.substr(equals + 1));
    }
    params.push_back(std::move(param));
  }
  return params;
}

const QueryParam* findParam(const QueryParams& params, std::string_view name) {
  for (const auto& param : params) {
    if (param.name == name) return &param;
  }
  return nullptr;
}

}  // namespace web
