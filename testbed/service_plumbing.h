// The testbed's servers stand on the download service's HTTP plumbing (sockets, messages, the
// server loop, query strings, JSON, the request log), whose names the testbed uses as its own.
#ifndef TESTBED_SERVICE_PLUMBING_H
#define TESTBED_SERVICE_PLUMBING_H

namespace svc {}

namespace testbed {
using namespace ::svc;
}  // namespace testbed

#endif
