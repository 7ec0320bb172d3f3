#include "service_client/exported_wrappers.h"

#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/client_installer.h"
#include "service_client/client_lifecycle.h"
#include "service_client/download_limit.h"
#include "service_client/download_request.h"
#include "service_client/platform.h"
#include "service_client/service_interface.h"
#include "service_client/test_hooks.h"

namespace {

constexpr int32_t kCid = 0;
// Room for a path of 260 UTF-16 units in UTF-8 (3 bytes each at most) and for a long URL.
constexpr size_t kTextCapacity = 2048;

// The process's one client handle: the wrappers are called from one thread at a time.
ClientHandle* g_handle = nullptr;
int g_fileSizePollLimitMs = kFileSizePollLimitMs;

// A wide argument in UTF-8, as the library and the service read paths and URLs (the ANSI code page
// would turn a name outside it into question marks); the empty text when it does not convert or fit.
struct LibraryText {
  explicit LibraryText(const wchar_t* wide) {
    if (wide == nullptr || !akplatform::wideToUtf8(wide, text, sizeof text)) text[0] = '\0';
  }
  char text[kTextCapacity];
};

int32_t outcome(int result) { return result != 0 ? ak_getLastError() : 0; }

DownloadOptions pathOnly(const char* path) {
  DownloadOptions options;
  memset(&options, 0, sizeof options);
  options.recordSize = kDownloadOptionsRecordSize;
  options.path = path;
  return options;
}

}  // namespace

#ifdef AK_TEST_HOOKS
void _ak_testSetFileSizePollLimit(int milliseconds) {
  g_fileSizePollLimitMs = milliseconds > 0 ? milliseconds : kFileSizePollLimitMs;
}
#endif

extern "C" int32_t TSInstall(DownloadOptions* options) {
  return outcome(ak_install(service_client::kWrapperClientName, kCid, service_client::kWrapperAgreement, options));
}

extern "C" int32_t TSInitialize(void) {
  // A handle left from an earlier success is closed rather than leaked with its connection.
  if (g_handle != nullptr) ak_uninitialize(g_handle, 0);
  g_handle = nullptr;
  return outcome(ak_initialize(service_client::kWrapperClientName, &g_handle, 0));
}

extern "C" int32_t TSUninitialize(void) {
  int result = ak_uninitialize(g_handle, 0);
  if (result == 0) g_handle = nullptr;
  return result;
}

extern "C" int32_t AKDownload(const wchar_t* url, const wchar_t* path) {
  LibraryText utf8Url(url), utf8Path(path);
  DownloadOptions options = pathOnly(utf8Path.text);
  return outcome(ak_downloadFile(g_handle, kCid, utf8Url.text, &options));
}

extern "C" int32_t AKPause(const wchar_t* url) {
  LibraryText utf8Url(url);
  return outcome(ak_pauseFile(g_handle, kCid, utf8Url.text, 0));
}

int32_t SetWrapperDownloadLimit(uint64_t bytesPerSecond) {
  return outcome(_ak_setDownloadLimit(g_handle, bytesPerSecond));
}

extern "C" int32_t AKRetry(const wchar_t* url, const wchar_t* path) {
  AKPause(url);
  AKDownload(url, path);
  return 0;
}

extern "C" int32_t AKDelete(const wchar_t* url) {
  LibraryText utf8Url(url);
  return outcome(ak_deleteFile(g_handle, kCid, utf8Url.text, nullptr));
}

extern "C" int32_t AKGetFileAttr(const wchar_t* url, FileAttributes* attributes) {
  return ReadFileAttributes(url, attributes, nullptr);
}

int32_t ReadFileAttributes(const wchar_t* url, FileAttributes* attributes, int64_t* systemError) {
  LibraryText utf8Url(url);
  FileAttributes state;
  memset(&state, 0, sizeof state);
  if (ak_getFileAttributes(g_handle, kCid, utf8Url.text, &state, 0) != 0 && ak_getLastError() != 0) {
    int32_t error = ak_getLastError();
    ak_cleanFileAttributes(g_handle, &state, 0);
    return error;
  }
  attributes->status = state.status;
  attributes->size = state.size;
  attributes->uniquerecv = state.uniquerecv;
  attributes->progress = state.progress;
  attributes->downloadrate = state.downloadrate;
  attributes->totalrecv = state.totalrecv;
  if (systemError != nullptr) *systemError = state.error;
  ak_cleanFileAttributes(g_handle, &state, 0);
  return 0;
}

extern "C" int32_t AKGetAttr(ClientAttributes* attributes) {
  ClientAttributes fresh;
  memset(&fresh, 0, sizeof fresh);
  fresh.recordSize = kClientAttributesRecordSize;
  if (ak_getAttributes(g_handle, kCid, &fresh, 0) != 0 && ak_getLastError() != 0) return ak_getLastError();
  ak_cleanAttributes(g_handle, attributes, 0);
  *attributes = fresh;
  return 0;
}

extern "C" uint64_t AKGetFileSize(const wchar_t* url, const wchar_t* path) {
  LibraryText utf8Url(url), utf8Path(path);
  FileAttributes state;
  memset(&state, 0, sizeof state);
  ak_getFileAttributes(g_handle, kCid, utf8Url.text, &state, 0);
  if (state.size <= 0) {
    // The service learns a file's size only by starting it: start, ask until the size is known
    // (for a bounded time, as the service may never learn it), then pause it again.
    DownloadOptions options = pathOnly(utf8Path.text);
    ak_downloadFile(g_handle, kCid, utf8Url.text, &options);
    for (int waited = 0; waited < g_fileSizePollLimitMs; waited += kFileSizePollIntervalMs) {
      ak_getFileAttributes(g_handle, kCid, utf8Url.text, &state, 0);
      if (state.size > 0) break;
      akplatform::sleepMs(kFileSizePollIntervalMs);
    }
    ak_pauseFile(g_handle, kCid, utf8Url.text, 0);
  }
  uint64_t size = state.size > 0 ? static_cast<uint64_t>(state.size) : 0;
  ak_cleanFileAttributes(g_handle, &state, 0);
  return size;
}

extern "C" uint64_t AKGetReceivedSize(const wchar_t* url) {
  LibraryText utf8Url(url);
  FileAttributes state;
  memset(&state, 0, sizeof state);
  ak_getFileAttributes(g_handle, kCid, utf8Url.text, &state, 0);
  uint64_t received = state.uniquerecv > 0 ? static_cast<uint64_t>(state.uniquerecv) : 0;
  ak_cleanFileAttributes(g_handle, &state, 0);
  return received;
}
