#include "windows_common/user_proxy.h"

#include <stdint.h>

#include <mutex>

#include "windows_common/discovery_cache.h"
#include "windows_common/iphlpapi_functions.h"
#include "windows_common/proxy_road.h"
#include "windows_common/wait_deadline.h"
#include "windows_common/winhttp_session.h"

namespace wincommon {
namespace {

// Automatic detection takes a few seconds of DHCP and DNS queries where it finds nothing.
constexpr std::chrono::milliseconds kLongestProxySearchWait{5000};

std::wstring takeGlobal(LPWSTR text) {
  std::wstring kept = text != nullptr ? text : L"";
  if (text != nullptr) GlobalFree(text);
  return kept;
}

// What automatic detection or a configuration script found for a URL.
struct Discovered {
  bool found = false;  // false: neither gave an answer, and the fixed setting (if any) applies
  ProxyChoice choice;
};

// Detection asks DHCP and DNS for a configuration script and runs it: seconds, on a session of its
// own, which asks for current TLS versions like every other (a script may be served over https).
Discovered discover(const WinHttpFunctions& winhttp, const std::wstring& url, const std::wstring& agent,
                    bool autoDetect, const std::wstring& script) {
  Discovered discovered;
  HINTERNET session =
      OpenWinHttpSession(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (session == nullptr) return discovered;
  WINHTTP_AUTOPROXY_OPTIONS automatic = {};
  if (!script.empty()) {
    automatic.dwFlags |= WINHTTP_AUTOPROXY_CONFIG_URL;
    automatic.lpszAutoConfigUrl = script.c_str();
  }
  if (autoDetect) {
    automatic.dwFlags |= WINHTTP_AUTOPROXY_AUTO_DETECT;
    automatic.dwAutoDetectFlags = WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
  }
  automatic.fAutoLogonIfChallenged = TRUE;
  WINHTTP_PROXY_INFO found = {};
  if (winhttp.WinHttpGetProxyForUrl(session, url.c_str(), &automatic, &found)) {
    discovered.found = true;
    std::wstring proxy = takeGlobal(found.lpszProxy);
    std::wstring bypass = takeGlobal(found.lpszProxyBypass);
    if (found.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxy.empty()) {
      discovered.choice = ProxyChoice{false, proxy, bypass};
    }
  }
  winhttp.WinHttpCloseHandle(session);
  return discovered;
}

// Counts the changes of the machine's network addresses (a new network, a VPN, a wake from sleep):
// a proxy found before may not hold after one.
uint64_t networkGeneration() {
  static std::mutex mutex;
  static OVERLAPPED watch = {};
  static uint64_t generation = 0;
  // Without IP Helper no change is seen: what was found stays until the user's settings change.
  const IpHelperFunctions* ipHelper = IpHelper();
  if (ipHelper == nullptr) return generation;
  std::lock_guard<std::mutex> lock(mutex);
  HANDLE ignored = nullptr;
  if (watch.hEvent == nullptr) {
    watch.hEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (watch.hEvent != nullptr) ipHelper->NotifyAddrChange(&ignored, &watch);
  } else if (WaitForSingleObject(watch.hEvent, 0) == WAIT_OBJECT_0) {
    ++generation;
    ipHelper->NotifyAddrChange(&ignored, &watch);
  }
  return generation;
}

DiscoveryCache<Discovered, std::wstring>& discoveries() {
  static DiscoveryCache<Discovered, std::wstring> cache;
  return cache;
}

// "https://host:port" of url, so that every request to one server shares one search; the URL itself
// when it cannot be read.
std::wstring serverOf(const WinHttpFunctions& winhttp, const std::wstring& url) {
  URL_COMPONENTS parts = {};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  if (url.empty() || !winhttp.WinHttpCrackUrl(url.c_str(), 0, 0, &parts)) return url;
  return std::wstring(parts.lpszScheme, parts.dwSchemeLength) + L"://" +
         std::wstring(parts.lpszHostName, parts.dwHostNameLength) + L":" + std::to_wstring(parts.nPort);
}

// The version the system really runs: RtlGetVersion answers whatever the program's manifest
// declares. ntdll is in every process from its start.
ProxyRoad roadOfThisSystem() {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto getVersion = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (getVersion == nullptr || getVersion(&version) != 0) return ProxyRoad::UserSettings;
  return ProxyRoadFor(version.dwMajorVersion, version.dwMinorVersion);
}

}  // namespace

std::optional<ProxyChoice> UserProxyFor(const WinHttpFunctions& winhttp, const std::wstring& url,
                                        const wchar_t* discoveryAgent, WaitInterrupt* interrupt) {
  ProxyChoice choice;
  WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user = {};
  if (winhttp.WinHttpGetIEProxyConfigForCurrentUser(&user)) {
    std::wstring script = takeGlobal(user.lpszAutoConfigUrl);
    std::wstring fixed = takeGlobal(user.lpszProxy);
    std::wstring fixedBypass = takeGlobal(user.lpszProxyBypass);
    if (user.fAutoDetect || !script.empty()) {
      const bool autoDetect = user.fAutoDetect != FALSE;
      const std::wstring key = std::wstring(autoDetect ? L"detect " : L"") + script + L" " + serverOf(winhttp, url);
      std::optional<Discovered> discovered = discoveries().Get(
          key, networkGeneration(),
          [table = &winhttp, url, agent = std::wstring(discoveryAgent), autoDetect, script] {
            return discover(*table, url, agent, autoDetect, script);
          },
          interrupt);
      if (!discovered) return std::nullopt;
      if (discovered->found) return discovered->choice;
    }
    if (!fixed.empty()) return ProxyChoice{false, fixed, fixedBypass};
    if (user.fAutoDetect || !script.empty()) return choice;
  }
  WINHTTP_PROXY_INFO machine = {};
  if (winhttp.WinHttpGetDefaultProxyConfiguration(&machine)) {
    std::wstring proxy = takeGlobal(machine.lpszProxy);
    takeGlobal(machine.lpszProxyBypass);
    if (machine.dwAccessType == WINHTTP_ACCESS_TYPE_NAMED_PROXY && !proxy.empty()) choice.direct = false;
  }
  return choice;
}

HINTERNET OpenSessionFor(const wchar_t* userAgent, const ProxyChoice& choice, DWORD flags) {
  if (!choice.direct && !choice.proxy.empty()) {
    return OpenWinHttpSession(userAgent, WINHTTP_ACCESS_TYPE_NAMED_PROXY, choice.proxy.c_str(),
                              choice.bypass.empty() ? WINHTTP_NO_PROXY_BYPASS : choice.bypass.c_str(), flags);
  }
  return OpenWinHttpSession(userAgent, WINHTTP_ACCESS_TYPE_DEFAULT_PROXY, WINHTTP_NO_PROXY_NAME,
                            WINHTTP_NO_PROXY_BYPASS, flags);
}

HINTERNET OpenUserProxySession(const wchar_t* userAgent, const std::wstring& url, DWORD flags) {
  static const ProxyRoad road = roadOfThisSystem();
  const WinHttpFunctions* winhttp = WinHttp();
  if (winhttp == nullptr) return nullptr;
  if (road == ProxyRoad::Automatic) {
    HINTERNET session = OpenWinHttpSession(userAgent, WINHTTP_ACCESS_TYPE_AUTOMATIC_PROXY, WINHTTP_NO_PROXY_NAME,
                                           WINHTTP_NO_PROXY_BYPASS, flags);
    if (session != nullptr) return session;
  }
  // A search that takes longer goes on, and its answer is kept for the next request (a retry); this
  // one goes the machine's way meanwhile.
  WaitDeadline deadline(kLongestProxySearchWait);
  std::optional<ProxyChoice> choice = UserProxyFor(*winhttp, url, userAgent, &deadline);
  return OpenSessionFor(userAgent, choice ? *choice : ProxyChoice(), flags);
}

}  // namespace wincommon
