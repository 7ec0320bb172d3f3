#include "service_client/download_request.h"

#include <stdlib.h>
#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/file_operations.h"
#include "service_client/memory_and_format.h"
#include "service_client/service_interface.h"
#include "service_client/transport.h"

namespace {

constexpr size_t kBase64Capacity = 256;
constexpr int kPartCount = 17;
constexpr int kResetPart = 10;  // the one part that changes between attempts

// The query parts of one download request, in the order in which they follow the URL.
struct RequestParts {
  char* parts[kPartCount] = {};
  ~RequestParts() {
    for (char* part : parts) free(part);
  }
};

// Formats part index with one percent-encoded value; a null value leaves the part absent.
bool encodedPart(RequestParts& request, int index, const char* format, const char* value) {
  if (value == nullptr) return true;
  char* encoded = _ak_urlEncode(value);
  if (encoded == nullptr) return false;
  _ak_format(0, &request.parts[index], format, encoded);
  free(encoded);
  return request.parts[index] != nullptr;
}

bool fixedPart(RequestParts& request, int index, bool present, const char* text) {
  if (!present) return true;
  request.parts[index] = _ak_duplicate(text);
  return request.parts[index] != nullptr;
}

bool numberPart(RequestParts& request, int index, bool present, const char* format, int32_t value) {
  if (!present) return true;
  _ak_format(0, &request.parts[index], format, value);
  return request.parts[index] != nullptr;
}

const char* nonEmpty(const char* text) { return text != nullptr && text[0] != '\0' ? text : nullptr; }

bool buildParts(const DownloadOptions& options, RequestParts& request) {
  uint32_t flags = options.flags;
  bool ok = numberPart(request, 0, (flags & kTargetSpeedValid) && options.targetSpeed >= 0, "&targetspeed=%d",
                       options.targetSpeed) &&
            numberPart(request, 1, flags & kDelayHttpValid, "&delayhttp=%d", options.delayHttp) &&
            fixedPart(request, 2, flags & kCheckContentMd5, "&checkcontentmd5") &&
            encodedPart(request, 3, "&path=%s", options.path) &&
            fixedPart(request, 4, flags & kBackgroundDownload, "&backgroundDownload=1") &&
            encodedPart(request, 5, "&cookiestring=%s", options.cookieString) &&
            encodedPart(request, 6, "&queryauth=%s", options.queryAuth);
  if (ok && options.basicAuthUser != nullptr && options.basicAuthPassword != nullptr) {
    char* credentials = nullptr;
    if (_ak_format(0, &credentials, "%s:%s", options.basicAuthUser, options.basicAuthPassword) == 0 &&
        credentials == nullptr) {
      return false;
    }
    char base64[kBase64Capacity];
    bool fits = _ak_base64Encode(sizeof base64, credentials, base64) == 1;
    free(credentials);
    if (!fits) {
      _ak_setLastError(ClientError::InvalidArgument);
      return false;
    }
    ok = encodedPart(request, 7, "&basicauth=%s", base64);
  }
  return ok && fixedPart(request, 8, flags & kWait, "&wait=1") &&
         fixedPart(request, 9, flags & kOriginOnly, "&originonly") &&
         fixedPart(request, 11, flags & kSequential, "&sequential") &&
         encodedPart(request, 12, "&originurl=%s", nonEmpty(options.originUrl)) &&
         encodedPart(request, 13, "&resumeurl=%s", nonEmpty(options.resumeUrl)) &&
         encodedPart(request, 14, "&resumefilename=%s", nonEmpty(options.resumeFileName)) &&
         numberPart(request, 15, options.urlSetId != 0, "&urlSetId=%d", options.urlSetId) &&
         numberPart(request, 16, options.autoPause != 0, "&autopause=%d", options.autoPause);
}

// The request target: the downloadFile call followed by the parts, with resetPart in its place.
char* requestTarget(int32_t cid, const char* encodedUrl, const RequestParts& request, const char* resetPart) {
  char* base = nullptr;
  size_t length = _ak_format(1024, &base, service_client::kDownloadFileTarget, cid, service_client::kApiVersion, encodedUrl);
  if (base == nullptr) return nullptr;
  size_t total = length + strlen(resetPart);
  for (const char* part : request.parts) total += part != nullptr ? strlen(part) : 0;
  char* target = static_cast<char*>(_ak_alloc(total + 1));
  if (target != nullptr) {
    char* out = target;
    auto append = [&out](const char* text) {
      size_t n = strlen(text);
      memcpy(out, text, n);
      out += n;
    };
    append(base);
    for (int i = 0; i < kPartCount; ++i) {
      if (i == kResetPart) append(resetPart);
      if (request.parts[i] != nullptr) append(request.parts[i]);
    }
    *out = '\0';
  }
  free(base);
  return target;
}

// Sends one attempt; returns the answer to keep, or null with the last error set. *resetAsked
// tells whether the service then asks for the download to be reset.
char* attempt(ClientHandle* handle, int32_t cid, const char* url, const char* encodedUrl,
              const DownloadOptions* options, const RequestParts& request, const char* resetPart, bool* resetAsked) {
  *resetAsked = false;
  char* target = requestTarget(cid, encodedUrl, request, resetPart);
  if (target == nullptr) return nullptr;
  char* answer = _ak_apiRequest(handle, target);
  free(target);
  if (answer == nullptr) return nullptr;

  if (options != nullptr && options->path != nullptr) {
    // The request is repeated after a challenge without the reset part.
    char* variant = requestTarget(cid, encodedUrl, request, "");
    if (variant == nullptr) {
      free(answer);
      return nullptr;
    }
    answer = _ak_answerChallenge(variant, answer, handle, url, options->path);
    free(variant);
    if (answer == nullptr) {
      if (ak_getLastError() != static_cast<int32_t>(ClientError::InsufficientMemory)) {
        _ak_setLastError(ClientError::InternalFailure);
      }
      return nullptr;
    }
    if (_ak_urlOutcome(answer, url) != 0) {
      free(answer);
      return nullptr;
    }
  }

  FileAttributes state;
  memset(&state, 0, sizeof state);
  if (ak_getFileAttributes(handle, cid, url, &state, 0) != 0) {
    ak_cleanFileAttributes(handle, &state, 0);
    free(answer);
    return nullptr;
  }
  *resetAsked = state.resetdownload != 0;
  ak_cleanFileAttributes(handle, &state, 0);
  return answer;
}

}  // namespace

int _ak_base64Encode(size_t capacity, const char* text, char* out) {
  static const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const unsigned char* in = reinterpret_cast<const unsigned char*>(text);
  size_t length = strlen(text);
  size_t written = 0;
  for (size_t i = 0; i < length; i += 3) {
    if (written + 4 + 1 > capacity) {
      if (capacity > 0) out[written < capacity ? written : capacity - 1] = '\0';
      return 0;
    }
    uint32_t group = static_cast<uint32_t>(in[i]) << 16;
    if (i + 1 < length) group |= static_cast<uint32_t>(in[i + 1]) << 8;
    if (i + 2 < length) group |= in[i + 2];
    out[written++] = kAlphabet[(group >> 18) & 0x3F];
    out[written++] = kAlphabet[(group >> 12) & 0x3F];
    out[written++] = i + 1 < length ? kAlphabet[(group >> 6) & 0x3F] : '=';
    out[written++] = i + 2 < length ? kAlphabet[group & 0x3F] : '=';
  }
  if (written + 1 > capacity) return 0;
  out[written] = '\0';
  return 1;
}

extern "C" int ak_downloadFile(ClientHandle* handle, int32_t cid, const char* url, const DownloadOptions* options) {
  if (handle == nullptr || url == nullptr || cid < 0) {
    _ak_setLastError(ClientError::InvalidArgument);
    return -1;
  }
  _ak_setLastError(ClientError::InternalFailure);
  char* encodedUrl = _ak_urlEncode(url);
  if (encodedUrl == nullptr) return -1;
  RequestParts request;
  if (options != nullptr && !buildParts(*options, request)) {
    free(encodedUrl);
    return -1;
  }

  const char* resetPart = options != nullptr && (options->flags & kResetDownload) ? "&resetdownload" : "";
  char* answer = nullptr;
  for (int attemptNumber = 0; attemptNumber < 2; ++attemptNumber) {
    bool resetAsked = false;
    answer = attempt(handle, cid, url, encodedUrl, options, request, resetPart, &resetAsked);
    if (answer == nullptr) {
      free(encodedUrl);
      return -1;
    }
    if (!resetAsked) break;
    // The service wants the download started over: ask once more, saying so.
    resetPart = "&resetdownload=1";
    free(answer);
    answer = nullptr;
  }
  free(encodedUrl);

  // Without an answer the service still asked for a reset after the second request.
  if (answer == nullptr) _ak_setLastError(ClientError::InternalFailure);
  int result = _ak_urlOutcome(answer, url);
  free(answer);
  return result;
}
