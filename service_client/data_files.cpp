#include "service_client/data_files.h"

#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/memory_and_format.h"
#include "service_client/platform.h"

size_t _ak_dataFolder(char* buffer, size_t capacity) {
  char folder[kDataPathCapacity];
  if (buffer == nullptr || !akplatform::localAppDataFolder(folder, sizeof folder)) {
    _ak_setLastError(ClientError::InternalFailure);
    return 0;
  }
  for (char* c = folder; *c != '\0'; ++c) {
    if (*c == '\\') *c = '/';
  }
  size_t length = strlen(folder);
  if (capacity < length + 8) {
    _ak_setLastError(ClientError::InsufficientMemory);
    return 0;
  }
  return static_cast<size_t>(snprintf(buffer, capacity, "%s/Tessel", folder));
}

char* _ak_dataFilePath(const char* name) {
  if (name == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  char folder[kDataPathCapacity];
  if (_ak_dataFolder(folder, sizeof folder) == 0) return nullptr;
  char* path = nullptr;
  _ak_format(kDataPathCapacity, &path, "%s/%s", folder, name);
  return path;
}

FILE* _ak_openFile(const char* path, const char* mode) { return akplatform::openFileUtf8(path, mode); }

int _ak_writeFile(const char* path, const void* data, size_t length, const char* mode) {
  FILE* file = _ak_openFile(path, mode);
  if (file == nullptr) {
    _ak_setLastError(ClientError::DiskIoFailure);
    return 0;
  }
  size_t written = length == 0 ? 0 : fwrite(data, 1, length, file);
  // A full disk often shows only when the buffered bytes are flushed at close.
  bool closed = fclose(file) == 0;
  if (written != length || !closed) {
    _ak_setLastError(ClientError::DiskIoFailure);
    return 0;
  }
  return 1;
}

size_t _ak_readFile(const char* path, void* buffer, size_t count, const char* mode) {
  if (count == 0) return 0;
  FILE* file = _ak_openFile(path, mode);
  if (file == nullptr) {
    _ak_setLastError(ClientError::DiskIoFailure);
    return 0;
  }
  size_t read = fread(buffer, 1, count, file);
  fclose(file);
  return read;
}
