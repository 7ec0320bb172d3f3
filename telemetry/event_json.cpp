#include "telemetry/event_json.h"

#include <stdint.h>

namespace {

constexpr uint32_t kReplacementCharacter = 0xfffd;

void AppendUnicodeEscape(std::wstring& out, uint32_t unit) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  out += L"\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kDigits[(unit >> shift) & 0xf]);
}

bool IsHighSurrogate(uint32_t unit) { return unit >= 0xd800 && unit <= 0xdbff; }
bool IsLowSurrogate(uint32_t unit) { return unit >= 0xdc00 && unit <= 0xdfff; }

// The code point starting at text[*at], advancing past it. wchar_t holds UTF-16 units on Windows
// and whole code points elsewhere; both are read here.
uint32_t NextCodePoint(const std::wstring& text, size_t* at) {
  uint32_t unit = static_cast<uint32_t>(text[(*at)++]);
  if (IsHighSurrogate(unit)) {
    if (*at < text.size() && IsLowSurrogate(static_cast<uint32_t>(text[*at]))) {
      uint32_t low = static_cast<uint32_t>(text[(*at)++]);
      return 0x10000 + ((unit - 0xd800) << 10) + (low - 0xdc00);
    }
    return kReplacementCharacter;
  }
  if (IsLowSurrogate(unit) || unit > 0x10ffff) return kReplacementCharacter;
  return unit;
}

}  // namespace

std::wstring JsonQuote(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size() + 2);
  out.push_back(L'"');
  for (size_t at = 0; at < text.size();) {
    uint32_t code = NextCodePoint(text, &at);
    switch (code) {
      case '"': out += L"\\\""; break;
      case '\\': out += L"\\\\"; break;
      case '\b': out += L"\\b"; break;
      case '\f': out += L"\\f"; break;
      case '\n': out += L"\\n"; break;
      case '\r': out += L"\\r"; break;
      case '\t': out += L"\\t"; break;
      default:
        if (code >= 0x20 && code < 0x7f) {
          out.push_back(static_cast<wchar_t>(code));
        } else if (code < 0x10000) {
          AppendUnicodeEscape(out, code);
        } else {
          code -= 0x10000;
          AppendUnicodeEscape(out, 0xd800 + (code >> 10));
          AppendUnicodeEscape(out, 0xdc00 + (code & 0x3ff));
        }
    }
  }
  out.push_back(L'"');
  return out;
}

std::wstring EncodeJsonObject(const PropertyList& properties) {
  std::wstring out = L"{";
  bool first = true;
  for (const auto& [key, value] : properties) {
    if (!first) out.push_back(L',');
    first = false;
    out += JsonQuote(key);
    out.push_back(L':');
    out += JsonQuote(value);
  }
  out.push_back(L'}');
  return out;
}

std::wstring EventPayload(const std::wstring& eventName, const PropertyList& properties) {
  return L"{\"event\":" + JsonQuote(eventName) + L",\"properties\":" + EncodeJsonObject(properties) + L"}";
}

std::string EventPayloadBytes(const std::wstring& eventName, const PropertyList& properties) {
  std::wstring payload = EventPayload(eventName, properties);
  std::string bytes;
  bytes.reserve(payload.size());
  for (wchar_t c : payload) bytes.push_back(static_cast<char>(c));
  return bytes;
}
