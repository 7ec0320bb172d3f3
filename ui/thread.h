// A thread object: CThreadT holds the thread's handle and id, CThreadImpl<T> runs T::Run on a new
// thread. The thread is created suspended and resumed at once, so the handle and id are set before
// the body can look at them.
#ifndef UI_THREAD_H
#define UI_THREAD_H

#include <windows.h>

class CThreadT {
 public:
  CThreadT() = default;
  CThreadT(const CThreadT&) = delete;
  CThreadT& operator=(const CThreadT&) = delete;
  ~CThreadT();

  HANDLE Handle() const { return handle_; }
  DWORD Id() const { return id_; }
  // Waits up to timeoutMs for the thread to end; true when it has ended.
  bool Join(DWORD timeoutMs) const;
  // The thread's return value once it has ended.
  bool ExitCode(DWORD* code) const;

 protected:
  bool Start(unsigned(__stdcall* body)(void*), void* parameter);

 private:
  HANDLE handle_ = nullptr;
  DWORD id_ = 0;
};

template <class T>
class CThreadImpl : public CThreadT {
 public:
  // Starts T::Run() on a new thread with the default stack size; false when no thread was made.
  bool Create() { return Start(&CThreadImpl::ThreadProc, static_cast<T*>(this)); }

 private:
  static unsigned __stdcall ThreadProc(void* parameter) {
    return static_cast<unsigned>(static_cast<T*>(parameter)->Run());
  }
};

#endif
