// Reading the installer's body in fixed chunks into one growing buffer, with progress, whatever
// delivers the bytes (WinINet on Windows, the library's sockets elsewhere).
#ifndef SERVICE_CLIENT_INSTALLER_BODY_H
#define SERVICE_CLIENT_INSTALLER_BODY_H

#include <stddef.h>

#include "service_client/download_options.h"

// A vendor installer is tens of megabytes; a peer announcing more is not sending one.
constexpr size_t kMaxInstallerBody = 256u * 1024 * 1024;

struct InstallerBodySource {
  // Up to capacity bytes into buffer: the count, 0 at the end of the body, below 0 on failure.
  long (*readSome)(InstallerBodySource* self, char* buffer, size_t capacity);
};

// Reads until the end of the body (knownLength bytes when above 0), reporting low..high while a
// body of known length arrives. The body, NUL-terminated, with its length in *received; null
// when memory runs out (InsufficientMemory) or the body ends early or a read fails
// (NetworkFailure).
char* _ak_readInstallerBody(InstallerBodySource* source, size_t knownLength, const DownloadOptions* options, int low,
                            int high, size_t* received);

#endif
