#include "service_client/client_lifecycle.h"

#include <stdlib.h>

#include "service_client/client_errors.h"
#include "service_client/memory_and_format.h"
#include "service_client/transport.h"

extern "C" int ak_initialize(const char* clientName, ClientHandle** handle, int /*reserved*/) {
  if (clientName == nullptr || handle == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return -1;
  }
  _ak_setLastError(ClientError::InternalFailure);
  if (!akplatform::startNetworking()) {
    _ak_setLastError(ClientError::NetworkFailure);
    return -1;
  }
  ClientHandle* opened = nullptr;
  if (_ak_ping(clientName) != 0) {
    // No service of this user answers, also when another account's program holds 9421: this
    // user's service, once installed, takes a port of its own.
    _ak_setLastError(ClientError::NotInstalled);
  } else if ((opened = static_cast<ClientHandle*>(_ak_alloc(sizeof(ClientHandle)))) != nullptr) {
    opened->socket = kNoSocket;
    opened->clientName = _ak_duplicate(clientName);
    if (opened->clientName == nullptr) {
      free(opened);
      opened = nullptr;
    }
  }
  if (opened == nullptr) {
    // Every successful start of networking is matched by one stop.
    akplatform::stopNetworking();
    return -1;
  }
  *handle = opened;
  _ak_setLastError(ClientError::Success);
  return 0;
}

extern "C" int ak_uninitialize(ClientHandle* handle, int reserved) {
  if (handle == nullptr || reserved != 0) {
    _ak_setLastError(ClientError::InvalidArgument);
    return -1;
  }
  akplatform::closeSocket(handle->socket);
  free(handle->clientName);
  free(handle);
  akplatform::stopNetworking();
  return 0;
}
