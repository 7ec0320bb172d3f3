// The installer's download over the system's internet library (WinINet on Windows: the user's
// proxy settings, the proxy credentials dialog, https), and over the library's own sockets
// elsewhere (plain http only), so the install road can be exercised on any system.
#ifndef SERVICE_CLIENT_INSTALLER_DOWNLOAD_H
#define SERVICE_CLIENT_INSTALLER_DOWNLOAD_H

#include <stddef.h>

#include "service_client/download_options.h"

// Bytes read at a time.
constexpr size_t kInstallerReadChunk = 32768;

// GETs url with "Accept-Encoding: gzip" and returns the (inflated) body of a 200 answer, NUL
// terminated, with its length in *length; null (and 0) otherwise. While a body of known length
// arrives, the options' progressCallback gets low + received / length * (high - low).
char* _ak_httpsDownload(size_t* length, DownloadOptions* options, const char* userAgent, const char* url, int low,
                        int high);

// The progress to report after received of length bytes, between low and high.
int _ak_downloadProgress(size_t received, size_t length, int low, int high);

#endif
