#include "local_peer/local_peer.h"

namespace localpeer {

namespace {

constexpr uint32_t kMediumIntegrity = 0x2000;  // SECURITY_MANDATORY_MEDIUM_RID

const ConnectionEnd* find(const std::vector<ConnectionEnd>& table, uint16_t localPort, uint16_t remotePort,
                          EndState state) {
  for (const ConnectionEnd& end : table) {
    if (end.state == state && end.localPort == localPort &&
        (state == EndState::Listening || end.remotePort == remotePort)) {
      return &end;
    }
  }
  return nullptr;
}

}  // namespace

// The two tables number their states differently; only these two states matter here.
static EndState stateOf(unsigned long state, unsigned long established, unsigned long listening) {
  if (state == established) return EndState::Established;
  if (state == listening) return EndState::Listening;
  return EndState::OpeningOrClosing;
}

EndState StateOfProcNetTcp(unsigned state) { return stateOf(state, 0x01, 0x0A); }  // TCP_ESTABLISHED, TCP_LISTEN

EndState StateOfMibTcp(unsigned long state) { return stateOf(state, 5, 2); }  // MIB_TCP_STATE_ESTAB, _LISTEN

Account AccountOfToken(bool sameUser, std::optional<uint32_t> integrityLevel) {
  if (!sameUser) return Account::Other;
  if (!integrityLevel) return Account::Unknown;
  return *integrityLevel >= kMediumIntegrity ? Account::Same : Account::Other;
}

bool PeerAllowedWhere(PeerVerdict verdict, bool systemNamesEveryOwner) {
  return verdict == PeerVerdict::SameUser || (verdict == PeerVerdict::OwnersNotKnown && !systemNamesEveryOwner);
}

PeerVerdict JudgePeer(const std::vector<ConnectionEnd>& table, uint16_t myPort, uint16_t peerPort,
                      const std::function<Account(uint32_t owner)>& accountOf) {
  const ConnectionEnd* theirs = find(table, peerPort, myPort, EndState::Established);
  if (theirs == nullptr) return PeerVerdict::Unidentified;
  std::optional<uint32_t> owner = theirs->owner;
  if (!owner) {
    const ConnectionEnd* listener = find(table, peerPort, 0, EndState::Listening);
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
