// The operating system as the job uses it: clock, waits, the end of the process, the per-user
// settings store, disk space, the shell, folders, the environment and threads.
#ifndef DOWNLOAD_JOB_PLATFORM_H
#define DOWNLOAD_JOB_PLATFORM_H

#include <stdint.h>

#include <functional>
#include <optional>
#include <string>

class JobPlatform {
 public:
  virtual ~JobPlatform() = default;

  // Seconds since 1970.
  virtual int64_t NowSeconds() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
  // Ends the process with exitCode through the runtime's normal exit; never returns. (A test
  // double unwinds instead, with an exception the job never catches: it catches only
  // std::exception.)
  [[noreturn]] virtual void EndProcess(int32_t exitCode) = 0;

  // The DWORD value name under HKEY_CURRENT_USER\keyPath; nothing when the key cannot be opened,
  // the value does not exist, or it is not a DWORD of 4 bytes.
  virtual std::optional<uint32_t> ReadDword(const std::wstring& keyPath, const std::wstring& name) = 0;
  // Creates the key (with its parents, non-volatile) when missing and sets a 4-byte DWORD.
  virtual bool WriteDword(const std::wstring& keyPath, const std::wstring& name, uint32_t value) = 0;
  // Sets the string value name, stored with its terminating null, under the current user's
  // Software\Microsoft\Windows\CurrentVersion\RunOnce key, which is made when it is missing.
  virtual bool WriteRunOnceEntry(const std::wstring& name, const std::wstring& command) = 0;
  // The full path of the running executable (the process's main module).
  virtual std::wstring ExecutablePath() = 0;

  // Free bytes available to the user on the system drive's root folder; 0 when the query fails.
  virtual uint64_t FreeDiskSpace() = 0;
  // The shell's "open" verb on path with workingFolder as the working folder: no owner or
  // parameters, default show state.
  virtual void ShellOpen(const std::wstring& path, const std::wstring& workingFolder) = 0;
  // Makes sure path is a folder that only the user, SYSTEM and the administrators can change: one
  // that does not exist is created so; one that exists is used when it already is so, or when the
  // user owns it and can make it so. False when it is not, and cannot be made, such a folder (for
  // example one another account owns, or a link to somewhere else).
  virtual bool MakePrivateFolder(const std::wstring& path) = 0;
  virtual std::optional<std::wstring> Environment(const std::wstring& name) = 0;
  // Runs body on a new thread that nobody waits for.
  virtual void RunWorker(std::function<void()> body) = 0;
  // Runs the client start-up on a thread of its own: it waits minutes for the service's installer
  // and shows prompts, which must hold up neither the window's thread nor the HTTP stack's.
  virtual void StartThread(std::function<void()> body) = 0;
  // Whether a full-screen program runs on the user's desktop now (a game in exclusive or
  // borderless full screen, a film, a presentation), as the shell tells it.
  virtual bool FullScreenProgramRuns() = 0;
};

#endif
