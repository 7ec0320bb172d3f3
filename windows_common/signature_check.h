// The verdict on a file's Authenticode signature, in words both the downloader (before it opens
// the game's installer) and the client library (before it runs the service's installer) use.
// Portable: the check itself is in authenticode.h.
#ifndef WINDOWS_COMMON_SIGNATURE_CHECK_H
#define WINDOWS_COMMON_SIGNATURE_CHECK_H

#include <stdint.h>

#include <string>
#include <utility>

enum class SignatureVerdict {
  Trusted,      // a valid signature, chained to a trusted root, by the expected signer
  Unsigned,     // no signature at all
  Invalid,      // a signature that does not match the file's bytes, or is malformed
  Untrusted,    // a valid signature whose certificate does not chain to a trusted root
  OtherSigner,  // a trusted signature by someone else
  Unreadable,   // the file could not be opened
};

// Who must have signed a file: the certificate's common name, and (when the build names them) its
// organisation and the common name of the certificate that issued it. A common name alone can be
// had from more than one authority; the organisation and issuer pin the publisher's own
// certificate. Made from a common name alone where only that is given.
struct ExpectedSigner {
  std::wstring name;          // empty: no signature is required
  std::wstring organization;  // empty: not compared
  std::wstring issuer;        // empty: not compared
  ExpectedSigner() = default;
  ExpectedSigner(std::wstring commonName, std::wstring org = std::wstring(), std::wstring issuedBy = std::wstring())
      : name(std::move(commonName)), organization(std::move(org)), issuer(std::move(issuedBy)) {}
  ExpectedSigner(const wchar_t* commonName) : name(commonName) {}
  bool empty() const { return name.empty(); }
};

struct SignatureCheck {
  SignatureVerdict verdict = SignatureVerdict::Unreadable;
  std::wstring signer;        // the signing certificate's common name, when it could be read
  uint32_t code = 0;          // the system's status code for Invalid and Untrusted
  std::wstring organization;  // the signing certificate's organisation (O), when it names one
  std::wstring issuer;        // the common name of the certificate that issued it
};

// The verdict on a trusted signature with the signer found: Trusted when every part the expected
// signer names matches exactly, else OtherSigner.
inline SignatureVerdict JudgeSigner(const SignatureCheck& found, const ExpectedSigner& expected) {
  const bool same = found.signer == expected.name &&
                    (expected.organization.empty() || found.organization == expected.organization) &&
                    (expected.issuer.empty() || found.issuer == expected.issuer);
  return same ? SignatureVerdict::Trusted : SignatureVerdict::OtherSigner;
}

// What is wrong, in a few words ("not signed", "signed by "X", not by "Y"", ...); empty when the
// signature is trusted and by the expected signer.
inline std::wstring DescribeSignatureProblem(const SignatureCheck& result, const ExpectedSigner& expected) {
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
      if (result.signer != expected.name) return L"signed by \"" + result.signer + L"\", not by \"" + expected.name + L"\"";
      if (!expected.organization.empty() && result.organization != expected.organization) {
        return L"signed by \"" + result.signer + L"\" of \"" + result.organization + L"\", not of \"" +
               expected.organization + L"\"";
      }
      return L"signed by \"" + result.signer + L"\" with a certificate from \"" + result.issuer + L"\", not from \"" +
             expected.issuer + L"\"";
    case SignatureVerdict::Unreadable:
      break;
  }
  return L"cannot be read";
}

#endif
