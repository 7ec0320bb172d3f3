#include "service_client/transport.h"

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "service_client/client_errors.h"
#include "service_client/memory_and_format.h"
#include "service_client/service_interface.h"
#include "service_client/service_port.h"
#include "service_client/test_hooks.h"

namespace {

constexpr char kRequestFormat[] =
    "GET /%s HTTP/1.0\r\nHost: %s\r\nUser-Agent: %s\r\nConnection: keep-alive\r\n\r\n";
constexpr size_t kHeaderCapacity = 4096;
constexpr size_t kFirstUnsizedBody = 1048576;

int g_connectTimeoutMs = kConnectTimeoutMs;
int g_ioTimeoutMs = kIoTimeoutMs;

}  // namespace

// Bounded search: data from a peer may hold NUL bytes and is not terminated.
const char* _ak_findBytes(const char* haystack, size_t haystackLength, const char* needle) {
  size_t needleLength = strlen(needle);
  if (needleLength > haystackLength) return nullptr;
  for (size_t i = 0; i + needleLength <= haystackLength; ++i) {
    if (memcmp(haystack + i, needle, needleLength) == 0) return haystack + i;
  }
  return nullptr;
}

// The value of a header line that starts with name (e.g. "Location: "): the first such line, or
// the last one when wantLast. Only whole header names count, so "Content-Location: " is not
// taken for "Location: ".
const char* _ak_findHeaderValue(const char* block, size_t length, const char* name, bool wantLast) {
  const char* found = nullptr;
  size_t nameLength = strlen(name);
  for (size_t i = 0; i + nameLength <= length; ++i) {
    if (block[i] == '\n' && i + 1 + nameLength <= length && memcmp(block + i + 1, name, nameLength) == 0) {
      found = block + i + 1 + nameLength;
      if (!wantLast) break;
    }
  }
  return found;
}

// strtoll-like reading of a decimal within [text, end): white space, sign, digits; saturates.
int64_t _ak_parseDecimal(const char* text, const char* end) {
  while (text < end && (*text == ' ' || *text == '\t')) ++text;
  bool negative = false;
  if (text < end && (*text == '+' || *text == '-')) negative = *text++ == '-';
  int64_t value = 0;
  for (; text < end && *text >= '0' && *text <= '9'; ++text) {
    int digit = *text - '0';
    if (value > (INT64_MAX - digit) / 10) return negative ? INT64_MIN : INT64_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

bool _ak_sendAll(ak_socket socket, const char* data, size_t length) {
  while (length > 0) {
    long sent = akplatform::sendSome(socket, data, length);
    if (sent <= 0) return false;
    data += sent;
    length -= static_cast<size_t>(sent);
  }
  return true;
}

bool _ak_readAnswerHead(ak_socket socket, char* buffer, size_t capacity, size_t* headLength, size_t* readLength) {
  size_t received = 0;
  const char* blankLine = nullptr;
  while (blankLine == nullptr && received < capacity) {
    long count = akplatform::receiveSome(socket, buffer + received, capacity - received);
    if (count <= 0) break;
    received += static_cast<size_t>(count);
    blankLine = _ak_findBytes(buffer, received, "\r\n\r\n");
  }
  if (received < 9 || blankLine == nullptr) {
    _ak_setLastError(ClientError::NetworkFailure);
    return false;
  }
  *headLength = static_cast<size_t>(blankLine - buffer) + 4;
  *readLength = received;
  return true;
}

char* _ak_splitHttpUrl(const char* url, int* port, const char** target) {
  const char* hostStart = url != nullptr && strncmp(url, "http://", 7) == 0 ? url + 7 : nullptr;
  const char* slash = hostStart != nullptr ? strchr(hostStart, '/') : nullptr;
  if (slash == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  char* host = _ak_duplicate(hostStart);
  if (host == nullptr) return nullptr;
  char* path = host + (slash - hostStart);
  *path++ = '\0';
  *port = 80;
  char* colon = strchr(host, ':');
  if (colon != nullptr) {
    *colon = '\0';
    int64_t number = _ak_parseDecimal(colon + 1, colon + 1 + strlen(colon + 1));
    *port = number >= 1 && number <= 65535 ? static_cast<int>(number) : -1;
  }
  if (*port < 0) {
    free(host);
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  *target = path;
  return host;
}

namespace {

// Reads a body of a known length; alreadyHere bytes of it came with the header.
char* readSizedBody(ak_socket socket, const char* alreadyHere, size_t alreadyLength, size_t length) {
  char* body = static_cast<char*>(_ak_alloc(length + 1));
  if (body == nullptr) return nullptr;
  memset(body, 0, length + 1);
  size_t total = alreadyLength < length ? alreadyLength : length;
  memcpy(body, alreadyHere, total);
  while (total < length) {
    long received = akplatform::receiveSome(socket, body + total, length - total);
    if (received <= 0) break;
    total += static_cast<size_t>(received);
  }
  if (total != length) {
    free(body);
    _ak_setLastError(ClientError::NetworkFailure);
    return nullptr;
  }
  return body;
}

// Reads a body until the peer closes the connection; the buffer always keeps a final zero byte.
char* readBodyToClose(ak_socket socket, const char* alreadyHere, size_t alreadyLength, size_t* length) {
  size_t capacity = alreadyLength + kFirstUnsizedBody;
  char* body = static_cast<char*>(_ak_alloc(capacity));
  if (body == nullptr) return nullptr;
  memset(body, 0, capacity);
  memcpy(body, alreadyHere, alreadyLength);
  size_t total = alreadyLength;
  for (;;) {
    if (total > kMaxAnswerBody) {
      free(body);
      _ak_setLastError(ClientError::InsufficientMemory);
      return nullptr;
    }
    if (total + 1 == capacity) {
      char* larger = static_cast<char*>(_ak_alloc(capacity * 2));
      if (larger == nullptr) {
        free(body);
        return nullptr;
      }
      memcpy(larger, body, total);
      memset(larger + total, 0, capacity * 2 - total);
      free(body);
      body = larger;
      capacity *= 2;
    }
    long received = akplatform::receiveSome(socket, body + total, capacity - 1 - total);
    if (received == 0) break;
    if (received < 0) {
      // An error or a time-out is not the end of the answer: the body would be cut short.
      free(body);
      _ak_setLastError(ClientError::NetworkFailure);
      return nullptr;
    }
    total += static_cast<size_t>(received);
  }
  *length = total;
  return body;
}

char* fetchUrl(const char* userAgent, const char* url, ak_socket* socketOut, size_t* lengthOut, int redirectsLeft) {
  int port = 0;
  const char* target = nullptr;
  char* copy = _ak_splitHttpUrl(url, &port, &target);
  if (copy == nullptr) return nullptr;
  ak_socket socket = _ak_connect(copy, port);
  if (socket == kNoSocket) {
    free(copy);
    return nullptr;
  }
  char* header = nullptr;
  char* body = nullptr;
  size_t length = 0;
  char* result = nullptr;
  bool handedOver = false;
  if (_ak_httpExchange(target, copy, userAgent, socket, &header, &body, &length) && strlen(header) > 8) {
    int64_t status = _ak_parseDecimal(header + 9, header + strlen(header));
    size_t headerLength = strlen(header);
    if (status / 100 == 3) {
      const char* location = _ak_findHeaderValue(header, headerLength, "Location: ", true);
      size_t locationLength = location != nullptr ? strcspn(location, "\r\n") : 0;
      if (locationLength > 0) {
        char* next = static_cast<char*>(_ak_alloc(locationLength + 1));
        if (next != nullptr) {
          memcpy(next, location, locationLength);
          next[locationLength] = '\0';
        }
        free(header);
        free(body);
        free(copy);
        akplatform::closeSocket(socket);
        if (next == nullptr) return nullptr;
        if (redirectsLeft > 0) {
          result = fetchUrl(userAgent, next, socketOut, lengthOut, redirectsLeft - 1);
        } else {
          _ak_setLastError(ClientError::NetworkFailure);
        }
        free(next);
        return result;
      }
    } else if (status == 200) {
      result = body;
      body = nullptr;
      if (lengthOut != nullptr) *lengthOut = length;
      if (socketOut != nullptr) {
        *socketOut = socket;
        handedOver = true;
      }
    }
  }
  free(header);
  free(body);
  free(copy);
  if (!handedOver) akplatform::closeSocket(socket);
  return result;
}

}  // namespace

#ifdef AK_TEST_HOOKS
void _ak_testSetTransportTimeouts(int connectMs, int ioMs) {
  g_connectTimeoutMs = connectMs > 0 ? connectMs : kConnectTimeoutMs;
  g_ioTimeoutMs = ioMs > 0 ? ioMs : kIoTimeoutMs;
}
#endif

ak_socket _ak_connect(const char* host, int port) {
  uint32_t address = 0;
  if (host == nullptr || port <= 0 || port > 65535 ||
      akplatform::resolveIPv4(host, &address) != akplatform::ResolveResult::Ok) {
    _ak_setLastError(ClientError::InvalidArgument);
    return kNoSocket;
  }
  ak_socket socket = akplatform::openTcpSocket();
  if (socket == kNoSocket) {
    _ak_setLastError(ClientError::NetworkFailure);
    return kNoSocket;
  }
  if (!akplatform::connectWithTimeout(socket, address, static_cast<uint16_t>(port), g_connectTimeoutMs)) {
    _ak_setLastError(ClientError::NetworkFailure);
    akplatform::closeSocket(socket);
    return kNoSocket;
  }
  // 127.0.0.1 is every account's: the service's port may be held by another user's program, and
  // what it asks (a token written here, a file written there) must never be done for it.
  if (_ak_isServicePort(port) && address == akplatform::kLoopbackAddress &&
      !akplatform::peerIsThisUser(socket)) {
    _ak_setLastError(ClientError::PortBlocked);
    akplatform::closeSocket(socket);
    return kNoSocket;
  }
  akplatform::setIoTimeouts(socket, g_ioTimeoutMs);
  return socket;
}

int _ak_httpExchange(const char* path, const char* host, const char* userAgent, ak_socket socket, char** header,
                     char** body, size_t* length) {
  if (header != nullptr) *header = nullptr;
  if (body == nullptr || path == nullptr || host == nullptr || userAgent == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return 0;
  }
  *body = nullptr;

  char* request = nullptr;
  size_t requestLength = _ak_format(1024, &request, kRequestFormat, path, host, userAgent);
  if (request == nullptr) return 0;
  bool sent = _ak_sendAll(socket, request, requestLength);
  free(request);
  if (!sent) {
    _ak_setLastError(ClientError::NetworkFailure);
    return 0;
  }

  char received[kHeaderCapacity];
  memset(received, 0, sizeof received);
  size_t receivedLength = 0;
  size_t headerLength = 0;
  if (!_ak_readAnswerHead(socket, received, sizeof received, &headerLength, &receivedLength)) return 0;
  const char* firstBodyBytes = received + headerLength;
  size_t firstBodyLength = receivedLength - headerLength;
  char* headerText = nullptr;
  if (header != nullptr) {
    headerText = static_cast<char*>(_ak_alloc(headerLength + 1));
    if (headerText == nullptr) return 0;
    memcpy(headerText, received, headerLength);
    headerText[headerLength] = '\0';
  }

  char* answer = nullptr;
  size_t answerLength = 0;
  bool ok;
  const char* contentLength = _ak_findHeaderValue(received, headerLength, "Content-Length: ", false);
  if (contentLength != nullptr) {
    int64_t announced = _ak_parseDecimal(contentLength, received + headerLength);
    if (announced <= 0) {
      ok = true;
      answerLength = firstBodyLength;
    } else if (static_cast<uint64_t>(announced) > kMaxAnswerBody) {
      _ak_setLastError(ClientError::InsufficientMemory);
      ok = false;
    } else {
      answerLength = static_cast<size_t>(announced);
      answer = readSizedBody(socket, firstBodyBytes, firstBodyLength, answerLength);
      ok = answer != nullptr;
    }
  } else {
    answer = readBodyToClose(socket, firstBodyBytes, firstBodyLength, &answerLength);
    ok = answer != nullptr;
  }

  if (!ok) {
    free(headerText);
    return 0;
  }
  if (header != nullptr) *header = headerText;
  *body = answer;
  if (length != nullptr) *length = answerLength;
  return 1;
}

char* _ak_apiRequest(ClientHandle* handle, const char* path) {
  if (handle == nullptr || path == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  if (handle->socket == kNoSocket) {
    int ports[2];
    int count = _ak_servicePorts(ports);
    for (int i = 0; i < count && handle->socket == kNoSocket; ++i) {
      handle->socket = _ak_connect(service_client::kServiceAddress, ports[i]);
    }
    if (handle->socket == kNoSocket) {
      // Another account's program on the port is no missing service.
      if (ak_getLastError() != static_cast<int32_t>(ClientError::PortBlocked)) _ak_setLastError(ClientError::NotInstalled);
      return nullptr;
    }
  }
  char* body = nullptr;
  if (!_ak_httpExchange(path, service_client::kServiceHostHeader, handle->clientName, handle->socket, nullptr, &body,
                        nullptr)) {
    akplatform::closeSocket(handle->socket);
    handle->socket = kNoSocket;
  }
  return body;
}

char* _ak_fetchUrl(const char* userAgent, const char* url, ak_socket* socketOut, size_t* lengthOut) {
  return fetchUrl(userAgent, url, socketOut, lengthOut, kMaxRedirects);
}

int _ak_ping(const char* userAgent) {
  int ports[2];
  int count = _ak_servicePorts(ports);
  for (int i = 0; i < count; ++i) {
    char* url = nullptr;
    _ak_format(1024, &url, service_client::kPingUrlFormat, ports[i], service_client::kApiVersion);
    if (url == nullptr) return 1;
    char* body = _ak_fetchUrl(userAgent, url, nullptr, nullptr);
    free(url);
    const bool answered = body != nullptr;
    free(body);
    if (answered) return 0;
  }
  return 1;
}
