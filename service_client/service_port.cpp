#include "service_client/service_port.h"

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "service_client/client_errors.h"
#include "service_client/data_files.h"
#include "service_client/service_interface.h"

bool _ak_isServicePort(int port) {
  return port >= service_client::kServicePort && port <= service_client::kLastServicePort;
}

int _ak_parsePortRecord(const char* text, size_t length) {
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r')) --length;
  if (length == 0 || length > 5) return 0;
  int port = 0;
  for (size_t i = 0; i < length; ++i) {
    if (text[i] < '0' || text[i] > '9') return 0;
    port = port * 10 + (text[i] - '0');
  }
  return _ak_isServicePort(port) ? port : 0;
}

int _ak_servicePorts(int ports[2]) {
  // Looking for the record must not change what the caller's failure reports.
  const int32_t lastError = ak_getLastError();
  int recorded = 0;
  if (char* path = _ak_dataFilePath(service_client::kPortRecordFileName)) {
    if (FILE* file = _ak_openFile(path, "rb")) {
      char text[8];
      size_t length = fread(text, 1, sizeof text, file);
      fclose(file);
      recorded = _ak_parsePortRecord(text, length);
    }
    free(path);
  }
  _ak_setLastError(static_cast<ClientError>(lastError));
  int count = 0;
  if (recorded != 0 && recorded != service_client::kServicePort) ports[count++] = recorded;
  ports[count++] = service_client::kServicePort;
  return count;
}
