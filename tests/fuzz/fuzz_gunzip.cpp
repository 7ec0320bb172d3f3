// Inflates arbitrary bytes as a gzip installer body: a hostile download server controls them.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "service_client/gzip_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  char* body = static_cast<char*>(malloc(size + 1));
  if (body == nullptr) return 0;
  memcpy(body, data, size);
  size_t length = size;
  _ak_gunzip(&body, &length);
  // Either a terminated body within the limit, or nothing at all.
  if (body != nullptr && (length >= kMaxInflatedBody || body[length] != '\0')) abort();
  if (body == nullptr && length != 0) abort();
  free(body);
  return 0;
}
