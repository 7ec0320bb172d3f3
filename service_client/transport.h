// The library's only road to the service: a minimal HTTP/1.0 client over the platform's sockets.
#ifndef SERVICE_CLIENT_TRANSPORT_H
#define SERVICE_CLIENT_TRANSPORT_H

#include <stddef.h>
#include <stdint.h>

#include "service_client/client_lifecycle.h"
#include "service_client/platform.h"

// Answers larger than this are refused with InsufficientMemory.
constexpr size_t kMaxAnswerBody = 10485760;
// Redirects followed by one fetch before it gives up with NetworkFailure.
constexpr int kMaxRedirects = 10;
// A service that neither answers nor closes must not hold the window's thread for long; a
// healthy local service answers in milliseconds.
constexpr int kConnectTimeoutMs = 5000;
constexpr int kIoTimeoutMs = 15000;

// Connects to host:port (first IPv4 address): the socket, or kNoSocket with InvalidArgument
// (lookup failed) or NetworkFailure (socket or connect failed).
ak_socket _ak_connect(const char* host, int port);

// Sends "GET /<path>" and reads the answer. On success returns 1 and stores a new NUL-terminated
// body (null when the answer has no body), its length, and the header block when asked for.
// On failure returns 0 with every output null.
int _ak_httpExchange(const char* path, const char* host, const char* userAgent, ak_socket socket, char** header,
                     char** body, size_t* length);

// One API request on the handle's kept connection: the answer's body whatever its status, or
// null. A failed exchange drops the connection so that the next request opens a new one.
char* _ak_apiRequest(ClientHandle* handle, const char* path);

// GET of a full "http://" URL on its own connection, following redirects: the body of a 200
// answer, or null. When socketOut is given the open connection is handed over to the caller.
char* _ak_fetchUrl(const char* userAgent, const char* url, ak_socket* socketOut, size_t* lengthOut);

// Small pieces of the HTTP reading, shared with the installer download.
// Bounded search in bytes that may hold NUL bytes and need no terminator.
const char* _ak_findBytes(const char* haystack, size_t haystackLength, const char* needle);
// The value after a header line's name (e.g. "Location: "): the first such line, or the last
// one when wantLast; whole header names only. Null when there is none.
const char* _ak_findHeaderValue(const char* block, size_t length, const char* name, bool wantLast);
// strtoll-like reading of a decimal within [text, end): white space, sign, digits; saturates.
int64_t _ak_parseDecimal(const char* text, const char* end);
bool _ak_sendAll(ak_socket socket, const char* data, size_t length);
// Reads until the blank line that ends an answer's head: its length (blank line included) and
// how many bytes were read (the rest belongs to the body). False with NetworkFailure.
bool _ak_readAnswerHead(ak_socket socket, char* buffer, size_t capacity, size_t* headLength, size_t* readLength);
// Splits "http://host[:port]/target": a new host text (free it), the port and the target (inside
// the host text's memory, after its end). Null with InvalidArgument for anything else.
char* _ak_splitHttpUrl(const char* url, int* port, const char** target);

// 0 when the service answers its ping with a body, 1 when it does not.
int _ak_ping(const char* userAgent);

#endif
