// Which requests the download service's local API refuses before reading them further. Any web
// page in the player's browser can make the browser send requests to 127.0.0.1; the API answers
// only programs on this machine that address it as itself:
//   - a request carrying Origin, Referer or any Sec-Fetch-* header comes from a browser;
//   - a Host (or an absolute request target) naming anything but 127.0.0.1 or localhost, or
//     another port than the service's, is a page that rebound its own name to 127.0.0.1;
//   - more than one Host header is malformed.
// A request without Host (HTTP/1.0 allows that) is accepted: browsers always send one.
#ifndef SERVICE_API_GUARD_H
#define SERVICE_API_GUARD_H

#include <stdint.h>

#include <optional>
#include <string>
#include <string_view>

#include "service/web_plumbing.h"
#include "web/http_message.h"

namespace svc {

// Nothing when the request may be answered; otherwise the reason for the refusal (the service
// answers 403 with it).
std::optional<std::string> apiRefusal(const HttpRequest& request, uint16_t servicePort);

// "127.0.0.1", "localhost" (either case), with no port or servicePort.
bool isOwnAuthority(std::string_view authority, uint16_t servicePort);

}  // namespace svc

#endif
