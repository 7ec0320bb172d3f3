#include "service_client/download_limit.h"

#include <stdlib.h>

#include "service_client/answer_reader.h"
#include "service_client/client_errors.h"
#include "service_client/memory_and_format.h"
#include "service_client/service_interface.h"
#include "service_client/transport.h"

int _ak_setDownloadLimit(ClientHandle* handle, uint64_t bytesPerSecond) {
  if (handle == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return -1;
  }
  _ak_setLastError(ClientError::InternalFailure);
  char* target = nullptr;
  _ak_format(256, &target, "api?function=setDownloadLimit&cid=0&apiversion=%s&bytespersecond=%llu",
             service_client::kApiVersion, static_cast<unsigned long long>(bytesPerSecond));
  if (target == nullptr) return -1;
  char* answer = _ak_apiRequest(handle, target);
  free(target);
  if (answer == nullptr) return -1;
  AnswerReader reader(answer);
  // The service names the limit it now keeps; anything else (an older service that knows no
  // limit answers an error) means it took none.
  const bool taken = reader.number("downloadlimit") == static_cast<int64_t>(bytesPerSecond);
  free(answer);
  if (reader.outOfMemory()) return -1;
  _ak_setLastError(taken ? ClientError::Success : ClientError::InternalFailure);
  return taken ? 0 : -1;
}
