// Feeds arbitrary bytes to the download service's request reader, the way a hostile local program
// or a web page's requests would arrive: every request found is read as the API reads it (the
// guard, the query), until the reader wants more bytes or refuses the stream.
#include <stdint.h>

#include <string>

#include "service/api_guard.h"
#include "web/http_message.h"
#include "web/query.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (int requests = 0; requests < 64 && !bytes.empty(); ++requests) {
    web::HttpRequest request;
    web::ParseResult parsed = web::parseRequest(bytes, request);
    if (parsed.status != web::ParseStatus::Complete) break;
    if (parsed.consumed == 0 || parsed.consumed > bytes.size()) __builtin_trap();
    svc::apiRefusal(request, 9421);
    web::QueryParams params = web::parseQuery(request.rawQuery);
    for (const auto& param : params) {
      if (param.name.size() > request.rawQuery.size()) __builtin_trap();
    }
    bytes.erase(0, parsed.consumed);
  }
  return 0;
}
