// Stands in for a game's installer in the end-to-end runs: the first file of the test game. When
// the downloader opens it at the end of a download, it writes "opened.txt" beside itself, so the
// run can prove the hand-off happened and how: its own path, the working folder it was started
// in, and the access lists of its folder and of that folder's parent (as SDDL), one a line.
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <string>

namespace {

std::string ascii(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += static_cast<char>(c < 128 ? c : '?');
  return out;
}

std::wstring accessListOf(const std::wstring& folder) {
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr,
                            nullptr, &descriptor) != ERROR_SUCCESS) {
    return L"(unreadable)";
  }
  wchar_t* text = nullptr;
  std::wstring sddl = L"(unreadable)";
  if (ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                           &text, nullptr)) {
    sddl = text;
    LocalFree(text);
  }
  LocalFree(descriptor);
  return sddl;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t self[MAX_PATH] = L"";
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 2;
  const std::wstring path(self, length);
  const std::wstring folder = path.substr(0, path.find_last_of(L'\\'));
  const std::wstring parent = folder.substr(0, folder.find_last_of(L'\\'));
  wchar_t current[MAX_PATH] = L"";
  GetCurrentDirectoryW(MAX_PATH, current);
  // Written beside and renamed, so that the run, which waits for the file, never reads it half-written.
  const std::wstring written = folder + L"\\opened.tmp";
  HANDLE file = CreateFileW(written.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const std::string text = ascii(path) + "\r\n" + ascii(current) + "\r\n" + ascii(accessListOf(folder)) + "\r\n" +
                           ascii(accessListOf(parent)) + "\r\n";
  DWORD count = 0;
  const bool whole = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &count, nullptr) && count == text.size();
  CloseHandle(file);
  if (!whole || !MoveFileExW(written.c_str(), (folder + L"\\opened.txt").c_str(), MOVEFILE_REPLACE_EXISTING)) return 3;
  return 0;
}
