// The installer download through WinINet, so it follows the user's proxy settings and can ask
// for proxy credentials; WinINet also brings https.
#include "windows_common/wininet_functions.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "service_client/answer_reader.h"
#include "service_client/client_errors.h"
#include "service_client/gzip_body.h"
#include "service_client/installer_body.h"
#include "service_client/installer_download.h"
#include "service_client/library_log.h"

namespace {

constexpr char kAcceptGzip[] = "Accept-Encoding: gzip";

using wincommon::WinInetFunctions;

struct WinInetBody {
  InstallerBodySource source;
  const WinInetFunctions* wininet;
  HINTERNET request;
};

long readFromRequest(InstallerBodySource* self, char* buffer, size_t capacity) {
  auto* body = reinterpret_cast<WinInetBody*>(self);
  DWORD got = 0;
  if (!body->wininet->InternetReadFile(body->request, buffer, static_cast<DWORD>(capacity), &got)) return -1;
  return static_cast<long>(got);
}

DWORD statusOf(const WinInetFunctions& wininet, HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!wininet.HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, nullptr)) return 0;
  return status;
}

bool isGzipEncoded(const WinInetFunctions& wininet, HINTERNET request) {
  char encoding[128] = "";
  DWORD size = sizeof encoding - 1;
  if (!wininet.HttpQueryInfoA(request, HTTP_QUERY_CONTENT_ENCODING, encoding, &size, nullptr)) return false;
  encoding[size < sizeof encoding ? size : sizeof encoding - 1] = '\0';
  return _ak_equalsIgnoringCase(encoding, "gzip");
}

// The announced length, or 0 when there is none.
DWORD contentLengthOf(const WinInetFunctions& wininet, HINTERNET request) {
  DWORD length = 0;
  DWORD size = sizeof length;
  if (!wininet.HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, nullptr)) return 0;
  return length;
}

HINTERNET openUrl(const WinInetFunctions& wininet, HINTERNET internet, const char* url, DWORD flags) {
  return wininet.InternetOpenUrlA(internet, url, kAcceptGzip, static_cast<DWORD>(strlen(kAcceptGzip)), flags, 0);
}

}  // namespace

char* _ak_httpsDownload(size_t* length, DownloadOptions* options, const char* userAgent, const char* url, int low,
                        int high) {
  *length = 0;
  const WinInetFunctions* wininet = wincommon::WinInet();
  if (wininet == nullptr) {
    AK_LOG(kLogError, "WinINet cannot be used: %s", wincommon::SystemFunctionsFailure().c_str());
    return nullptr;
  }
  DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE;
  if (strncmp(url, "https://", 8) == 0) flags |= INTERNET_FLAG_SECURE;
  DWORD access = INTERNET_OPEN_TYPE_PRECONFIG;
  for (;;) {
    HINTERNET internet = wininet->InternetOpenA(userAgent, access, nullptr, nullptr, 0);
    HINTERNET request = internet != nullptr ? openUrl(*wininet, internet, url, flags) : nullptr;
    DWORD status = request != nullptr ? statusOf(*wininet, request) : 0;
    // Proxy credentials: the user may enter them and retry, or dismiss the dialog.
    while (status == HTTP_STATUS_PROXY_AUTH_REQ) {
      DWORD choice = wininet->InternetErrorDlg(GetDesktopWindow(), request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                      FLAGS_ERROR_UI_FILTER_FOR_ERRORS | FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS, nullptr);
      wininet->InternetCloseHandle(request);
      request = choice == ERROR_INTERNET_FORCE_RETRY ? openUrl(*wininet, internet, url, flags) : nullptr;
      status = request != nullptr ? statusOf(*wininet, request) : 0;
    }
    if (request == nullptr) {
      if (internet != nullptr) wininet->InternetCloseHandle(internet);
      // Without the configured proxy once; a direct connection that fails too is the end.
      if (access != INTERNET_OPEN_TYPE_PRECONFIG) return nullptr;
      access = INTERNET_OPEN_TYPE_DIRECT;
      continue;
    }
    char* body = nullptr;
    if (status == HTTP_STATUS_OK) {
      bool gzipped = isGzipEncoded(*wininet, request);
      DWORD announced = contentLengthOf(*wininet, request);
      WinInetBody source{{readFromRequest}, wininet, request};
      body = _ak_readInstallerBody(&source.source, announced, options, low, high, length);
      if (body != nullptr && gzipped) _ak_gunzip(&body, length);
    }
    wininet->InternetCloseHandle(request);
    wininet->InternetCloseHandle(internet);
    if (body == nullptr) *length = 0;
    return body;
  }
}
