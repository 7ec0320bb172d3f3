// Every WinHTTP session of our programs (the downloader's publisher and analytics requests, the
// service's origin fetches) is opened here, so that each one asks for current TLS versions.
#ifndef WINDOWS_COMMON_WINHTTP_SESSION_H
#define WINDOWS_COMMON_WINHTTP_SESSION_H

#include <windows.h>
#include <winhttp.h>

#include <stdint.h>

namespace wincommon {

// WinHttpOpen with the same arguments, then the secure protocols of secure_protocols.h; null when
// WinHttpOpen fails or WinHTTP cannot be had (winhttp_functions.h). protocols (when given) receives the set the system accepted, 0 for none.
HINTERNET OpenWinHttpSession(const wchar_t* userAgent, DWORD accessType, const wchar_t* proxy, const wchar_t* bypass,
                             DWORD flags, uint32_t* protocols = nullptr);

}  // namespace wincommon

#endif
