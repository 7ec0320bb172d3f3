// Who is on the other end of a loopback TCP connection. 127.0.0.1 is shared by every account of the
// machine (fast user switching, terminal servers), so the download service answers only programs
// of its own user, and the client library talks only to a service of its own user. The system's
// table of TCP connections names the owner of each end (a process on Windows, an account on
// Linux); the decision made from it is here, portable, so that it is tested with any table.
#ifndef LOCAL_PEER_LOCAL_PEER_H
#define LOCAL_PEER_LOCAL_PEER_H

#include <stdint.h>

#include <functional>
#include <optional>
#include <vector>

namespace localpeer {

// One end of a connection in the system's table, or a listening socket: its local and remote
// ports on 127.0.0.1, and its owner (a process id on Windows, a user id on Linux) when the system
// names one.
struct ConnectionEnd {
  uint16_t localPort = 0;
  uint16_t remotePort = 0;  // 0 for a listening socket
  bool listening = false;
  std::optional<uint32_t> owner;
};

enum class Account { Same, Other, Unknown };

enum class PeerVerdict {
  SameUser,        // the other end belongs to this user
  OtherUser,       // it belongs to another account
  Unidentified,    // it is not in the table, or its owner cannot be asked (gone, or not ours to ask)
  OwnersNotKnown,  // the system names no owner of that end, nor of the socket that listens for it
};

// Judges the other end of this process's loopback connection from myPort to peerPort: by its
// owner, or, while a server has not taken it from its backlog yet, by the owner of the socket
// that listens on its port. accountOf tells whether an owner is this user.
PeerVerdict JudgePeer(const std::vector<ConnectionEnd>& table, uint16_t myPort, uint16_t peerPort,
                      const std::function<Account(uint32_t owner)>& accountOf);

// Whether a peer so judged may be talked to. Windows names the owner of every connection (and of
// every listening socket) and Linux the account of each; Wine names few, and where the system names
// none there is nothing to refuse by.
inline bool PeerAllowed(PeerVerdict verdict) {
  return verdict == PeerVerdict::SameUser || verdict == PeerVerdict::OwnersNotKnown;
}

// The same, asked of this system for the connected socket (Winsock's SOCKET or a descriptor).
PeerVerdict JudgeConnectedPeer(intptr_t socket);

}  // namespace localpeer

#endif
