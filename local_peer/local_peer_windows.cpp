// The table of TCP connections with their owning processes (IP Helper), and the account of a
// process from its token.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <memory>
#include <vector>

#include "local_peer/local_peer.h"
#include "windows_common/iphlpapi_functions.h"
#include "windows_common/token_user.h"

namespace localpeer {
namespace {

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The connections between two ends on 127.0.0.1 and the sockets listening on it, with the process
// owning each (Windows never names process 0 as an owner of a live socket: that means none named).
std::vector<ConnectionEnd> loopbackConnections() {
  std::vector<ConnectionEnd> table;
  // Without IP Helper no connection has a known owner, and every peer is refused.
  const wincommon::IpHelperFunctions* ipHelper = wincommon::IpHelper();
  if (ipHelper == nullptr) return table;
  std::vector<char> buffer(16384);
  DWORD result = ERROR_INSUFFICIENT_BUFFER;
  for (int attempt = 0; attempt < 4 && result == ERROR_INSUFFICIENT_BUFFER; ++attempt) {
    DWORD size = static_cast<DWORD>(buffer.size());
    result = ipHelper->GetExtendedTcpTable(buffer.data(), &size, FALSE, AF_INET, TCP_TABLE_OWNER_PID_ALL, 0);
    // The table may grow between the two calls: leave room.
    if (result == ERROR_INSUFFICIENT_BUFFER) buffer.resize(size + 16384);
  }
  if (result != NO_ERROR) return table;
  const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
  const DWORD loopback = htonl(INADDR_LOOPBACK);
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    const MIB_TCPROW_OWNER_PID& row = rows->table[i];
    const EndState state = StateOfMibTcp(row.dwState);
    const bool listening = state == EndState::Listening;
    // A socket listening on every address listens on 127.0.0.1 too.
    const bool onLoopback = row.dwLocalAddr == loopback || (listening && row.dwLocalAddr == INADDR_ANY);
    if (!onLoopback || (!listening && row.dwRemoteAddr != loopback)) continue;
    ConnectionEnd end;
    // The ports are in network order in the low 16 bits.
    end.localPort = ntohs(static_cast<u_short>(row.dwLocalPort));
    end.remotePort = listening ? 0 : ntohs(static_cast<u_short>(row.dwRemotePort));
    end.state = state;
    if (row.dwOwningPid != 0) end.owner = row.dwOwningPid;
    table.push_back(end);
  }
  return table;
}

// Another account's process usually cannot even be opened: that is Unknown, and refused.
Account accountOfProcess(uint32_t pid) {
  if (pid == GetCurrentProcessId()) return Account::Same;
  static const std::vector<BYTE> mine = wincommon::TokenUserSid(GetCurrentProcess());
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process || mine.empty()) return Account::Unknown;
  std::vector<BYTE> theirs = wincommon::TokenUserSid(process.get());
  if (theirs.empty()) return Account::Unknown;
  return AccountOfToken(EqualSid(theirs.data(), const_cast<BYTE*>(mine.data())) != FALSE,
                        wincommon::ProcessIntegrityLevel(process.get()));
}

bool loopbackPort(const sockaddr_in& address, uint16_t* port) {
  if (address.sin_family != AF_INET || address.sin_addr.s_addr != htonl(INADDR_LOOPBACK)) return false;
  *port = ntohs(address.sin_port);
  return true;
}

}  // namespace

PeerVerdict JudgeConnectedPeer(intptr_t socket) {
  sockaddr_in mine{};
  sockaddr_in theirs{};
  int mineLength = sizeof mine;
  int theirsLength = sizeof theirs;
  uint16_t myPort = 0;
  uint16_t peerPort = 0;
  const SOCKET native = static_cast<SOCKET>(socket);
  if (getsockname(native, reinterpret_cast<sockaddr*>(&mine), &mineLength) != 0 ||
      getpeername(native, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0 || !loopbackPort(mine, &myPort) ||
      !loopbackPort(theirs, &peerPort)) {
    return PeerVerdict::Unidentified;
  }
  return JudgePeer(loopbackConnections(), myPort, peerPort, accountOfProcess);
}

bool SystemNamesEveryOwner() {
  // Wine names the owners of its own programs' connections only.
  static const bool underWine =
      GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  return !underWine;
}

}  // namespace localpeer
