#include "service/api_guard.h"
#include "service/web_plumbing.h"

#include <charconv>

namespace svc {

bool isOwnAuthority(std::string_view authority, uint16_t servicePort) {
  std::string_view host = authority;
  const size_t colon = authority.rfind(':');
  if (colon != std::string_view::npos) {
    host = authority.substr(0, colon);
    const std::string_view portText = authority.substr(colon + 1);
    unsigned port = 0;
    const auto [end, error] = std::from_chars(portText.data(), portText.data() + portText.size(), port);
    if (portText.empty() || error != std::errc() || end != portText.data() + portText.size() || port != servicePort) {
      return false;
    }
  }
  return host == "127.0.0.1" || equalsIgnoringCase(host, "localhost");
}

std::optional<std::string> apiRefusal(const HttpRequest& request, uint16_t servicePort) {
  int hosts = 0;
  for (const Header& header : request.headers) {
    if (equalsIgnoringCase(header.name, "Origin") || equalsIgnoringCase(header.name, "Referer") ||
        (header.name.size() > 10 && equalsIgnoringCase(header.name.substr(0, 10), "Sec-Fetch-"))) {
      return "Requests from web pages are not accepted.";
    }
    if (equalsIgnoringCase(header.name, "Host")) {
      ++hosts;
      if (!isOwnAuthority(header.value, servicePort)) return "Host not accepted.";
    }
  }
  if (hosts > 1) return "Host not accepted.";
  std::string_view target = request.target;
  if (target.size() >= 7 && equalsIgnoringCase(target.substr(0, 7), "http://")) {
    std::string_view authority = target.substr(7);
    authority = authority.substr(0, authority.find_first_of("/?"));
    if (!isOwnAuthority(authority, servicePort)) return "Host not accepted.";
  }
  return std::nullopt;
}

}  // namespace svc
