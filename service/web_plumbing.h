// The service stands on the shared HTTP plumbing (sockets, messages, the server loop, query
// strings, JSON, the request log), whose names it uses as its own.
#ifndef SERVICE_WEB_PLUMBING_H
#define SERVICE_WEB_PLUMBING_H

namespace web {}

namespace svc {
using namespace ::web;
}  // namespace svc

#endif
