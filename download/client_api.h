// The client wrapper calls the job makes (service_client/exported_wrappers.h): the same names, the
// same results (ClientError codes, 0 for success), with std::wstring for the wide texts.
//
// Threads: TSInstall, TSInitialize, AKGetAttr, AKGetFileSize and AKGetReceivedSize run during the
// client start-up on the HTTP stack's thread; the rest on the window's thread. The start-up ends
// before the progress timer begins, so the calls never overlap.
#ifndef DOWNLOAD_CLIENT_API_H
#define DOWNLOAD_CLIENT_API_H

#include <stdint.h>

#include <functional>
#include <string>

// What a poll reads of the service's FileAttributes record.
struct FileReading {
  int32_t status = 0;  // FileStatus (service_client/file_operations.h)
  int64_t size = 0;
  int64_t uniquerecv = 0;    // bytes of the file the service holds
  int64_t downloadrate = 0;  // bytes per second
  // For a WAITING file, the system's code of what keeps it from being written (another program
  // holding it, a folder the service may not write).
  int64_t error = 0;
};

// The installer's progress, 0 to 100.
using InstallProgress = std::function<void(int32_t percent)>;

class ClientApi {
 public:
  virtual ~ClientApi() = default;

  // A non-empty progress is called while the installer works (the options record's progress
  // callback); an empty one means no options record at all.
  virtual int32_t TSInstall(const InstallProgress& progress) = 0;
  virtual int32_t TSInitialize() = 0;
  virtual int32_t TSUninitialize() = 0;
  // On success guid receives the record's guid, converted from UTF-8.
  virtual int32_t AKGetAttr(std::wstring& guid) = 0;
  virtual int32_t AKDownload(const std::wstring& url, const std::wstring& path) = 0;
  virtual int32_t AKPause(const std::wstring& url) = 0;
  virtual int32_t AKRetry(const std::wstring& url, const std::wstring& path) = 0;
  virtual int32_t AKDelete(const std::wstring& url) = 0;
  // On success fills reading; on failure leaves it as it was.
  virtual int32_t AKGetFileAttr(const std::wstring& url, FileReading& reading) = 0;
  // 0 when no size could be had within the wrapper's poll limit.
  virtual uint64_t AKGetFileSize(const std::wstring& url, const std::wstring& path) = 0;
  virtual uint64_t AKGetReceivedSize(const std::wstring& url) = 0;
  // ak_errorToString of code, converted from UTF-8.
  virtual std::wstring ErrorText(int32_t code) = 0;
  // Why the last TSInstall's update of an older running service failed (the service that still
  // answered is used); empty when no update was needed or it worked.
  virtual std::wstring ServiceUpdateProblem() { return std::wstring(); }
  // The service's download speed limit for everything it fetches, bytes per second (0: none);
  // 0 or a ClientError code.
  virtual int32_t SetDownloadLimit(uint64_t bytesPerSecond) = 0;
};

#endif
