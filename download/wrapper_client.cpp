#include "download/wrapper_client.h"

#include <string.h>

#include <mutex>

#include "service_client/client_attributes.h"
#include "service_client/client_errors.h"
#include "service_client/client_lifecycle.h"
#include "service_client/download_options.h"
#include "service_client/exported_wrappers.h"
#include "service_client/service_update.h"
#include "service_client/file_operations.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

// The installer's progress callback is a plain function: the one installation under way keeps
// its receiver here.
std::mutex g_installLock;
const InstallProgress* g_installProgress = nullptr;

void forwardInstallProgress(int32_t percentage, uint32_t) {
  if (g_installProgress != nullptr) (*g_installProgress)(percentage);
}

// A text of the library (UTF-8) as a wide text.
std::wstring wideFromLibrary(const char* text) {
  if (text == nullptr) return std::wstring();
#ifdef _WIN32
  int size = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  if (size <= 1) return std::wstring();
  std::wstring wide(static_cast<size_t>(size - 1), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text, -1, &wide[0], size);
  return wide;
#else
  // The library's texts here are ASCII (identities, error texts).
  std::wstring wide;
  for (const char* c = text; *c != '\0'; ++c) wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  return wide;
#endif
}

}  // namespace

int32_t WrapperClient::TSInstall(const InstallProgress& progress) {
  if (!progress) return ::TSInstall(nullptr);
  std::lock_guard<std::mutex> guard(g_installLock);
  DownloadOptions options;
  memset(&options, 0, sizeof options);
  options.recordSize = kDownloadOptionsRecordSize;
  options.progressCallback = forwardInstallProgress;
  g_installProgress = &progress;
  int32_t result = ::TSInstall(&options);
  g_installProgress = nullptr;
  return result;
}

int32_t WrapperClient::TSInitialize() { return ::TSInitialize(); }

int32_t WrapperClient::TSUninitialize() { return ::TSUninitialize(); }

int32_t WrapperClient::AKGetAttr(std::wstring& guid) {
  ClientAttributes attributes;
  memset(&attributes, 0, sizeof attributes);
  attributes.recordSize = kClientAttributesRecordSize;
  int32_t result = ::AKGetAttr(&attributes);
  if (result == 0) guid = wideFromLibrary(attributes.guid);
  // The record's texts were handed over to us; any handle lets the library release them.
  ClientHandle releaser{};
  ak_cleanAttributes(&releaser, &attributes, 0);
  return result;
}

int32_t WrapperClient::AKDownload(const std::wstring& url, const std::wstring& path) {
  return ::AKDownload(url.c_str(), path.c_str());
}

int32_t WrapperClient::AKPause(const std::wstring& url) { return ::AKPause(url.c_str()); }

int32_t WrapperClient::AKRetry(const std::wstring& url, const std::wstring& path) {
  return ::AKRetry(url.c_str(), path.c_str());
}

int32_t WrapperClient::AKDelete(const std::wstring& url) { return ::AKDelete(url.c_str()); }

int32_t WrapperClient::AKGetFileAttr(const std::wstring& url, FileReading& reading) {
  FileAttributes attributes;
  memset(&attributes, 0, sizeof attributes);
  int64_t error = 0;
  int32_t result = ReadFileAttributes(url.c_str(), &attributes, &error);
  if (result == 0) {
    reading.error = error;
    reading.status = attributes.status;
    reading.size = attributes.size;
    reading.uniquerecv = attributes.uniquerecv;
    reading.downloadrate = attributes.downloadrate;
  }
  return result;
}

uint64_t WrapperClient::AKGetFileSize(const std::wstring& url, const std::wstring& path) {
  return ::AKGetFileSize(url.c_str(), path.c_str());
}

uint64_t WrapperClient::AKGetReceivedSize(const std::wstring& url) { return ::AKGetReceivedSize(url.c_str()); }

std::wstring WrapperClient::ErrorText(int32_t code) { return wideFromLibrary(ak_errorToString(code)); }

int32_t WrapperClient::SetDownloadLimit(uint64_t bytesPerSecond) { return SetWrapperDownloadLimit(bytesPerSecond); }

std::wstring WrapperClient::ServiceUpdateProblem() { return wideFromLibrary(_ak_serviceUpdateProblem()); }
