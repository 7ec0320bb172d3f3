#include "windows_common/winhttp_session.h"

#include "windows_common/secure_protocols.h"
#include "windows_common/winhttp_functions.h"

namespace wincommon {

HINTERNET OpenWinHttpSession(const wchar_t* userAgent, DWORD accessType, const wchar_t* proxy, const wchar_t* bypass,
                             DWORD flags, uint32_t* protocols) {
  uint32_t accepted = 0;
  const WinHttpFunctions* winhttp = WinHttp();
  HINTERNET session = winhttp != nullptr ? winhttp->WinHttpOpen(userAgent, accessType, proxy, bypass, flags) : nullptr;
  if (session != nullptr) {
    accepted = ApplySecureProtocols([winhttp, session](uint32_t wanted) {
      DWORD value = wanted;
      return winhttp->WinHttpSetOption(session, WINHTTP_OPTION_SECURE_PROTOCOLS, &value, sizeof value) != FALSE;
    });
  }
  if (protocols != nullptr) *protocols = accepted;
  return session;
}

}  // namespace wincommon
