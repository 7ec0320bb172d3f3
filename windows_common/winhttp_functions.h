// WinHTTP, taken on first use from the system folder (system_functions.h).
#ifndef WINDOWS_COMMON_WINHTTP_FUNCTIONS_H
#define WINDOWS_COMMON_WINHTTP_FUNCTIONS_H

#include <windows.h>
#include <winhttp.h>

#include "windows_common/system_functions.h"

#define AK_WINHTTP_FUNCTIONS(X)                                                                             \
  X(WinHttpAddRequestHeaders) X(WinHttpCloseHandle) X(WinHttpConnect) X(WinHttpCrackUrl)                   \
  X(WinHttpGetDefaultProxyConfiguration) X(WinHttpGetIEProxyConfigForCurrentUser) X(WinHttpGetProxyForUrl) \
  X(WinHttpOpen) X(WinHttpOpenRequest) X(WinHttpQueryHeaders) X(WinHttpReadData) X(WinHttpReceiveResponse) \
  X(WinHttpSendRequest) X(WinHttpSetOption) X(WinHttpSetStatusCallback) X(WinHttpSetTimeouts)

namespace wincommon {
AK_SYSTEM_FUNCTIONS(WinHttpFunctions, WinHttp, "winhttp.dll", AK_WINHTTP_FUNCTIONS)
}  // namespace wincommon

#endif
