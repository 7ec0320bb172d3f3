// The job's view of the operating system, on Win32: the clock, the registry of the current user,
// the RunOnce entry, disk space, the shell, private folders, the environment and worker threads.
#ifndef APP_WINDOWS_PLATFORM_H
#define APP_WINDOWS_PLATFORM_H

#include "download/job_platform.h"

class WindowsPlatform : public JobPlatform {
 public:
  int64_t NowSeconds() override;
  void Sleep(uint32_t milliseconds) override;
  [[noreturn]] void EndProcess(int32_t exitCode) override;
  std::optional<uint32_t> ReadDword(const std::wstring& keyPath, const std::wstring& name) override;
  bool WriteDword(const std::wstring& keyPath, const std::wstring& name, uint32_t value) override;
  bool WriteRunOnceEntry(const std::wstring& name, const std::wstring& command) override;
  std::wstring ExecutablePath() override;
  uint64_t FreeDiskSpace() override;
  void ShellOpen(const std::wstring& path, const std::wstring& workingFolder) override;
  bool MakePrivateFolder(const std::wstring& path) override;
  std::optional<std::wstring> Environment(const std::wstring& name) override;
  void RunWorker(std::function<void()> body) override;
  void StartThread(std::function<void()> body) override;
  bool FullScreenProgramRuns() override;
};

// The RunOnce key of the current user, which the platform empties at the next logon.
extern const wchar_t kRunOnceKeyPath[];

#endif
