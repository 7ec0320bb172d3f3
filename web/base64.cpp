#include "web/base64.h"

namespace web {
namespace {

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

}  // namespace

std::optional<std::string> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 4 * 3);
  for (size_t at = 0; at < text.size(); at += 4) {
    bool last = at + 4 == text.size();
    int padding = 0;
    if (last && text[at + 3] == '=') padding = text[at + 2] == '=' ? 2 : 1;
    int values[4] = {0, 0, 0, 0};
    for (int i = 0; i < 4 - padding; ++i) {
      values[i] = sextet(text[at + i]);
      if (values[i] < 0) return std::nullopt;
    }
    unsigned group = (static_cast<unsigned>(values[0]) << 18) | (static_cast<unsigned>(values[1]) << 12) |
                     (static_cast<unsigned>(values[2]) << 6) | static_cast<unsigned>(values[3]);
    // The bits below the last whole byte must be zero in the canonical form.
    if ((padding == 1 && (group & 0xff) != 0) || (padding == 2 && (group & 0xffff) != 0)) return std::nullopt;
    out.push_back(static_cast<char>(group >> 16));
    if (padding < 2) out.push_back(static_cast<char>((group >> 8) & 0xff));
    if (padding < 1) out.push_back(static_cast<char>(group & 0xff));
  }
  return out;
}

}  // namespace web
