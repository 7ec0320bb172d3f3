// Handing a file to the service for download, with every option as one query part.
#ifndef SERVICE_CLIENT_DOWNLOAD_REQUEST_H
#define SERVICE_CLIENT_DOWNLOAD_REQUEST_H

#include <stddef.h>
#include <stdint.h>

#include "service_client/client_lifecycle.h"
#include "service_client/download_options.h"

extern "C" {
// Asks the service to fetch url (options may be null), answers its write challenge when a path is
// given, and repeats the request once with a reset when the service asks for one. 0 or -1.
int ak_downloadFile(ClientHandle* handle, int32_t cid, const char* url, const DownloadOptions* options);
}

// Standard Base64 with "=" padding into out (capacity bytes including the terminating zero):
// 1 when all of it fits, else 0 with the output cut short.
int _ak_base64Encode(size_t capacity, const char* text, char* out);

#endif
