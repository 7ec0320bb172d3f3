// What text from outside may be: names the server builds paths and files from (game codes,
// attributes), decimal numbers, and the free text players' downloaders send (well-formed UTF-8
// without NUL or the characters that reorder the text around them), and how the dashboard shows a
// player's text so that no control character reaches the page.
#ifndef PUBLISHER_TEXT_CHECKS_H
#define PUBLISHER_TEXT_CHECKS_H

#include <stddef.h>

#include <string>
#include <string_view>

namespace publisher {

// ASCII letters, digits, "_", "-" and "."; one to longest of them.
bool isWord(std::string_view value, size_t longest);
// A game's code as the downloader's paths carry it: a word of at most 32 characters.
bool isGameCode(std::string_view value);
// A CDN base address the configuration can hand to players: "http://" or "https://", a host name
// (and port), then a path of printable ASCII that needs no quoting in a URL or in XML, with no
// query and no fragment; at most 512 characters.
bool isCdnBase(std::string_view value);
// Decimal digits only, one to twenty of them.
bool isDecimal(std::string_view value);
// Well-formed UTF-8 (no overlong forms, no surrogates, nothing past U+10FFFF) without NUL and
// without bidirectional controls (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069).
bool isPlayerText(std::string_view value);
// The text with every control character (C0, DEL, C1) replaced: tabs and line ends by a space,
// the others by U+FFFD. Bytes that are not UTF-8 become U+FFFD too.
std::string displayable(std::string_view value);

}  // namespace publisher

#endif
