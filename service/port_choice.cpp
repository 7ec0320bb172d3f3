#include "service/port_choice.h"

#include "service/web_plumbing.h"
#include "web/socket_io.h"

namespace svc {

std::optional<uint16_t> ParsePortRecord(std::string_view text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.remove_suffix(1);
  if (text.empty() || text.size() > 5) return std::nullopt;
  unsigned value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value < kServicePorts.first || value > kServicePorts.last) return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool SomebodyListensOn(uint16_t port) { return connectTo("127.0.0.1", port).valid(); }

}  // namespace svc
