// Stands in for a game's installer in the end-to-end runs: the first file of the test game. When
// the downloader opens it at the end of a download, it writes "opened.txt" beside itself with its
// own path, so the run can prove the hand-off happened.
#include <windows.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH] = L"";
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  std::wstring marker(self, length);
  marker = marker.substr(0, marker.find_last_of(L'\\') + 1) + L"opened.txt";
  HANDLE file = CreateFileW(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  std::string text;
  for (DWORD i = 0; i < length; ++i) text += static_cast<char>(self[i] < 128 ? self[i] : '?');
  text += "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
  return 0;
}
