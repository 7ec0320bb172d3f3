// The speed limit of the user's download service, for everything it fetches: not one of the
// exported functions, but the library's own, which the downloader uses for the player's choice.
#ifndef SERVICE_CLIENT_DOWNLOAD_LIMIT_H
#define SERVICE_CLIENT_DOWNLOAD_LIMIT_H

#include <stdint.h>

#include "service_client/client_lifecycle.h"

// Sets the limit in bytes per second, 0 for none; it holds until it is set again or the service
// ends. 0 on success; -1 with the last error set (NotInstalled or NetworkFailure when no service
// answers, InternalFailure when it did not take the limit).
int _ak_setDownloadLimit(ClientHandle* handle, uint64_t bytesPerSecond);

#endif
