// The library's log: lines appended to "installer.txt" in the data folder.
#ifndef SERVICE_CLIENT_LIBRARY_LOG_H
#define SERVICE_CLIENT_LIBRARY_LOG_H

#include "service_client/memory_and_format.h"

enum LogLevel { kLogInfo = 0, kLogWarn = 1, kLogError = 2 };

// Mode 1 writes "<time>:[<level>] <message>" to the file named by logName itself; any other mode
// writes the full line "V1001:<time>: [<level>] <unit>:<function>(<line>): <message>" to the
// file logName inside the data folder. Failing to write is silent and leaves the last error alone.
void _ak_log(const char* logName, const char* sourceUnit, const char* function, int line, int level, int mode,
             const char* format, ...) AK_PRINTF_LIKE(7, 8);

// The current UTC time as a new "yymmdd_HHMMSS" text, or null.
char* _ak_timestamp(void);

// Every log call of the library goes to installer.txt under the unit name "Installer".
#define AK_LOG(level, ...) _ak_log("installer.txt", "Installer", __func__, __LINE__, (level), 0, __VA_ARGS__)
// The same, for a step that logs in the name of the exported function it belongs to.
#define AK_LOG_FOR(function, level, ...) \
  _ak_log("installer.txt", "Installer", (function), __LINE__, (level), 0, __VA_ARGS__)

#endif
