#include "service_client/installer_download.h"

#include <stdlib.h>
#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/installer_body.h"
#include "service_client/memory_and_format.h"

int _ak_downloadProgress(size_t received, size_t length, int low, int high) {
  return low + static_cast<int>(static_cast<double>(received) / static_cast<double>(length) * (high - low));
}

char* _ak_readInstallerBody(InstallerBodySource* source, size_t knownLength, const DownloadOptions* options, int low,
                            int high, size_t* received) {
  *received = 0;
  size_t capacity = 0;
  char* body = nullptr;
  size_t total = 0;
  bool failed = false;
  for (;;) {
    size_t chunk = kInstallerReadChunk;
    if (knownLength > 0 && knownLength - total <= kInstallerReadChunk) chunk = knownLength - total;
    if (chunk == 0) break;
    if (total + chunk + 1 > capacity) {
      // Grown geometrically: a chunk at a time would copy a large installer hundreds of times.
      size_t larger = capacity < kInstallerReadChunk ? 2 * kInstallerReadChunk : 2 * capacity;
      if (larger < total + chunk + 1) larger = total + chunk + 1;
      char* grown = larger <= kMaxInstallerBody ? static_cast<char*>(_ak_alloc(larger)) : nullptr;
      if (grown == nullptr) {
        free(body);
        _ak_setLastError(ClientError::InsufficientMemory);
        return nullptr;
      }
      if (total > 0) memcpy(grown, body, total);
      memset(grown + total, 0, larger - total);
      free(body);
      body = grown;
      capacity = larger;
    }
    if (knownLength > 0 && options != nullptr && options->progressCallback != nullptr) {
      options->progressCallback(_ak_downloadProgress(total, knownLength, low, high), 0);
    }
    long got = source->readSome(source, body + total, chunk);
    if (got < 0) failed = true;
    if (got <= 0) break;
    total += static_cast<size_t>(got);
  }
  // A body cut short is not an installer: saving it would hand a broken program to the system.
  if (failed || (knownLength > 0 && total != knownLength)) {
    free(body);
    _ak_setLastError(ClientError::NetworkFailure);
    return nullptr;
  }
  if (body == nullptr) {
    body = static_cast<char*>(_ak_alloc(1));
    if (body == nullptr) return nullptr;
    body[0] = '\0';
  }
  *received = total;
  return body;
}
