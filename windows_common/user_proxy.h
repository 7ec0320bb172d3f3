// The proxy a player's browser would use, for every WinHTTP session of our programs.
// WINHTTP_ACCESS_TYPE_DEFAULT_PROXY is the machine's `netsh winhttp` setting, which leaves out the
// user's proxy, configuration script and automatic detection: behind a school's or an office's
// proxy a session opened with it never reaches the outside.
#ifndef WINDOWS_COMMON_USER_PROXY_H
#define WINDOWS_COMMON_USER_PROXY_H

#include <windows.h>
#include <winhttp.h>

#include <optional>
#include <string>

#include "windows_common/wait_interrupt.h"
#include "windows_common/winhttp_functions.h"

namespace wincommon {

// How the user's settings reach a server: straight, or through a proxy that WinHTTP is to use.
struct ProxyChoice {
  bool direct = true;
  std::wstring proxy;  // with !direct: the proxy list for a named-proxy session; empty: WinHTTP's own
  std::wstring bypass;
};

// The proxy the user has set for the browser (a fixed one, a configuration script or automatic
// detection) for url, else the machine's WinHTTP setting. The settings are read at every call; what
// detection or a script finds (seconds of DHCP and DNS queries) is kept per server, for the run,
// until the settings or the network change. The search runs on a session that asks for
// discoveryAgent. Nothing when interrupt (which may be null) stopped the wait.
std::optional<ProxyChoice> UserProxyFor(const WinHttpFunctions& winhttp, const std::wstring& url,
                                        const wchar_t* discoveryAgent, WaitInterrupt* interrupt);

// A session that reaches servers as choice says (a named proxy in a session of its own, since the
// per-request proxy option is not honoured everywhere), asking for current TLS versions.
HINTERNET OpenSessionFor(const wchar_t* userAgent, const ProxyChoice& choice, DWORD flags);

// A session for requests to url that goes the way the user's browser does: WinHTTP's automatic
// proxy where the system has it (proxy_road.h, decided once per run), else the choice of
// UserProxyFor, whose first search for a server is waited for up to five seconds. Null when no
// session can be opened.
HINTERNET OpenUserProxySession(const wchar_t* userAgent, const std::wstring& url, DWORD flags);

}  // namespace wincommon

#endif
