// What the job asks of the system about a file that has arrived: its size, its SHA-256 and who
// signed it. The answers take as long as reading the file does, so they are asked for on a worker
// thread, never on the window's.
#ifndef DOWNLOAD_FILE_INSPECTOR_H
#define DOWNLOAD_FILE_INSPECTOR_H

#include <stdint.h>

#include <memory>
#include <optional>
#include <string>

#include "server/file_digest.h"
#include "windows_common/signature_check.h"

// Keeps a file unchanged and in place while it is held (its bytes cannot be written, and it cannot
// be deleted or replaced); released when the last copy is dropped.
using FileHold = std::shared_ptr<void>;

class FileInspector {
 public:
  virtual ~FileInspector() = default;
  // The file's size in bytes; nothing when it does not exist or cannot be queried.
  virtual std::optional<uint64_t> FileSize(const std::wstring& path) = 0;
  // The SHA-256 of the file's bytes; nothing when it cannot be read to its end.
  virtual std::optional<Sha256Digest> FileSha256(const std::wstring& path) = 0;
  // The file's Authenticode signature, required to be by expectedSigner (the common name of the
  // signing certificate, compared exactly).
  virtual SignatureCheck CheckSignature(const std::wstring& path, const ExpectedSigner& expectedSigner) = 0;
  // Holds the file unchanged from now until the hold is dropped; null when it cannot be opened.
  virtual FileHold HoldUnchanged(const std::wstring& path) = 0;
};

#endif
