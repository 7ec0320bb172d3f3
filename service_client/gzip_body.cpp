#include "service_client/gzip_body.h"

#include <stdlib.h>
#include <string.h>
#include <zlib.h>

#include "service_client/client_errors.h"
#include "service_client/memory_and_format.h"

namespace {

constexpr size_t kOutputStep = 131072;
constexpr int kGzipOnlyWindowBits = 31;

// Moves the first `used` bytes into a buffer of newSize bytes; null when memory runs out.
char* resized(char* old, size_t used, size_t newSize) {
  char* bigger = static_cast<char*>(_ak_alloc(newSize));
  if (bigger != nullptr && used > 0) memcpy(bigger, old, used);
  free(old);
  return bigger;
}

}  // namespace

void _ak_gunzip(char** body, size_t* length) {
  if (body == nullptr || length == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return;
  }
  char* compressed = *body;
  size_t compressedLength = *length;
  *body = nullptr;
  *length = 0;
  if (compressed == nullptr || compressedLength <= 10) {
    free(compressed);
    _ak_setLastError(ClientError::InvalidArgument);
    return;
  }

  z_stream stream;
  memset(&stream, 0, sizeof stream);
  if (inflateInit2(&stream, kGzipOnlyWindowBits) != Z_OK) {
    free(compressed);
    return;
  }
  stream.next_in = reinterpret_cast<Bytef*>(compressed);
  stream.avail_in = static_cast<uInt>(compressedLength);
  size_t capacity = kOutputStep;
  char* output = static_cast<char*>(_ak_alloc(capacity));
  size_t produced = 0;
  bool finished = false;
  while (output != nullptr) {
    stream.next_out = reinterpret_cast<Bytef*>(output + produced);
    stream.avail_out = static_cast<uInt>(capacity - produced);
    int status = inflate(&stream, Z_NO_FLUSH);
    produced = capacity - stream.avail_out;
    if (status == Z_STREAM_END) {
      finished = true;
      break;
    }
    // Anything but progress with a full output buffer is a corrupt or truncated stream.
    if ((status != Z_OK && status != Z_BUF_ERROR) || stream.avail_out != 0) break;
    if (capacity >= kMaxInflatedBody) {
      _ak_setLastError(ClientError::InsufficientMemory);
      break;
    }
    // Doubling (in whole output steps) keeps the copying linear in the body's size.
    size_t larger = capacity * 2 < kMaxInflatedBody ? capacity * 2 : kMaxInflatedBody;
    output = resized(output, produced, larger);
    capacity = larger;
  }
  inflateEnd(&stream);
  free(compressed);

  if (finished) output = resized(output, produced, produced + 1);
  if (!finished || output == nullptr) {
    free(output);
    return;
  }
  output[produced] = '\0';
  *body = output;
  *length = produced;
}
