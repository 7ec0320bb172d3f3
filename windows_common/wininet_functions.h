// WinINet, taken on first use from the system folder (system_functions.h).
#ifndef WINDOWS_COMMON_WININET_FUNCTIONS_H
#define WINDOWS_COMMON_WININET_FUNCTIONS_H

#include <windows.h>
#include <wininet.h>

#include "windows_common/system_functions.h"

#define AK_WININET_FUNCTIONS(X)                                                                     \
  X(HttpQueryInfoA) X(InternetCloseHandle) X(InternetErrorDlg) X(InternetOpenA) X(InternetOpenUrlA) \
  X(InternetReadFile)

namespace wincommon {
AK_SYSTEM_FUNCTIONS(WinInetFunctions, WinInet, "wininet.dll", AK_WININET_FUNCTIONS)
}  // namespace wincommon

#endif
