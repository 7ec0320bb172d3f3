// The wrappers the program's download controller calls: one process-wide client handle, cid 0,
// the client name "Tessel Download Client", wide-string arguments converted to UTF-8 (which the
// library and the service read paths and URLs in), and ClientError results (0 for success).
#ifndef SERVICE_CLIENT_EXPORTED_WRAPPERS_H
#define SERVICE_CLIENT_EXPORTED_WRAPPERS_H

#include <stdint.h>
#include <wchar.h>

#include "service_client/client_attributes.h"
#include "service_client/download_options.h"
#include "service_client/file_operations.h"

extern "C" {
int32_t TSInitialize(void);
// Installs the service when it does not answer (uploads enabled, the agreement recorded); only
// the options' progressCallback and errorText are used.
int32_t TSInstall(DownloadOptions* options);
int32_t TSUninitialize(void);
int32_t AKDownload(const wchar_t* url, const wchar_t* path);
int32_t AKPause(const wchar_t* url);
// Pauses then downloads the file again; always 0 (the caller reads the file's state afterwards).
int32_t AKRetry(const wchar_t* url, const wchar_t* path);
// Deletes the file at the service and from disk.
int32_t AKDelete(const wchar_t* url);
// Copies status, size, uniquerecv, progress, downloadrate and totalrecv into the caller's record.
int32_t AKGetFileAttr(const wchar_t* url, FileAttributes* attributes);
// Replaces the caller's record (zero-filled before first use) with the service's attributes.
int32_t AKGetAttr(ClientAttributes* attributes);
// The file's size, starting the download (then pausing it) when the service does not know it
// yet; 0 when no size can be had within the poll limit.
uint64_t AKGetFileSize(const wchar_t* url, const wchar_t* path);
// The unique bytes received so far; 0 when the service does not know the file or cannot be asked.
uint64_t AKGetReceivedSize(const wchar_t* url);
}

// AKGetFileAttr that also hands over the record's error member: for a WAITING file, the system's
// code of what holds it up (another program holding it, a folder it may not write). The
// program's own poll reads it; the exported wrapper copies only the six members it names.
int32_t ReadFileAttributes(const wchar_t* url, FileAttributes* attributes, int64_t* systemError);

// Sets the download speed limit of the service the wrappers talk to (bytes per second, 0 for
// none): the library's own call, not an exported one. 0 or a ClientError code, as the wrappers.
int32_t SetWrapperDownloadLimit(uint64_t bytesPerSecond);

// How long AKGetFileSize waits for the service to learn a size, and how often it asks.
constexpr int kFileSizePollLimitMs = 30000;
constexpr int kFileSizePollIntervalMs = 200;

#endif
