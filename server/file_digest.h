// SHA-256 digests of the game's files, as the configuration may give them: an optional "sha256"
// element inside an entry, holding 64 hexadecimal digits.
#ifndef SERVER_FILE_DIGEST_H
#define SERVER_FILE_DIGEST_H

#include <stdint.h>

#include <array>
#include <optional>
#include <string>

using Sha256Digest = std::array<uint8_t, 32>;

// The digest written as 64 hexadecimal digits (either case), with blanks, tabs and line breaks
// around it allowed, as an indented XML document has them; nothing for any other text.
std::optional<Sha256Digest> ParseSha256Text(const std::wstring& text);

// 64 lowercase hexadecimal digits.
std::wstring Sha256Text(const Sha256Digest& digest);

#endif
