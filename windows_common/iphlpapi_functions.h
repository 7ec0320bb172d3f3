// IP Helper, taken on first use from the system folder (system_functions.h).
#ifndef WINDOWS_COMMON_IPHLPAPI_FUNCTIONS_H
#define WINDOWS_COMMON_IPHLPAPI_FUNCTIONS_H

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "windows_common/system_functions.h"

#define AK_IPHLPAPI_FUNCTIONS(X) X(GetAdaptersInfo) X(GetExtendedTcpTable) X(NotifyAddrChange)

namespace wincommon {
AK_SYSTEM_FUNCTIONS(IpHelperFunctions, IpHelper, "iphlpapi.dll", AK_IPHLPAPI_FUNCTIONS)
}  // namespace wincommon

#endif
