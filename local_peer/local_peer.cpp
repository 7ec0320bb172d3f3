#include "local_peer/local_peer.h"

namespace localpeer {

namespace {

const ConnectionEnd* find(const std::vector<ConnectionEnd>& table, uint16_t localPort, uint16_t remotePort) {
  for (const ConnectionEnd& end : table) {
    if (end.localPort == localPort && end.remotePort == remotePort) return &end;
  }
  return nullptr;
}

}  // namespace

PeerVerdict JudgePeer(const std::vector<ConnectionEnd>& table, uint16_t myPort, uint16_t peerPort, uint32_t myOwner,
                      const std::function<Account(uint32_t owner)>& accountOf) {
  const ConnectionEnd* mine = find(table, myPort, peerPort);
  if (mine == nullptr) return PeerVerdict::Unidentified;
  // A system that names owners names this end's too; one that does not says so here.
  if (mine->owner != myOwner) return PeerVerdict::OwnersNotKnown;
  const ConnectionEnd* theirs = find(table, peerPort, myPort);
  if (theirs == nullptr) return PeerVerdict::Unidentified;
  switch (accountOf(theirs->owner)) {
    case Account::Same:
      return PeerVerdict::SameUser;
    case Account::Other:
      return PeerVerdict::OtherUser;
    case Account::Unknown:
      break;
  }
  return PeerVerdict::Unidentified;
}

}  // namespace localpeer
