#include "local_peer/local_peer.h"

namespace localpeer {

namespace {

const ConnectionEnd* find(const std::vector<ConnectionEnd>& table, uint16_t localPort, uint16_t remotePort,
                          bool listening) {
  for (const ConnectionEnd& end : table) {
    if (end.listening == listening && end.localPort == localPort && (listening || end.remotePort == remotePort)) {
      return &end;
    }
  }
  return nullptr;
}

}  // namespace

PeerVerdict JudgePeer(const std::vector<ConnectionEnd>& table, uint16_t myPort, uint16_t peerPort,
                      const std::function<Account(uint32_t owner)>& accountOf) {
  const ConnectionEnd* theirs = find(table, peerPort, myPort, false);
  if (theirs == nullptr) return PeerVerdict::Unidentified;
  std::optional<uint32_t> owner = theirs->owner;
  if (!owner) {
    const ConnectionEnd* listener = find(table, peerPort, 0, true);
    if (listener != nullptr) owner = listener->owner;
  }
  if (!owner) return PeerVerdict::OwnersNotKnown;
  switch (accountOf(*owner)) {
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
