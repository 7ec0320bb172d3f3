#include "telemetry/base64.h"

#include <stdint.h>

std::string EncodeBase64(std::string_view bytes) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve(Base64Length(bytes.size()));
  size_t at = 0;
  for (; at + 3 <= bytes.size(); at += 3) {
    uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 16 |
                     static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8 |
                     static_cast<uint8_t>(bytes[at + 2]);
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(kAlphabet[(group >> 6) & 63]);
    out.push_back(kAlphabet[group & 63]);
  }
  size_t left = bytes.size() - at;
  if (left > 0) {
    uint32_t group = static_cast<uint32_t>(static_cast<uint8_t>(bytes[at])) << 16;
    if (left == 2) group |= static_cast<uint32_t>(static_cast<uint8_t>(bytes[at + 1])) << 8;
    out.push_back(kAlphabet[group >> 18]);
    out.push_back(kAlphabet[(group >> 12) & 63]);
    out.push_back(left == 2 ? kAlphabet[(group >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}
