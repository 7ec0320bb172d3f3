#include "publisher/sha256.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>
#include <vector>

namespace publisher {
namespace {

std::string hexOf(const unsigned char* digest, unsigned int length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < length; ++i) {
    hex.push_back(kDigits[digest[i] >> 4]);
    hex.push_back(kDigits[digest[i] & 15]);
  }
  return hex;
}

using Context = std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)>;

}  // namespace

std::string sha256Hex(std::string_view bytes) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha256(), nullptr);
  return hexOf(digest, length);
}

bool sha256OfFile(const std::filesystem::path& file, std::string* hex, uint64_t* size, std::string* error) {
  // What is read is what was opened, and it is a regular file: a name swapped for a link or a FIFO
  // after the folder was looked at is refused, not followed or waited on.
  const int descriptor = open(file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat status {};
  if (descriptor < 0 || fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
    if (descriptor >= 0) close(descriptor);
    *error = "cannot read " + file.string() + " as a regular file";
    return false;
  }
  std::unique_ptr<FILE, decltype(&fclose)> in(fdopen(descriptor, "rb"), &fclose);
  if (!in) {
    close(descriptor);
    *error = "cannot read " + file.string();
    return false;
  }
  Context context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
  EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
  std::vector<char> buffer(1 << 20);
  uint64_t total = 0;
  size_t got = 0;
  while ((got = fread(buffer.data(), 1, buffer.size(), in.get())) > 0) {
    EVP_DigestUpdate(context.get(), buffer.data(), got);
    total += got;
  }
  if (ferror(in.get())) {
    *error = "cannot read " + file.string() + " to its end";
    return false;
  }
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_DigestFinal_ex(context.get(), digest, &length);
  *hex = hexOf(digest, length);
  *size = total;
  return true;
}

}  // namespace publisher
