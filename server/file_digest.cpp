#include "server/file_digest.h"

namespace {

int hexValue(wchar_t c) {
  if (c >= L'0' && c <= L'9') return c - L'0';
  if (c >= L'a' && c <= L'f') return c - L'a' + 10;
  if (c >= L'A' && c <= L'F') return c - L'A' + 10;
  return -1;
}

bool isXmlBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n'; }

}  // namespace

std::optional<Sha256Digest> ParseSha256Text(const std::wstring& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && isXmlBlank(text[begin])) ++begin;
  while (end > begin && isXmlBlank(text[end - 1])) --end;
  Sha256Digest digest{};
  if (end - begin != digest.size() * 2) return std::nullopt;
  for (size_t i = 0; i < digest.size(); ++i) {
    const int high = hexValue(text[begin + 2 * i]);
    const int low = hexValue(text[begin + 2 * i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    digest[i] = static_cast<uint8_t>(high * 16 + low);
  }
  return digest;
}

std::wstring Sha256Text(const Sha256Digest& digest) {
  static const wchar_t kDigits[] = L"0123456789abcdef";
  std::wstring text;
  text.reserve(digest.size() * 2);
  for (uint8_t byte : digest) {
    text += kDigits[byte >> 4];
    text += kDigits[byte & 0x0F];
  }
  return text;
}
