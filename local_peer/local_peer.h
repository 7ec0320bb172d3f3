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

// Where a row of the system's table stands. Only an established connection is a peer's end:
// Windows names no owner of a connection that is opening or closing (TIME_WAIT, FIN_WAIT...), and a
// program that sent its request and closed at once must not pass for want of an owner.
enum class EndState { Listening, Established, OpeningOrClosing };

// The state of a row of Linux's /proc/net/tcp (its "st" field) and of Windows's TCP table
// (MIB_TCP_STATE).
EndState StateOfProcNetTcp(unsigned state);
EndState StateOfMibTcp(unsigned long state);

// One end of a connection in the system's table, or a listening socket: its local and remote
// ports on 127.0.0.1, and its owner (a process id on Windows, a user id on Linux) when the system
// names one.
struct ConnectionEnd {
  uint16_t localPort = 0;
  uint16_t remotePort = 0;  // 0 for a listening socket
  EndState state = EndState::Established;
  std::optional<uint32_t> owner;
};

enum class Account { Same, Other, Unknown };

// The account of a process, from its token: this user's only at medium integrity or above. A
// sandboxed program of the same user (a browser's renderer, an AppContainer app: low or untrusted
// integrity) is kept away from what the user's own programs may do; an integrity that cannot be
// read is Unknown.
Account AccountOfToken(bool sameUser, std::optional<uint32_t> integrityLevel);

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

// Whether a peer so judged may be talked to. Windows names the owner of every established
// connection (and of every listening socket) and Linux the account of each: there an end without a
// named owner is refused. Wine names the owners of its own programs only, and where the system
// names none there is nothing to refuse by.
bool PeerAllowedWhere(PeerVerdict verdict, bool systemNamesEveryOwner);

// Whether this system names the owner of every established connection (Windows, Linux; not Wine).
bool SystemNamesEveryOwner();

inline bool PeerAllowed(PeerVerdict verdict) { return PeerAllowedWhere(verdict, SystemNamesEveryOwner()); }

// The same, asked of this system for the connected socket (Winsock's SOCKET or a descriptor).
PeerVerdict JudgeConnectedPeer(intptr_t socket);

}  // namespace localpeer

#endif
