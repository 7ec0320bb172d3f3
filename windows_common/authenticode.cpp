#include "windows_common/authenticode.h"

#include <softpub.h>

#include "windows_common/wintrust_functions.h"

namespace wincommon {
namespace {

// A scanner, or a writer just closing the file, may hold it for a moment: a sharing violation is
// waited out this long before the file counts as unreadable.
constexpr int kSharingRetries = 50;
constexpr DWORD kSharingRetryMs = 200;

// One attribute of the certificate's subject, or with issuerFlag of its issuer ("" when absent).
std::wstring nameAttributeOf(const Crypt32Functions& crypt32, PCCERT_CONTEXT certificate, const char* oid,
                             DWORD issuerFlag = 0) {
  wchar_t name[256] = L"";
  DWORD length = crypt32.CertGetNameStringW(certificate, CERT_NAME_ATTR_TYPE, issuerFlag, const_cast<char*>(oid), name,
                                            ARRAYSIZE(name));
  return length > 1 ? std::wstring(name, length - 1) : std::wstring();
}

bool isTrustProblem(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case CERT_E_UNTRUSTEDROOT:
    case CERT_E_UNTRUSTEDTESTROOT:
    case CERT_E_CHAINING:
    case CERT_E_EXPIRED:
    case CERT_E_REVOKED:
    case CERT_E_WRONG_USAGE:
    case CERT_E_UNTRUSTEDCA:
    case TRUST_E_EXPLICIT_DISTRUST:
    case CRYPT_E_REVOKED:
      return true;
    default:
      return false;
  }
}

bool isMissingSignature(LONG status) {
  switch (static_cast<HRESULT>(status)) {
    case TRUST_E_NOSIGNATURE:
    case TRUST_E_SUBJECT_FORM_UNKNOWN:
    case TRUST_E_PROVIDER_UNKNOWN:
      return true;
    default:
      return false;
  }
}

// The verdict on a signature WinVerifyTrust has accepted: its signer's chain must satisfy the
// Authenticode policy (Wine's WinVerifyTrust checks the signature and the file's digest but not
// the chain; Windows checks both, and there this repeats its answer) and name the expected signer.
SignatureCheck judgeAcceptedSignature(const WinTrustFunctions& wintrust, const Crypt32Functions& crypt32,
                                      HANDLE stateData, const ExpectedSigner& expectedSigner) {
  SignatureCheck result;
  result.verdict = SignatureVerdict::Invalid;
  CRYPT_PROVIDER_DATA* provider = wintrust.WTHelperProvDataFromStateData(stateData);
  CRYPT_PROVIDER_SGNR* signer =
      provider != nullptr ? wintrust.WTHelperGetProvSignerFromChain(provider, 0, FALSE, 0) : nullptr;
  CRYPT_PROVIDER_CERT* certificate = signer != nullptr ? wintrust.WTHelperGetProvCertFromChain(signer, 0) : nullptr;
  if (certificate == nullptr || certificate->pCert == nullptr || signer->pChainContext == nullptr) return result;
  result.signer = nameAttributeOf(crypt32, certificate->pCert, szOID_COMMON_NAME);
  result.organization = nameAttributeOf(crypt32, certificate->pCert, szOID_ORGANIZATION_NAME);
  result.issuer = nameAttributeOf(crypt32, certificate->pCert, szOID_COMMON_NAME, CERT_NAME_ISSUER_FLAG);
  for (LPCSTR policyId : {CERT_CHAIN_POLICY_AUTHENTICODE, CERT_CHAIN_POLICY_BASE}) {
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    CERT_CHAIN_POLICY_STATUS status{};
    status.cbSize = sizeof status;
    if (!crypt32.CertVerifyCertificateChainPolicy(policyId, signer->pChainContext, &policy, &status) || status.dwError != 0) {
      result.verdict = SignatureVerdict::Untrusted;
      result.code = status.dwError != 0 ? status.dwError : static_cast<uint32_t>(CERT_E_CHAINING);
      return result;
    }
  }
  // A chain that stops short of any root (its issuer is nowhere to be found) is no trusted chain,
  // whatever a policy made of it.
  if ((signer->pChainContext->TrustStatus.dwErrorStatus & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) {
    result.verdict = SignatureVerdict::Untrusted;
    result.code = static_cast<uint32_t>(CERT_E_CHAINING);
    return result;
  }
  result.verdict = JudgeSigner(result, expectedSigner);
  return result;
}

}  // namespace

HANDLE OpenUnchangeable(const std::wstring& path) {
  for (int attempt = 0;; ++attempt) {
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return handle;
    if (GetLastError() != ERROR_SHARING_VIOLATION || attempt >= kSharingRetries) return INVALID_HANDLE_VALUE;
    Sleep(kSharingRetryMs);
  }
}

SignatureCheck CheckAuthenticode(const std::wstring& path, HANDLE file, const ExpectedSigner& expectedSigner) {
  SignatureCheck result;
  if (file == INVALID_HANDLE_VALUE || file == nullptr) return result;
  const WinTrustFunctions* wintrust = WinTrust();
  const Crypt32Functions* crypt32 = wintrust != nullptr ? Crypt32() : nullptr;
  if (crypt32 == nullptr) {
    // Neither DLL is missing from a working Windows; where one is, nothing can be trusted.
    result.verdict = SignatureVerdict::Invalid;
    result.code = GetLastError();
    return result;
  }
  WINTRUST_FILE_INFO fileInfo{};
  fileInfo.cbStruct = sizeof fileInfo;
  fileInfo.pcwszFilePath = path.c_str();
  fileInfo.hFile = file;
  WINTRUST_DATA data{};
  data.cbStruct = sizeof data;
  data.dwUIChoice = WTD_UI_NONE;
  // Revocation is not checked, so a check does not wait on a revocation server that cannot be
  // reached (the shell's own checks still apply when the program starts). Missing chain
  // certificates may be fetched: a freshly installed PC may not yet hold the intermediate that
  // links a good signature to its root, and Windows fetches it from the address the signer's
  // certificate names. The check runs off the window's thread, so such a fetch blocks no window.
  data.fdwRevocationChecks = WTD_REVOKE_NONE;
  data.dwProvFlags = WTD_REVOCATION_CHECK_NONE;
  data.dwUnionChoice = WTD_CHOICE_FILE;
  data.pFile = &fileInfo;
  data.dwStateAction = WTD_STATEACTION_VERIFY;
  GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
  const LONG status = wintrust->WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  if (status == 0) {
    result = judgeAcceptedSignature(*wintrust, *crypt32, data.hWVTStateData, expectedSigner);
  } else {
    result.code = static_cast<uint32_t>(status);
    result.verdict = isMissingSignature(status) ? SignatureVerdict::Unsigned
                     : isTrustProblem(status)   ? SignatureVerdict::Untrusted
                                                : SignatureVerdict::Invalid;
  }
  data.dwStateAction = WTD_STATEACTION_CLOSE;
  wintrust->WinVerifyTrust(static_cast<HWND>(INVALID_HANDLE_VALUE), &action, &data);
  return result;
}

}  // namespace wincommon
