// The installer download over the library's own sockets: plain http only, for systems without
// WinINet (the road is the same as the Windows one from the answer's status on).
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "service_client/answer_reader.h"
#include "service_client/client_errors.h"
#include "service_client/gzip_body.h"
#include "service_client/installer_body.h"
#include "service_client/installer_download.h"
#include "service_client/memory_and_format.h"
#include "service_client/transport.h"

namespace {

constexpr size_t kHeadCapacity = 8192;

// Bytes of the body that came with the head are handed out before the socket is read again.
struct SocketBody {
  InstallerBodySource source;
  ak_socket socket;
  const char* pending;
  size_t pendingLength;
};

long readFromSocket(InstallerBodySource* self, char* buffer, size_t capacity) {
  SocketBody* body = reinterpret_cast<SocketBody*>(self);
  if (body->pendingLength > 0) {
    size_t count = body->pendingLength < capacity ? body->pendingLength : capacity;
    memcpy(buffer, body->pending, count);
    body->pending += count;
    body->pendingLength -= count;
    return static_cast<long>(count);
  }
  return akplatform::receiveSome(body->socket, buffer, capacity);
}

// The header's value up to the end of its line, into out; false when there is none.
bool headerText(const char* head, size_t headLength, const char* name, char* out, size_t capacity) {
  const char* value = _ak_findHeaderValue(head, headLength, name, false);
  if (value == nullptr) return false;
  size_t length = strcspn(value, "\r\n");
  if (length >= capacity) length = capacity - 1;
  memcpy(out, value, length);
  out[length] = '\0';
  return true;
}

char* downloadOverSocket(ak_socket socket, const char* host, const char* target, size_t* length,
                         DownloadOptions* options, const char* userAgent, int low, int high) {
  char* request = nullptr;
  size_t requestLength = _ak_format(0, &request,
                                    "GET /%s HTTP/1.0\r\nHost: %s\r\nUser-Agent: %s\r\nAccept-Encoding: gzip\r\n\r\n",
                                    target, host, userAgent);
  if (request == nullptr) return nullptr;
  bool sent = _ak_sendAll(socket, request, requestLength);
  free(request);
  char head[kHeadCapacity + 1];
  memset(head, 0, sizeof head);
  size_t headLength = 0;
  size_t readLength = 0;
  if (!sent || !_ak_readAnswerHead(socket, head, kHeadCapacity, &headLength, &readLength)) return nullptr;
  if (_ak_parseDecimal(head + 9, head + headLength) != 200) return nullptr;

  char encoding[128] = "";
  bool gzipped = headerText(head, headLength, "Content-Encoding: ", encoding, sizeof encoding) &&
                 _ak_equalsIgnoringCase(encoding, "gzip");
  char lengthText[32] = "";
  int64_t announced = headerText(head, headLength, "Content-Length: ", lengthText, sizeof lengthText)
                          ? _ak_parseDecimal(lengthText, lengthText + strlen(lengthText))
                          : 0;
  size_t knownLength = announced > 0 && static_cast<uint64_t>(announced) <= kMaxInstallerBody
                           ? static_cast<size_t>(announced)
                           : 0;
  if (announced > 0 && knownLength == 0) {
    _ak_setLastError(ClientError::InsufficientMemory);
    return nullptr;
  }
  SocketBody source{{readFromSocket}, socket, head + headLength, readLength - headLength};
  char* body = _ak_readInstallerBody(&source.source, knownLength, options, low, high, length);
  if (body != nullptr && gzipped) _ak_gunzip(&body, length);
  return body;
}

}  // namespace

char* _ak_httpsDownload(size_t* length, DownloadOptions* options, const char* userAgent, const char* url, int low,
                        int high) {
  *length = 0;
  int port = 0;
  const char* target = nullptr;
  char* host = _ak_splitHttpUrl(url, &port, &target);
  if (host == nullptr) return nullptr;
  char* body = nullptr;
  ak_socket socket = _ak_connect(host, port);
  if (socket != kNoSocket) {
    body = downloadOverSocket(socket, host, target, length, options, userAgent, low, high);
    akplatform::closeSocket(socket);
  }
  free(host);
  if (body == nullptr) *length = 0;
  return body;
}
