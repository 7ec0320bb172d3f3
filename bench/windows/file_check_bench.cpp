// How long the checks of an arrived file take on the real system: the SHA-256 through CNG and,
// for a signed program, the signature through WinVerifyTrust. Run under Wine by bench/file_checks.
//   file_check_bench FILE [SIGNER]
// Prints the file's size, the digest, the seconds each check took and the hashing rate in MiB/s.
#include <windows.h>

#include <stdio.h>

#include <string>

#include "app/windows_file_inspector.h"

namespace {

double secondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now;
  LARGE_INTEGER frequency;
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) / static_cast<double>(frequency.QuadPart);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: file_check_bench FILE [SIGNER]\n");
    return 2;
  }
  WindowsFileInspector files;
  const std::wstring path = argv[1];
  const std::optional<uint64_t> size = files.FileSize(path);
  if (!size) {
    fprintf(stderr, "file_check_bench: cannot read the size of the file\n");
    return 1;
  }
  LARGE_INTEGER start;
  QueryPerformanceCounter(&start);
  const std::optional<Sha256Digest> digest = files.FileSha256(path);
  const double hashSeconds = secondsSince(start);
  if (!digest) {
    fprintf(stderr, "file_check_bench: the file could not be hashed\n");
    return 1;
  }
  printf("size: %llu bytes\nsha256: %ls\nhash: %.3f s (%.1f MiB/s)\n", static_cast<unsigned long long>(*size),
         Sha256Text(*digest).c_str(), hashSeconds, static_cast<double>(*size) / (1024.0 * 1024.0) / hashSeconds);
  if (argc > 2) {
    QueryPerformanceCounter(&start);
    const SignatureCheck signature = files.CheckSignature(path, argv[2]);
    printf("signature: %.3f s (verdict %d)\n", secondsSince(start), static_cast<int>(signature.verdict));
  }
  return 0;
}
