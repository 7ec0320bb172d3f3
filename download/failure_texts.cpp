#include "download/failure_texts.h"

#include "service_client/client_errors.h"

const wchar_t kNoSidText[] = L"Cannot connect to server, please retry later.";
const wchar_t kInvalidGameDataText[] = L"Game data is invalid.";
const wchar_t kConnectionProblemsText[] = L"Connection problems";
const wchar_t kNotEnoughDiskSpaceText[] = L"Not enough disk space";

const wchar_t* WaitingFileText(int64_t systemCode) {
  // ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_USER_MAPPED_FILE
  if (systemCode == 32 || systemCode == 33 || systemCode == 1224) {
    return L"Waiting for another program to release the file";
  }
  return L"The file cannot be written";
}
const wchar_t kStartingDownloadText[] = L"Starting download...";
const wchar_t kFileSizeUnknownText[] = L"Cannot read the size of the game files, please retry later.";
const wchar_t kUnverifiedFilesText[] = L"The downloaded files could not be verified, please retry later.";

std::wstring ClientFailureText(int32_t code, const std::wstring& fallback) {
  switch (static_cast<ClientError>(code)) {
    case ClientError::DiskIoFailure:
      return L"Disk I/O Failure";
    case ClientError::InsufficientMemory:
      return L"Insufficient Memory";
    case ClientError::InternalFailure:
      return L"Internal Failure";
    default:
      return fallback;
  }
}

std::wstring InstallFailureText(int32_t code) { return ClientFailureText(code, L"Cannot install the download service."); }

std::wstring InstallErrorDescription(const std::wstring& clientText) {
  std::wstring text = clientText;
  const size_t placeholder = text.find(L"%s");
  if (placeholder != std::wstring::npos) text.replace(placeholder, 2, L"service_installer.exe");
  return text;
}

std::wstring InitializeFailureText(int32_t code) {
  if (code == static_cast<int32_t>(ClientError::NotInstalled)) return L"Cannot install the download service.";
  return ClientFailureText(code, L"Failed to initialize the download service");
}
