// One GET to an origin through the platform's HTTP stack: plain sockets (http:// only) where the
// service is built for tests, WinHTTP on Windows (http and https, redirects, the user's proxy).
// What the answer means for the file on disk is decided by the portable fetch (downloader.h).
#ifndef SERVICE_ORIGIN_CONNECTION_H
#define SERVICE_ORIGIN_CONNECTION_H

#include <stddef.h>
#include <stdint.h>

#include <memory>
#include <string>

#include "service/downloader.h"
#include "service/web_plumbing.h"
#include "web/http_message.h"

namespace svc {

struct OriginRequest {
  std::string url;
  int64_t resumeFrom = 0;  // above 0: "Range: bytes=N-"
  int64_t rangeEnd = -1;   // above resumeFrom: "Range: bytes=N-(rangeEnd - 1)"
  std::string ifRange;     // with a range: the validator of the version on disk, when known
};

// The value of the request's Range header; empty when it asks for the whole file.
std::string rangeHeaderValue(const OriginRequest& request);

enum class OriginRead { Data, End, Stopped, Lost };

class OriginExchange {
 public:
  virtual ~OriginExchange() = default;
  // The next piece of the body (already free of any transfer coding).
  virtual OriginRead readSome(char* buffer, size_t size, size_t* count) = 0;
};

struct OriginOpened {
  std::unique_ptr<OriginExchange> exchange;  // empty on failure
  HttpResponseHead head;                     // the final answer's head, after any redirects
  FetchResult failure = FetchResult::ConnectFailed;
  std::string detail;
};

// Sends the request and reads the answer's head (a redirect is answered like any other status).
// The exchange keeps references to hooks and settings: they must outlive it.
OriginOpened openOrigin(const OriginRequest& request, const FetchHooks& hooks, const FetchSettings& settings);
// The same over plain sockets: http:// only, no proxy. What openOrigin uses wherever the
// platform's HTTP stack has nothing to add.
OriginOpened openOriginOverSockets(const OriginRequest& request, const FetchHooks& hooks,
                                   const FetchSettings& settings);

}  // namespace svc

#endif
