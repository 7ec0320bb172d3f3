#include "service_client/file_operations.h"

#include <stdlib.h>
#include <string.h>

#include "service_client/answer_reader.h"
#include "service_client/data_files.h"
#include "service_client/download_options.h"
#include "service_client/json_reader.h"
#include "service_client/memory_and_format.h"
#include "service_client/platform.h"
#include "service_client/service_interface.h"
#include "service_client/transport.h"

namespace {

constexpr char kChallengePrefix[] = "Challenge:";
constexpr char kFileInUsePrefix[] = "File is in use.";
constexpr int kDeleteAttempts = 5;
constexpr int kInUseWaitMs = 1000;

bool startsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

int failInvalidArgument() {
  _ak_setLastError(ClientError::InvalidArgument);
  return -1;
}

// Sends a request for one file: the target format takes the cid, the API version and the
// percent-encoded URL (and, for deletes, the keep flag). The answer, or null.
char* fileRequest(ClientHandle* handle, const char* format, int32_t cid, const char* url, char** targetOut = nullptr,
                  const char* extra = nullptr) {
  char* encoded = _ak_urlEncode(url);
  if (encoded == nullptr) return nullptr;
  char* target = nullptr;
  _ak_format(1024, &target, format, cid, service_client::kApiVersion, encoded, extra);
  free(encoded);
  char* answer = target != nullptr ? _ak_apiRequest(handle, target) : nullptr;
  if (targetOut != nullptr) {
    *targetOut = target;
  } else {
    free(target);
  }
  return answer;
}

// The service's per-file answer when it does not know the file or rejects its URL.
void setUnknownFileError(AnswerReader& reader, const char* url) {
  char* text = reader.string(url);
  if (reader.outOfMemory()) return;
  if (text != nullptr && _ak_equalsIgnoringCase(text, "File not found.")) {
    _ak_setLastError(ClientError::FileNotFound);
  } else if (text != nullptr && _ak_equalsIgnoringCase(text, "Invalid URL.")) {
    _ak_setLastError(ClientError::InvalidArgument);
  } else {
    _ak_setLastError(ClientError::InternalFailure);
  }
  free(text);
}

int32_t statusFromText(const char* text) {
  static const struct {
    const char* text;
    FileStatus status;
  } kStatuses[] = {
      {"SEARCHING", kFileSearching},
      {"WAITING", kFileWaiting},
      {"DOWNLOADING", kFileDownloading},
      {"PAUSED", kFilePaused},
      {"COMPLETE", kFileComplete},
      {"INSUFFICIENTDISKSPACE", kFileInsufficientDiskSpace},
      {"DISCONNECTED", kFileDisconnected},
      {"NOTFOUND", kFileNotFound},
      {"FORBIDDEN", kFileForbidden},
      {"MOVING", kFileMoving},
  };
  for (const auto& entry : kStatuses) {
    if (_ak_equalsIgnoringCase(text, entry.text)) return entry.status;
  }
  return kFileStatusUnknown;
}

bool fillAttributes(AnswerReader& reader, int32_t cid, const char* url, FileAttributes* out) {
  out->cid = cid;
  out->url = _ak_duplicate(url);
  if (out->url == nullptr) return false;
  out->path = reader.string("path");
  out->size = reader.number("size");
  out->uniquerecv = reader.number("uniquerecv");
  out->totalrecv = reader.number("totalrecv");
  out->progress = reader.number("progress");
  out->downloadrate = reader.number("downloadrate");
  out->errorstring = reader.string("errorstring");
  out->error = reader.number("error");
  out->suberror = reader.number("suberror");
  out->verifiedcontentmd5 = reader.string("verifiedcontentmd5");
  out->resetdownload = reader.flagTrue("resetdownload");
  return !reader.outOfMemory();
}

}  // namespace

extern "C" const char* ak_fileStatusToString(int32_t status) {
  static const char* const kTexts[] = {"Unknown State", "Searching", "Waiting",     "Downloading",
                                       "Paused",        "Complete",  "Insufficient Disk Space",
                                       "Disconnected",  "Not Found", "Moving",      "Forbidden"};
  if (status < kFileSearching || status > kFileForbidden) return kTexts[0];
  return kTexts[status];
}

char* _ak_urlEncode(const char* text) {
  if (text == nullptr) {
    _ak_setLastError(ClientError::InvalidArgument);
    return nullptr;
  }
  static const char kHex[] = "0123456789abcdef";
  char* encoded = static_cast<char*>(_ak_alloc(strlen(text) * 3 + 1));
  if (encoded == nullptr) return nullptr;
  char* out = encoded;
  for (const unsigned char* in = reinterpret_cast<const unsigned char*>(text); *in != 0; ++in) {
    bool plain = (*in >= 'a' && *in <= 'z') || (*in >= 'A' && *in <= 'Z') || (*in >= '0' && *in <= '9') ||
                 *in == '-' || *in == '.' || *in == '_';
    if (plain) {
      *out++ = static_cast<char>(*in);
    } else {
      *out++ = '%';
      *out++ = kHex[*in >> 4];
      *out++ = kHex[*in & 0xF];
    }
  }
  *out = '\0';
  return encoded;
}

ClientError _ak_serviceError(const char* answer, const char* url) {
  if (answer == nullptr || url == nullptr || answer[0] == '\0' || url[0] == '\0') return ClientError::InternalFailure;
  AnswerReader reader(answer);
  char* error = reader.string("error");
  free(error);
  if (reader.outOfMemory()) return ClientError::InsufficientMemory;
  if (error != nullptr) return ClientError::InvalidArgument;
  char* text = reader.string(url);
  if (reader.outOfMemory()) return ClientError::InsufficientMemory;
  ClientError result = ClientError::InternalFailure;
  if (text != nullptr) {
    static const struct {
      const char* text;
      ClientError error;
    } kErrors[] = {
        {"file not found", ClientError::FileNotFound},
        {"Invalid URL.", ClientError::InvalidArgument},
        {"cannot pause file already completed", ClientError::AlreadyDownloaded},
        {"Permission denied. Can't validate token (no file)", ClientError::ChallengeResponseError},
        {"Permission denied. Can't validate token (invalid file size)", ClientError::ChallengeResponseError},
        {"Permission denied, Can't validate token (invalid token)", ClientError::ChallengeResponseError},
    };
    for (const auto& entry : kErrors) {
      if (_ak_equalsIgnoringCase(text, entry.text)) result = entry.error;
    }
  }
  free(text);
  return result;
}

char* _ak_answerChallenge(const char* requestTarget, char* answer, ClientHandle* handle, const char* url,
                          const char* path) {
  AnswerReader reader(answer);
  char* text = reader.string(url);
  if (reader.outOfMemory()) {
    free(answer);
    return nullptr;
  }
  if (text == nullptr) return answer;
  if (!startsWith(text, kChallengePrefix)) {
    free(text);
    return answer;
  }
  const char* rest = text + strlen(kChallengePrefix);
  char* token = rest[0] != '\0' ? _ak_jsonUnescape(rest) : nullptr;
  char* result = nullptr;
  akplatform::setFileHidden(path, false);
  FILE* file = _ak_openFile(path, "w");
  if (file != nullptr && token != nullptr) {
    int written = fprintf(file, "%s", token);
    bool closed = fclose(file) == 0;
    akplatform::setFileHidden(path, true);
    if (closed && written >= 0 && static_cast<size_t>(written) == strlen(token)) {
      result = _ak_apiRequest(handle, requestTarget);
    }
  } else if (file != nullptr) {
    fclose(file);
  }
  free(answer);
  free(token);
  free(text);
  return result;
}

int _ak_urlOutcome(const char* answer, const char* url) {
  if (answer == nullptr) return -1;
  AnswerReader reader(answer);
  if (reader.isNull(url)) {
    _ak_setLastError(ClientError::Success);
    return 0;
  }
  if (!reader.outOfMemory()) _ak_setLastError(_ak_serviceError(answer, url));
  return -1;
}

extern "C" int ak_cleanFileAttributes(ClientHandle* handle, FileAttributes* attributes, int32_t reserved) {
  if (handle == nullptr || attributes == nullptr || reserved != 0) return failInvalidArgument();
  free(attributes->url);
  free(attributes->path);
  free(attributes->errorstring);
  free(attributes->verifiedcontentmd5);
  memset(attributes, 0, sizeof *attributes);
  return 0;
}

extern "C" int ak_getFileAttributes(ClientHandle* handle, int32_t cid, const char* url, FileAttributes* attributes,
                                    int32_t reserved) {
  if (handle == nullptr || url == nullptr || attributes == nullptr || cid < 0 || reserved != 0) return failInvalidArgument();
  _ak_setLastError(ClientError::InternalFailure);
  if (ak_cleanFileAttributes(handle, attributes, 0) != 0) return -1;
  char* answer = fileRequest(handle, service_client::kGetFileAttributesTarget, cid, url);
  if (answer == nullptr) return -1;

  AnswerReader reader(answer);
  int result = -1;
  char* status = reader.string("status");
  if (status != nullptr) {
    attributes->status = statusFromText(status);
    if (fillAttributes(reader, cid, url, attributes)) {
      _ak_setLastError(ClientError::Success);
      result = 0;
    }
  } else if (!reader.outOfMemory()) {
    setUnknownFileError(reader, url);
  }
  free(status);
  free(answer);
  return result;
}

extern "C" int ak_pauseFile(ClientHandle* handle, int32_t cid, const char* url, int32_t reserved) {
  if (handle == nullptr || url == nullptr || reserved != 0 || cid < 0) return failInvalidArgument();
  _ak_setLastError(ClientError::InternalFailure);
  char* answer = fileRequest(handle, service_client::kPauseFileTarget, cid, url);
  int result = _ak_urlOutcome(answer, url);
  free(answer);
  return result;
}

extern "C" int ak_deleteFile(ClientHandle* handle, int32_t cid, const char* url, const DownloadOptions* options) {
  if (handle == nullptr || url == nullptr || cid < 0) return failInvalidArgument();
  _ak_setLastError(ClientError::InternalFailure);
  bool keep = options != nullptr && options->keepPhysicalFileOnDelete != 0;

  // The file's state first: the service must know the file, and its path receives a challenge.
  char* answer = fileRequest(handle, service_client::kGetFileAttributesTarget, cid, url);
  if (answer == nullptr) return -1;
  AnswerReader stateReader(answer);
  char* unknown = stateReader.string(url);
  char* path = unknown == nullptr && !stateReader.outOfMemory() ? stateReader.string("path") : nullptr;
  bool failed = stateReader.outOfMemory();
  if (unknown != nullptr) {
    setUnknownFileError(stateReader, url);
    failed = true;
  }
  free(unknown);
  free(answer);
  if (failed) {
    free(path);
    return -1;
  }

  int result = -1;
  char* target = nullptr;
  answer = fileRequest(handle, service_client::kDeleteFileTarget, cid, url, &target, keep ? "true" : "false");
  for (int attempt = 1; answer != nullptr; ++attempt) {
    AnswerReader reader(answer);
    char* text = reader.string(url);
    bool inUse = text != nullptr && startsWith(text, kFileInUsePrefix);
    free(text);
    if (reader.outOfMemory()) {
      free(answer);
      answer = nullptr;
      break;
    }
    if (!inUse) break;
    free(answer);
    answer = nullptr;
    if (attempt == kDeleteAttempts) {
      _ak_setLastError(ClientError::FileInUse);
      break;
    }
    akplatform::sleepMs(kInUseWaitMs);
    answer = _ak_apiRequest(handle, target);
  }
  if (answer != nullptr && path != nullptr) {
    answer = _ak_answerChallenge(target, answer, handle, url, path);
    // A challenge that could not be answered leaves nothing to read: the argument was wrong.
    if (answer == nullptr && ak_getLastError() != static_cast<int32_t>(ClientError::InsufficientMemory)) {
      _ak_setLastError(ClientError::InvalidArgument);
    }
  }
  if (answer != nullptr) {
    AnswerReader reader(answer);
    if (reader.isNull(url)) {
      _ak_setLastError(ClientError::Success);
      result = 0;
    }
  }
  free(answer);
  free(target);
  free(path);
  return result;
}
