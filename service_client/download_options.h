// The options record of downloads, deletes and installs: seventeen 32-bit members, 68 bytes in
// the 32-bit program. Strings are the caller's.
#ifndef SERVICE_CLIENT_DOWNLOAD_OPTIONS_H
#define SERVICE_CLIENT_DOWNLOAD_OPTIONS_H

#include <stdint.h>

// Called by ak_install with the percentage reached; the second argument is always 0.
typedef void (*ak_progressCallback)(int32_t percentage, uint32_t reserved);

enum DownloadFlags : uint32_t {
  kTargetSpeedValid = 0x1,
  kBackgroundDownload = 0x2,
  kWait = 0x4,
  kDelayHttpValid = 0x8,
  kOriginOnly = 0x10,
  kCheckContentMd5 = 0x40,
  kSequential = 0x80,
  kResetDownload = 0x200,
};

// What callers put in recordSize.
constexpr uint32_t kDownloadOptionsRecordSize = 68;

struct DownloadOptions {
  uint32_t recordSize;  // 68; not looked at
  uint32_t flags;       // DownloadFlags
  int32_t targetSpeed;
  const char* path;
  ak_progressCallback progressCallback;
  const char* cookieString;
  const char* queryAuth;
  const char* basicAuthUser;
  const char* basicAuthPassword;
  int32_t delayHttp;
  char* errorText;  // at least 260 bytes; receives the URL of a failed installer download
  int32_t keepPhysicalFileOnDelete;
  const char* originUrl;
  const char* resumeUrl;
  const char* resumeFileName;
  int32_t urlSetId;
  int32_t autoPause;
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(DownloadOptions) == 68, "DownloadOptions is part of the exported interface");
#endif

#endif
