// How a WinHTTP session finds the user's proxy, by the version of Windows. From Windows 8.1
// (version 6.3) on, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY makes WinHTTP itself use the user's
// settings, configuration script and automatic detection, with failover between proxies and a
// configuration per network interface, and without the caller waiting for the search. Earlier
// systems reject or ignore it: there the user's settings are read and a script or detection is run
// through WinHttpGetProxyForUrl (user_proxy.h). Portable, so that the choice is tested natively.
#ifndef WINDOWS_COMMON_PROXY_ROAD_H
#define WINDOWS_COMMON_PROXY_ROAD_H

namespace wincommon {

enum class ProxyRoad { Automatic, UserSettings };

// The version is the one the system really runs (RtlGetVersion), not the one it tells programs.
inline ProxyRoad ProxyRoadFor(unsigned long major, unsigned long minor) {
  return major > 6 || (major == 6 && minor >= 3) ? ProxyRoad::Automatic : ProxyRoad::UserSettings;
}

}  // namespace wincommon

#endif
