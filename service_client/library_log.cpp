#include "service_client/library_log.h"

#include <stdlib.h>
#include <string.h>
#include <time.h>

#include "service_client/client_errors.h"
#include "service_client/data_files.h"
#include "service_client/platform.h"

namespace {

const char* levelText(int level) {
  switch (level) {
    case kLogInfo:
      return "info";
    case kLogError:
      return "eror";
    default:
      return "warn";
  }
}

bool isMissing(const char* text) { return text == nullptr || text[0] == '\0'; }

}  // namespace

char* _ak_timestamp(void) {
  struct tm now;
  if (!akplatform::utcNow(&now)) return nullptr;
  char* text = nullptr;
  _ak_format(0, &text, "%02d%02d%02d_%02d%02d%02d", now.tm_year % 100, now.tm_mon + 1, now.tm_mday, now.tm_hour,
             now.tm_min, now.tm_sec);
  return text;
}

void _ak_log(const char* logName, const char* sourceUnit, const char* function, int line, int level, int mode,
             const char* format, ...) {
  if (isMissing(logName) || isMissing(sourceUnit) || isMissing(function) || isMissing(format)) {
    _ak_setLastError(ClientError::InvalidArgument);
    return;
  }
  // The log is a by-product: whatever fails here must not replace the outcome of the operation
  // that is logging.
  int32_t callersError = ak_getLastError();

  char* path = mode == 1 ? _ak_duplicate(logName) : _ak_dataFilePath(logName);
  char* stamp = path != nullptr ? _ak_timestamp() : nullptr;
  char* message = nullptr;
  if (stamp != nullptr) {
    va_list arguments;
    va_start(arguments, format);
    _ak_vformat(512, &message, format, arguments);
    va_end(arguments);
  }
  if (message != nullptr) {
    char* entry = nullptr;
    size_t length;
    if (mode == 1) {
      length = _ak_format(0, &entry, "%s:[%s] %s\n", stamp, levelText(level), message);
    } else {
      length = _ak_format(0, &entry, "V%s:%s: [%s] %s:%s(%d): %s\n", "1001", stamp, levelText(level), sourceUnit,
                          function, line, message);
    }
    if (entry != nullptr) {
      FILE* file = _ak_openFile(path, "ab");
      if (file != nullptr) {
        fwrite(entry, 1, length, file);
        fclose(file);
      }
    }
    free(entry);
  }
  free(message);
  free(stamp);
  free(path);
  _ak_setLastError(static_cast<ClientError>(callersError));
}
