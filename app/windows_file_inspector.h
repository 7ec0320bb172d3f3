// The job's questions about an arrived file, on Win32: its size, its SHA-256 through the system's
// CNG, and its Authenticode signature through WinVerifyTrust, with the signer's certificate chain
// checked against the Authenticode policy and its common name compared with the expected one.
#ifndef APP_WINDOWS_FILE_INSPECTOR_H
#define APP_WINDOWS_FILE_INSPECTOR_H

#include "download/file_inspector.h"

class WindowsFileInspector : public FileInspector {
 public:
  std::optional<uint64_t> FileSize(const std::wstring& path) override;
  std::optional<Sha256Digest> FileSha256(const std::wstring& path) override;
  SignatureCheck CheckSignature(const std::wstring& path, const std::wstring& expectedSigner) override;
};

#endif
