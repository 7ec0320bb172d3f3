// The testbed's servers stand on the shared HTTP plumbing (sockets, messages, the server loop,
// query strings, JSON, Base64, the request log) and on the download service's core, whose names
// the testbed uses as its own.
#ifndef TESTBED_WEB_PLUMBING_H
#define TESTBED_WEB_PLUMBING_H

namespace web {}
namespace svc {}

namespace testbed {
using namespace ::web;
using namespace ::svc;
}  // namespace testbed

#endif
