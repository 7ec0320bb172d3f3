// Which TLS versions a WinHTTP session asks for. Windows 7's WinHTTP offers TLS 1.2 only when a
// session asks for it, and servers increasingly accept nothing older; TLS 1.3 is asked for too
// where the system knows it. A system that refuses a set (one that predates a flag) is asked for
// the next, and one that refuses every set keeps its own defaults.
#ifndef WINDOWS_COMMON_SECURE_PROTOCOLS_H
#define WINDOWS_COMMON_SECURE_PROTOCOLS_H

#include <stdint.h>

#include <initializer_list>

namespace wincommon {

// WinHTTP's flag values (WINHTTP_FLAG_SECURE_PROTOCOL_*), which older headers lack.
constexpr uint32_t kTls12 = 0x00000800;
constexpr uint32_t kTls13 = 0x00002000;

// Offers the sets, best first, to trySet until it accepts one; returns that set, or 0.
template <typename TrySet>
uint32_t ApplySecureProtocols(TrySet trySet) {
  for (uint32_t protocols : {kTls12 | kTls13, kTls12}) {
    if (trySet(protocols)) return protocols;
  }
  return 0;
}

}  // namespace wincommon

#endif
