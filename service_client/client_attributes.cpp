#include "service_client/client_attributes.h"

#include <stdlib.h>
#include <string.h>

#include <initializer_list>

#include "service_client/answer_reader.h"
#include "service_client/client_errors.h"
#include "service_client/data_files.h"
#include "service_client/memory_and_format.h"
#include "service_client/service_interface.h"
#include "service_client/transport.h"

namespace {

constexpr size_t kGuidLength = 32;

int failInvalidArgument() {
  _ak_setLastError(ClientError::InvalidArgument);
  return -1;
}

// The identity at the start of guid.ini: false only when memory ran out; *guid stays null when
// there is no file or it is empty.
bool readGuid(char** guid) {
  char* path = _ak_dataFilePath(service_client::kGuidFileName);
  if (path == nullptr) return ak_getLastError() != static_cast<int32_t>(ClientError::InsufficientMemory);
  char buffer[kGuidLength + 1];
  memset(buffer, 0, sizeof buffer);
  size_t read = _ak_readFile(path, buffer, kGuidLength, "r");
  free(path);
  if (read == 0) return true;
  *guid = _ak_duplicate(buffer);
  return *guid != nullptr;
}

// Writes a whole file in the data folder: 0, or -1 with the error set.
int writeDataFile(const char* name, const char* mode, const char* format, ...) AK_PRINTF_LIKE(3, 4);

int writeDataFile(const char* name, const char* mode, const char* format, ...) {
  char* path = _ak_dataFilePath(name);
  if (path == nullptr) return -1;
  va_list arguments;
  va_start(arguments, format);
  char* content = nullptr;
  size_t length = _ak_vformat(0, &content, format, arguments);
  va_end(arguments);
  int result = -1;
  if (content != nullptr && _ak_writeFile(path, content, length, mode)) {
    _ak_setLastError(ClientError::Success);
    result = 0;
  }
  free(content);
  free(path);
  return result;
}

}  // namespace

extern "C" int ak_cleanAttributes(ClientHandle* handle, ClientAttributes* attributes, int32_t reserved) {
  if (handle == nullptr || attributes == nullptr || reserved != 0) return failInvalidArgument();
  for (char** text : {&attributes->executableversion, &attributes->configurationversion, &attributes->runningexecutable,
                      &attributes->runningclientbinid, &attributes->guid}) {
    free(*text);
    *text = nullptr;
  }
  return 0;
}

extern "C" int ak_getAttributes(ClientHandle* handle, int32_t cid, ClientAttributes* attributes, int32_t reserved) {
  if (handle == nullptr || attributes == nullptr || cid < 0 || reserved != 0) return failInvalidArgument();
  _ak_setLastError(ClientError::InternalFailure);
  char* target = nullptr;
  _ak_format(1024, &target, service_client::kGetClientAttributesTarget, cid, service_client::kApiVersion);
  if (target == nullptr) return -1;
  char* answer = _ak_apiRequest(handle, target);
  free(target);
  if (answer == nullptr) return -1;
  ak_cleanAttributes(handle, attributes, 0);

  AnswerReader reader(answer);
  attributes->isonline = reader.flagTrue("isonline");
  attributes->sharerate = reader.number("sharerate");
  attributes->downloadrate = reader.number("downloadrate");
  attributes->version = static_cast<int32_t>(static_cast<uint32_t>(reader.number("version") & 0xFFFFFFFF));
  attributes->acceptedeula = reader.flagTrue("acceptedeula");
  attributes->executableversion = reader.string("executableversion");
  attributes->configurationversion = reader.string("configurationversion");
  attributes->runningexecutable = reader.string("runningexecutable");
  attributes->runningclientbinid = reader.string("runningclientbinid");
  attributes->uploadspauseduntil = reader.number("uploadspauseduntil");
  free(answer);
  if (reader.outOfMemory() || !readGuid(&attributes->guid)) {
    _ak_setLastError(ClientError::InsufficientMemory);
    return -1;
  }
  _ak_setLastError(ClientError::Success);
  return 0;
}

extern "C" int ak_acceptEULA(int32_t cid, const char* agreement, int32_t reserved) {
  if (cid < 0 || agreement == nullptr || agreement[0] == '\0' || reserved != 0 ||
      strpbrk(agreement, "\r\n") != nullptr) {
    return failInvalidArgument();
  }
  _ak_setLastError(ClientError::InternalFailure);
  // Binary mode: the line end reaches the disk as CR LF exactly, on every system.
  return writeDataFile(service_client::kEulaFileName, "ab", "%d_%s%s", cid, agreement, "\r\n");
}

extern "C" int ak_setUploadState(int64_t pausedUntil, int32_t reserved) {
  if (reserved != 0) return failInvalidArgument();
  _ak_setLastError(ClientError::InternalFailure);
  return writeDataFile(service_client::kUserStateFileName, "wb", "%s=%lld%s", "UploadsPausedUntil",
                       static_cast<long long>(pausedUntil), "\r\n");
}
