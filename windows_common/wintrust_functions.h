// WinTrust and the CryptoAPI functions the Authenticode check needs, taken on first use from the
// system folder (system_functions.h).
#ifndef WINDOWS_COMMON_WINTRUST_FUNCTIONS_H
#define WINDOWS_COMMON_WINTRUST_FUNCTIONS_H

#include <windows.h>
#include <wincrypt.h>
#include <wintrust.h>

#include "windows_common/system_functions.h"

#define AK_WINTRUST_FUNCTIONS(X) \
  X(WinVerifyTrust) X(WTHelperGetProvCertFromChain) X(WTHelperGetProvSignerFromChain) X(WTHelperProvDataFromStateData)
#define AK_CRYPT32_FUNCTIONS(X) X(CertGetNameStringW) X(CertVerifyCertificateChainPolicy)

namespace wincommon {
AK_SYSTEM_FUNCTIONS(WinTrustFunctions, WinTrust, "wintrust.dll", AK_WINTRUST_FUNCTIONS)
AK_SYSTEM_FUNCTIONS(Crypt32Functions, Crypt32, "crypt32.dll", AK_CRYPT32_FUNCTIONS)
}  // namespace wincommon

#endif
