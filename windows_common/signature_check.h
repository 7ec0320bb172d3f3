// The verdict on a file's Authenticode signature, in words both the downloader (before it opens
// the game's installer) and the client library (before it runs the service's installer) use.
// Portable: the check itself is in authenticode.h.
#ifndef WINDOWS_COMMON_SIGNATURE_CHECK_H
#define WINDOWS_COMMON_SIGNATURE_CHECK_H

#include <stdint.h>

#include <string>

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

// What is wrong, in a few words ("not signed", "signed by "X", not by "Y"", ...); empty when the
// signature is trusted and by the expected signer.
inline std::wstring DescribeSignatureProblem(const SignatureCheck& result, const std::wstring& expectedSigner) {
  auto hex32 = [](uint32_t code) {
    static const wchar_t kDigits[] = L"0123456789ABCDEF";
    std::wstring text = L"0x";
    for (int shift = 28; shift >= 0; shift -= 4) text += kDigits[(code >> shift) & 0xF];
    return text;
  };
  switch (result.verdict) {
    case SignatureVerdict::Trusted:
      return std::wstring();
    case SignatureVerdict::Unsigned:
      return L"not signed";
    case SignatureVerdict::Invalid:
      return L"signature not valid (" + hex32(result.code) + L")";
    case SignatureVerdict::Untrusted:
      return L"signer not trusted (" + hex32(result.code) + L")";
    case SignatureVerdict::OtherSigner:
      return L"signed by \"" + result.signer + L"\", not by \"" + expectedSigner + L"\"";
    case SignatureVerdict::Unreadable:
      break;
  }
  return L"cannot be read";
}

#endif
