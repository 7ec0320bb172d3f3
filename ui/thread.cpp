#include "ui/thread.h"

#include <process.h>

CThreadT::~CThreadT() {
  if (handle_ != nullptr) CloseHandle(handle_);
}

bool CThreadT::Start(unsigned(__stdcall* body)(void*), void* parameter) {
  if (handle_ != nullptr) return false;
  unsigned id = 0;
  // _beginthreadex rather than CreateThread: the C runtime sets up its per-thread data.
  const uintptr_t handle = _beginthreadex(nullptr, 0, body, parameter, CREATE_SUSPENDED, &id);
  if (handle == 0) return false;
  handle_ = reinterpret_cast<HANDLE>(handle);
  id_ = id;
  ResumeThread(handle_);
  return true;
}

bool CThreadT::Join(DWORD timeoutMs) const {
  return handle_ != nullptr && WaitForSingleObject(handle_, timeoutMs) == WAIT_OBJECT_0;
}

bool CThreadT::ExitCode(DWORD* code) const {
  return handle_ != nullptr && GetExitCodeThread(handle_, code) && *code != STILL_ACTIVE;
}
