// Pieces of the program's start: its window title, the one-instance rule, the "auto" argument and
// GDI+ for the lifetime of the process.
#ifndef UI_SINGLE_INSTANCE_H
#define UI_SINGLE_INSTANCE_H

#include <windows.h>

#include <string>

// "%s Downloader" filled with the game title: the main window's title, by which a second start
// finds the running one.
std::wstring DownloaderWindowTitle();

// When a top-level window titled exactly title, letter case included, exists (of any class, hidden
// or not), restores it, makes it the foreground window, raises it without moving or resizing it,
// and returns true.
bool ActivateRunningInstance(const std::wstring& title);

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
