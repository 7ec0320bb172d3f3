// The process's module object: the instance handle whose resources the windows load, the thread
// that runs the main message loop, and the message loop registered for each thread.
#ifndef UI_APP_MODULE_H
#define UI_APP_MODULE_H

#include <windows.h>

#include <map>
#include <mutex>

class CMessageLoop;

class CAppModule {
 public:
  CAppModule() = default;
  CAppModule(const CAppModule&) = delete;
  CAppModule& operator=(const CAppModule&) = delete;

  void Init(HINSTANCE instance);
  void Term();

  // The module whose resources (images, templates, menu, icon) the windows load; the executable
  // itself until Init names another.
  HINSTANCE ResourceInstance() const;
  DWORD MainThreadId() const { return mainThreadId_; }

  // Registers a loop for the calling thread; false when that thread has one already.
  bool AddMessageLoop(CMessageLoop* loop);
  bool RemoveMessageLoop();
  // The loop registered for the calling thread, or null.
  CMessageLoop* GetMessageLoop() const;

 private:
  HINSTANCE instance_ = nullptr;
  DWORD mainThreadId_ = 0;
  mutable std::mutex mutex_;
  std::map<DWORD, CMessageLoop*> loops_;
};

// The one module object of the process.
CAppModule& AppModule();

#endif
