// Inflating the gzip-encoded body of the service's installer download.
#ifndef SERVICE_CLIENT_GZIP_BODY_H
#define SERVICE_CLIENT_GZIP_BODY_H

#include <stddef.h>

// Installers are a few megabytes; a body that inflates to this much or more is refused (a small
// hostile body could otherwise ask for gigabytes).
constexpr size_t kMaxInflatedBody = 256u * 1024 * 1024;

// Replaces *body (gzip, *length bytes) by its inflated content, NUL-terminated, and *length by
// its size. On failure frees the body and leaves null and 0: InvalidArgument for a body of 10
// bytes or less, InsufficientMemory when the output cannot grow or would pass kMaxInflatedBody;
// a corrupt or truncated stream leaves the last error as it was.
void _ak_gunzip(char** body, size_t* length);

#endif
