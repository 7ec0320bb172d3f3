// SHA-256 in lowercase hexadecimal (OpenSSL's implementation), of bytes in memory or of a file read
// in pieces.
#ifndef PUBLISHER_SHA256_H
#define PUBLISHER_SHA256_H

#include <stdint.h>

#include <filesystem>
#include <string>
#include <string_view>

namespace publisher {

std::string sha256Hex(std::string_view bytes);
// The file's digest and size; false with the reason when it cannot be read whole.
bool sha256OfFile(const std::filesystem::path& file, std::string* hex, uint64_t* size, std::string* error);

}  // namespace publisher

#endif
