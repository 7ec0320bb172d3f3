#include "ui/single_instance.h"

#include <cwchar>
#include <vector>

#include "build_settings.h"
#include "ui/main_dialog.h"
#include "windows_common/gdiplus_functions.h"

std::wstring DownloaderWindowTitle() {
  const char* title = AK_GAME_TITLE;
  const int length = MultiByteToWideChar(CP_UTF8, 0, title, -1, nullptr, 0);
  std::wstring wide(length > 0 ? static_cast<size_t>(length) : 1, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, title, -1, &wide[0], length);
  wide.resize(wcslen(wide.c_str()));
  return wide + L" Downloader";
}

namespace {

struct TitleSearch {
  const std::wstring* title;
  HWND found;
};

bool hasOurClass(HWND window) {
  wchar_t name[64] = L"";
  const int length = GetClassNameW(window, name, ARRAYSIZE(name));
  return length > 0 && wcscmp(name, kMainWindowClass) == 0;
}

// The platform's own title lookup ignores case; a running instance has exactly our title. Other
// programs' windows may carry the title too (Explorer showing a folder of that name), never our
// class.
BOOL CALLBACK matchTitle(HWND window, LPARAM state) {
  auto* search = reinterpret_cast<TitleSearch*>(state);
  if (!hasOurClass(window)) return TRUE;
  // One character more than the title, so a longer title is not cut down to a match. The stored
  // title is read without a message, so a hung window cannot hold up the start.
  std::vector<wchar_t> text(search->title->size() + 2, L'\0');
  const int length = InternalGetWindowText(window, text.data(), static_cast<int>(text.size()));
  if (length < 0 || static_cast<size_t>(length) != search->title->size()) return TRUE;
  if (search->title->compare(0, std::wstring::npos, text.data(), static_cast<size_t>(length)) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

std::wstring InstanceMutexName(const std::wstring& gameCode) { return L"Local\\Tessel Games Downloader " + gameCode; }

bool ClaimSingleInstance(const std::wstring& mutexName) {
  // Kept open until the process ends; the system closes it then, also after a crash.
  HANDLE mutex = CreateMutexW(nullptr, FALSE, mutexName.c_str());
  // Access denied means the mutex is there but not ours to open: an instance started "as
  // administrator" made it with the elevated default descriptor, and that instance is running.
  // Any other failure tells nothing, and this start goes on.
  if (mutex == nullptr) return GetLastError() != ERROR_ACCESS_DENIED;
  return GetLastError() != ERROR_ALREADY_EXISTS;
}

HWND FindRunningInstanceWindow(const std::wstring& title) {
  TitleSearch search{&title, nullptr};
  EnumWindows(&matchTitle, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool ActivateRunningInstance(const std::wstring& title, DWORD waitMs) {
  HWND running = FindRunningInstanceWindow(title);
  for (DWORD waited = 0; running == nullptr && waited < waitMs; waited += 100) {
    Sleep(100);
    running = FindRunningInstanceWindow(title);
  }
  if (running == nullptr) return false;
  // Asked, not waited for: a first instance whose window thread hangs must not hang this start.
  ShowWindowAsync(running, SW_RESTORE);
  SetForegroundWindow(running);
  SetWindowPos(running, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS);
  return true;
}

bool IsAutoStartCommandLine(const wchar_t* commandLine) {
  return commandLine != nullptr && wcsncmp(commandLine, L"auto", 4) == 0;
}

GdiplusSession::GdiplusSession() {
  const wincommon::GdiplusFunctions* gdiplus = wincommon::GdiplusFlat();
  Gdiplus::GdiplusStartupInput input;
  if (gdiplus == nullptr || gdiplus->GdiplusStartup(&token_, &input, nullptr) != Gdiplus::Ok) token_ = 0;
}

GdiplusSession::~GdiplusSession() {
  // A session was started only through the table, so it is there.
  if (token_ != 0) wincommon::GdiplusFlat()->GdiplusShutdown(token_);
}
