// The job's questions about an arrived file, on Win32: its size, its SHA-256 through the system's
// CNG, its Authenticode signature (windows_common/authenticode.h), and a hold that keeps it
// unchanged until the shell has opened it.
#ifndef APP_WINDOWS_FILE_INSPECTOR_H
#define APP_WINDOWS_FILE_INSPECTOR_H

#include "download/file_inspector.h"

class WindowsFileInspector : public FileInspector {
 public:
  std::optional<uint64_t> FileSize(const std::wstring& path) override;
  std::optional<Sha256Digest> FileSha256(const std::wstring& path) override;
  SignatureCheck CheckSignature(const std::wstring& path, const ExpectedSigner& expectedSigner) override;
  // Open for reading with writing and deleting shut out, for as long as the hold is kept.
  FileHold HoldUnchanged(const std::wstring& path) override;
};

#endif
