// Feeds arbitrary bytes to game-server's request reader, as a connection's stream would arrive:
// each request read with the server's body limit, its client taken as behind a proxy and not,
// and its target, query and body read by whichever reader its path leads to.
#include <stdint.h>

#include <string>

#include "publisher/player_event.h"
#include "publisher/stats_form.h"
#include "web/http_message.h"

namespace {

constexpr size_t kBodyLimit = 4096;

// The client as game-server takes it, without the rest of the server: the last entry of the
// last X-Forwarded-For line.
void readClient(const web::HttpRequest& request) {
  const std::string* last = nullptr;
  size_t lengths = 0;
  for (const web::Header& header : request.headers) {
    if (web::equalsIgnoringCase(header.name, "X-Forwarded-For")) last = &header.value;
    if (web::equalsIgnoringCase(header.name, "Content-Length")) ++lengths;
  }
  if (lengths > 1) __builtin_trap();  // the reader refuses two lengths
  if (last != nullptr) {
    const size_t comma = last->rfind(',');
    const std::string_view entry = web::trim(std::string_view(*last).substr(comma == std::string::npos ? 0 : comma + 1));
    if (entry.size() > last->size()) __builtin_trap();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string bytes(reinterpret_cast<const char*>(data), size);
  for (int requests = 0; requests < 64 && !bytes.empty(); ++requests) {
    web::HttpRequest request;
    const web::ParseResult parsed = web::parseRequest(bytes, request, kBodyLimit);
    if (parsed.status != web::ParseStatus::Complete) break;
    if (parsed.consumed == 0 || parsed.consumed > bytes.size() || request.body.size() > kBodyLimit) __builtin_trap();
    readClient(request);
    std::string why;
    if (request.path.rfind("/track", 0) == 0) publisher::readPlayerEvent(request.rawQuery, &why);
    if (request.method == "POST") publisher::readStatsForm(request.body, &why);
    bytes.erase(0, parsed.consumed);
  }
  return 0;
}
