// The kernel's table of IPv4 TCP connections (/proc/net/tcp) with the account that owns each end.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "local_peer/local_peer.h"

namespace localpeer {
namespace {

// "0100007F:2ECD": the address as the kernel stores it (network order, printed as a host-order
// number) and the port in hex.
bool parseEnd(const std::string& text, uint32_t* address, uint16_t* port) {
  const size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  try {
    *address = static_cast<uint32_t>(std::stoul(text.substr(0, colon), nullptr, 16));
    *port = static_cast<uint16_t>(std::stoul(text.substr(colon + 1), nullptr, 16));
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

std::vector<ConnectionEnd> loopbackConnections() {
  std::vector<ConnectionEnd> table;
  std::ifstream in("/proc/net/tcp");
  std::string line;
  std::getline(in, line);  // the heading
  const uint32_t loopback = htonl(INADDR_LOOPBACK);
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string slot, local, remote, queues, timer, retransmits;
    unsigned state = 0;
    uint32_t uid = 0;
    if (!(fields >> slot >> local >> remote >> std::hex >> state >> std::dec >> queues >> timer >> retransmits >> uid)) {
      continue;
    }
    ConnectionEnd end;
    uint32_t localAddress = 0;
    uint32_t remoteAddress = 0;
    if (!parseEnd(local, &localAddress, &end.localPort) || !parseEnd(remote, &remoteAddress, &end.remotePort)) continue;
    // The kernel prints the address's bytes as they lie in memory, read as a host-order number.
    end.state = StateOfProcNetTcp(state);
    const bool listening = end.state == EndState::Listening;
    // A socket listening on every address listens on 127.0.0.1 too.
    const bool onLoopback = localAddress == loopback || (listening && localAddress == INADDR_ANY);
    if (!onLoopback || (!listening && remoteAddress != loopback)) continue;
    if (listening) end.remotePort = 0;
    end.owner = uid;  // the kernel always names the account
    table.push_back(end);
  }
  return table;
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
  socklen_t mineLength = sizeof mine;
  socklen_t theirsLength = sizeof theirs;
  uint16_t myPort = 0;
  uint16_t peerPort = 0;
  const int native = static_cast<int>(socket);
  if (getsockname(native, reinterpret_cast<sockaddr*>(&mine), &mineLength) != 0 ||
      getpeername(native, reinterpret_cast<sockaddr*>(&theirs), &theirsLength) != 0 || !loopbackPort(mine, &myPort) ||
      !loopbackPort(theirs, &peerPort)) {
    return PeerVerdict::Unidentified;
  }
  const uint32_t me = geteuid();
  return JudgePeer(loopbackConnections(), myPort, peerPort,
                   [me](uint32_t uid) { return uid == me ? Account::Same : Account::Other; });
}

bool SystemNamesEveryOwner() { return true; }

}  // namespace localpeer
