#include "windows_common/system_functions.h"

#include <mutex>

#include "windows_common/system_folder_dlls.h"

namespace wincommon {
namespace {

std::mutex failureLock;
std::string lastFailure;

}  // namespace

SystemFunctionResolver::SystemFunctionResolver(const char* dll) : dll_(dll), module_(LoadSystemFolderDll(dll)) {
  if (module_ == nullptr) {
    const DWORD error = GetLastError();
    error_ = error != 0 ? error : ERROR_MOD_NOT_FOUND;
    failure_ = std::string(dll) + " not loaded (system error " + std::to_string(error_) + ")";
  }
}

FARPROC SystemFunctionResolver::Find(const char* name) {
  if (module_ == nullptr) return nullptr;
  FARPROC function = GetProcAddress(module_, name);
  if (function == nullptr && error_ == 0) {
    error_ = ERROR_PROC_NOT_FOUND;
    failure_ = std::string(dll_) + ": " + name + " not found";
  }
  return function;
}

void NoteSystemFunctionsFailure(const std::string& failure) {
  OutputDebugStringA(failure.c_str());
  std::lock_guard<std::mutex> hold(failureLock);
  lastFailure = failure;
}

std::string SystemFunctionsFailure() {
  std::lock_guard<std::mutex> hold(failureLock);
  return lastFailure;
}

}  // namespace wincommon
