// The error model shared by every operation of the download service client library.
// Codes are only ever appended to: callers and the service's log readers rely on their values.
#ifndef SERVICE_CLIENT_CLIENT_ERRORS_H
#define SERVICE_CLIENT_CLIENT_ERRORS_H

#include <stdint.h>

enum class ClientError : int32_t {
  Success = 0,
  InvalidArgument = 1,
  NotInstalled = 2,
  InternalFailure = 3,
  InsufficientMemory = 4,
  NetworkFailure = 5,
  ClientConfigurationFailure = 6,
  DiskIoFailure = 7,
  PlatformFailure = 8,
  ErrorStartingClient = 9,
  ErrorStoppingClient = 10,
  JsonError = 11,
  FileInUse = 12,
  FileNotFound = 13,
  PortBlocked = 14,
  DownloadFailed = 15,
  WriteFailed = 16,
  PathNotFound = 17,
  PathParseError = 18,
  OpenPathFailed = 19,
  SeekFailed = 20,
  VerificationFailed = 21,
  AlreadyDownloaded = 22,
  Throttled = 23,
  ChallengeResponseError = 24,
  InstallerExecError = 25,
  InstallerMountError = 26,
  InstallerStartError = 27,
};

extern "C" {
// The calling thread's last error as a ClientError value; 0 when the thread never stored one.
int32_t ak_getLastError(void);
// The fixed text of a code; "Unknown Error" for any value outside the table. Texts 15 to 21
// keep their "%s" placeholder for the caller to fill.
const char* ak_errorToString(int32_t code);
}

// Stores the calling thread's last error.
void _ak_setLastError(ClientError code);

#endif
