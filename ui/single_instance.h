// Pieces of the program's start: its window title, the one-instance rule, the "auto" argument and
// GDI+ for the lifetime of the process.
#ifndef UI_SINGLE_INSTANCE_H
#define UI_SINGLE_INSTANCE_H

#include <windows.h>

#include <string>

// "%s Downloader" filled with the game title: the main window's title, by which (with its window
// class) a second start finds the running one.
std::wstring DownloaderWindowTitle();

// The per-session mutex that one instance of this game's downloader holds while it runs:
// "Local\Tessel Games Downloader " and the game code.
std::wstring InstanceMutexName(const std::wstring& gameCode);

// Takes the mutex for the rest of the process; false when another process of this session holds
// it (or held it and still runs), so that this start is the second. Two starts at the same moment
// cannot both pass, as two looks for a window could.
bool ClaimSingleInstance(const std::wstring& mutexName);

// The running instance's main window: a top-level window of our class titled exactly title, letter
// case included (hidden or not); null when there is none.
HWND FindRunningInstanceWindow(const std::wstring& title);

// For a second start: waits up to waitMs for the running instance's main window to exist (it may
// have started a moment ago), then restores it, makes it the foreground window and raises it
// without moving or resizing it. False when no such window appeared.
bool ActivateRunningInstance(const std::wstring& title, DWORD waitMs);

// True when the command line's first four characters are exactly "auto" (case-sensitive; what
// follows does not matter).
bool IsAutoStartCommandLine(const wchar_t* commandLine);

// Starts GDI+ (version 1, no debug callback, background thread and external codecs allowed) and
// shuts it down again.
class GdiplusSession {
 public:
  GdiplusSession();
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;
  ~GdiplusSession();

  bool Started() const { return token_ != 0; }

 private:
  ULONG_PTR token_ = 0;
};

#endif
