// Which port of 127.0.0.1 the service listens on. Ports belong to the machine, not to an account:
// with fast user switching, or a program started as an administrator with another account's
// password, two accounts' services run at once, and the second cannot have the port the first
// holds. Each takes the first port of a small fixed range that no other account holds, and records
// it where its own user's client library looks first. Which account a listener belongs to does
// not matter here (Wine, for one, names no owner at all): any listener keeps its port.
#ifndef SERVICE_PORT_CHOICE_H
#define SERVICE_PORT_CHOICE_H

#include <stdint.h>

#include <optional>
#include <string_view>

namespace svc {

struct PortRange {
  uint16_t first;
  uint16_t last;
};

// 9421 on a machine with one account; the ports after it for the accounts that come later.
constexpr PortRange kServicePorts{9421, 9436};
// The file of the client library's data folder that holds the port, as decimal digits and a newline.
constexpr char kPortRecordName[] = "serviceport.txt";

// The port a record holds: decimal digits, a line end allowed after them, within the range. Anything
// else (a torn or foreign file) is no record.
std::optional<uint16_t> ParsePortRecord(std::string_view text);

// Whether a program listens on 127.0.0.1:port. The service asks while it holds its user's
// single-instance mutex, and its last instance closed its listener before letting go of that: a
// listener found then is another account's service, or another program, and stays for as long as
// it runs, so the service takes the next port. A port nobody listens on that still cannot be bound
// is held by connections of the last listener that are still ending, which let go within seconds.
bool SomebodyListensOn(uint16_t port);

}  // namespace svc

#endif
