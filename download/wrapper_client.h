// The job's client calls carried out by the library's exported wrappers, in this process.
#ifndef DOWNLOAD_WRAPPER_CLIENT_H
#define DOWNLOAD_WRAPPER_CLIENT_H

#include "download/client_api.h"

class WrapperClient : public ClientApi {
 public:
  int32_t TSInstall(const InstallProgress& progress) override;
  int32_t TSInitialize() override;
  int32_t TSUninitialize() override;
  int32_t AKGetAttr(std::wstring& guid) override;
  int32_t AKDownload(const std::wstring& url, const std::wstring& path) override;
  int32_t AKPause(const std::wstring& url) override;
  int32_t AKRetry(const std::wstring& url, const std::wstring& path) override;
  int32_t AKDelete(const std::wstring& url) override;
  int32_t AKGetFileAttr(const std::wstring& url, FileReading& reading) override;
  uint64_t AKGetFileSize(const std::wstring& url, const std::wstring& path) override;
  uint64_t AKGetReceivedSize(const std::wstring& url) override;
  std::wstring ErrorText(int32_t code) override;
  std::wstring ServiceUpdateProblem() override;
  int32_t SetDownloadLimit(uint64_t bytesPerSecond) override;
};

#endif
