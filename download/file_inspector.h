// What the job asks of the system about a file that has arrived: its size, its SHA-256 and who
// signed it. The answers take as long as reading the file does, so they are asked for on a worker
// thread, never on the window's.
#ifndef DOWNLOAD_FILE_INSPECTOR_H
#define DOWNLOAD_FILE_INSPECTOR_H

#include <stdint.h>

#include <optional>
#include <string>

#include "server/file_digest.h"

enum class SignatureVerdict {
  Trusted,      // a valid signature, chained to a trusted root, by the expected signer
  Unsigned,     // no signature at all
  Invalid,      // a signature that does not match the file's bytes, or is malformed
  Untrusted,    // a valid signature whose certificate does not chain to a trusted root
  OtherSigner,  // a trusted signature by someone else
  Unreadable,   // the file could not be opened
};

struct SignatureCheck {
  SignatureVerdict verdict = SignatureVerdict::Unreadable;
  std::wstring signer;  // the signing certificate's common name, when it could be read
  uint32_t code = 0;    // the system's status code for Invalid and Untrusted
};

class FileInspector {
 public:
  virtual ~FileInspector() = default;
  // The file's size in bytes; nothing when it does not exist or cannot be queried.
  virtual std::optional<uint64_t> FileSize(const std::wstring& path) = 0;
  // The SHA-256 of the file's bytes; nothing when it cannot be read to its end.
  virtual std::optional<Sha256Digest> FileSha256(const std::wstring& path) = 0;
  // The file's Authenticode signature, required to be by expectedSigner (the common name of the
  // signing certificate, compared exactly).
  virtual SignatureCheck CheckSignature(const std::wstring& path, const std::wstring& expectedSigner) = 0;
};

#endif
