#include "ui/single_instance.h"

#include <objidl.h>
#include <gdiplus.h>

#include <cwchar>

#include "build_settings.h"

std::wstring DownloaderWindowTitle() {
  const char* title = AK_GAME_TITLE;
  const int length = MultiByteToWideChar(CP_UTF8, 0, title, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, title, -1, &wide[0], length);
  wide.resize(wcslen(wide.c_str()));
  return wide + L" Downloader";
}

bool ActivateRunningInstance(const std::wstring& title) {
  HWND running = FindWindowW(nullptr, title.c_str());
  if (running == nullptr) return false;
  ShowWindow(running, SW_RESTORE);
  SetForegroundWindow(running);
  SetWindowPos(running, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  return true;
}

bool IsAutoStartCommandLine(const wchar_t* commandLine) {
  return commandLine != nullptr && wcsncmp(commandLine, L"auto", 4) == 0;
}

GdiplusSession::GdiplusSession() {
  Gdiplus::GdiplusStartupInput input;
  if (Gdiplus::GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
  if (token_ != 0) Gdiplus::GdiplusShutdown(token_);
}
