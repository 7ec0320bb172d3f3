// Feeds arbitrary bytes to the HTTP answer reader as the peer's side of a socket pair, the way
// a misbehaving or hostile service would send them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

#include "service_client/transport.h"

namespace {
// Larger inputs would not fit the socket buffer without a writer thread.
constexpr size_t kMaxInput = 65536;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kMaxInput) return 0;
  int pair[2];
  if (socketpair(AF_UNIX, SOCK_STREAM, 0, pair) != 0) abort();
  int bufferSize = static_cast<int>(kMaxInput * 2);
  setsockopt(pair[1], SOL_SOCKET, SO_SNDBUF, &bufferSize, sizeof bufferSize);
  size_t written = 0;
  while (written < size) {
    ssize_t n = send(pair[1], data + written, size - written, MSG_NOSIGNAL);
    if (n <= 0) abort();
    written += static_cast<size_t>(n);
  }
  shutdown(pair[1], SHUT_WR);

  char* header = nullptr;
  char* body = nullptr;
  size_t length = 0;
  if (_ak_httpExchange("api?function=ping", "localhost", "Fuzzer", pair[0], &header, &body, &length)) {
    // The reader promises a terminated header and a terminated body of the stated length.
    if (header == nullptr) abort();
    if (body != nullptr && body[length] != '\0') abort();
    if (body != nullptr && length > kMaxAnswerBody) abort();
  } else if (header != nullptr || body != nullptr) {
    abort();
  }
  free(header);
  free(body);
  close(pair[0]);
  close(pair[1]);
  return 0;
}
