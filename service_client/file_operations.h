// Per-file operations on the service: a file's state, pausing, deleting; the status codes and
// their texts; and the helpers the download request shares (percent-encoding, the mapping of the
// service's error texts, the answer to its write challenge).
#ifndef SERVICE_CLIENT_FILE_OPERATIONS_H
#define SERVICE_CLIENT_FILE_OPERATIONS_H

#include <stdint.h>

#include "service_client/client_errors.h"
#include "service_client/client_lifecycle.h"

enum FileStatus : int32_t {
  kFileStatusUnknown = 0,
  kFileSearching = 1,
  kFileWaiting = 2,
  kFileDownloading = 3,
  kFilePaused = 4,
  kFileComplete = 5,
  kFileInsufficientDiskSpace = 6,
  kFileDisconnected = 7,
  kFileNotFound = 8,
  kFileMoving = 9,
  kFileForbidden = 10,
};

// A file's state as the service reports it. The caller zero-fills it before first use; the
// strings belong to the record and are released by ak_cleanFileAttributes. The layout is part of
// the exported interface (104 bytes in the 32-bit program).
struct FileAttributes {
  uint32_t leadingWords[2];  // neither read nor written, only zeroed
  int32_t cid;
  char* url;
  int32_t status;  // FileStatus
  char* path;
  int64_t size;
  int64_t uniquerecv;
  int64_t progress;
  int64_t downloadrate;
  char* errorstring;
  int64_t error;
  int64_t suberror;
  char* verifiedcontentmd5;
  int64_t totalrecv;
  int32_t resetdownload;
};
#if defined(_WIN32) && !defined(_WIN64)
static_assert(sizeof(FileAttributes) == 104, "FileAttributes is part of the exported interface");
#endif

struct DownloadOptions;

extern "C" {
int ak_getFileAttributes(ClientHandle* handle, int32_t cid, const char* url, FileAttributes* attributes,
                         int32_t reserved);
int ak_cleanFileAttributes(ClientHandle* handle, FileAttributes* attributes, int32_t reserved);
int ak_pauseFile(ClientHandle* handle, int32_t cid, const char* url, int32_t reserved);
// Deletes the file at the service (and from disk unless options keep it).
int ak_deleteFile(ClientHandle* handle, int32_t cid, const char* url, const DownloadOptions* options);
const char* ak_fileStatusToString(int32_t status);
}

// New percent-encoded copy: letters, digits, "-", "." and "_" stay, every other byte becomes
// "%" and two lowercase hex digits.
char* _ak_urlEncode(const char* text);

// The ClientError that an answer's error text for url stands for.
ClientError _ak_serviceError(const char* answer, const char* url);

// 0 with Success when the answer's member named by url is null; otherwise -1 with the error the
// service's text stands for (the transport's error when there is no answer).
int _ak_urlOutcome(const char* answer, const char* url);

// When the answer asks for the write challenge ("Challenge:<token>" under url), writes the token
// into the file at path, marks it hidden and repeats the request: returns the new answer. Returns
// the answer unchanged when there is no challenge, and null when it cannot be answered. The
// answer given is owned by the function.
char* _ak_answerChallenge(const char* requestTarget, char* answer, ClientHandle* handle, const char* url,
                          const char* path);

#endif
