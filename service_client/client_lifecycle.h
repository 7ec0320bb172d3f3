// Opening and closing a client: the handle that every operation on the service takes.
#ifndef SERVICE_CLIENT_CLIENT_LIFECYCLE_H
#define SERVICE_CLIENT_CLIENT_LIFECYCLE_H

#include "service_client/platform.h"

// Opaque to the library's users.
struct ClientHandle {
  char* clientName;  // owned; the User-Agent of every API request
  ak_socket socket;  // the kept connection to the service, kNoSocket while none is open
};

extern "C" {
// Opens a handle while the service answers its ping: 0, or -1 with NotInstalled (the out
// pointer is then left untouched) or InvalidArgument. The reserved argument is not examined.
int ak_initialize(const char* clientName, ClientHandle** handle, int reserved);
// Closes the handle's connection and frees it; -1 with InvalidArgument for a null handle or a
// non-zero reserved argument. The last error is otherwise left as it was.
int ak_uninitialize(ClientHandle* handle, int reserved);
}

#endif
