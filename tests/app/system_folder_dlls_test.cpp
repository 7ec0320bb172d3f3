// Where the system DLLs outside KnownDLLs come from: the system folder by full path, and names that
// are not plain file names are refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "windows_common/system_folder_dlls.h"

namespace {

std::wstring lowerCase(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

std::wstring folderOf(HMODULE module) {
  wchar_t path[MAX_PATH] = L"";
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring text = path;
  return lowerCase(text.substr(0, text.find_last_of(L'\\')));
}

std::wstring systemFolder() {
  wchar_t path[MAX_PATH] = L"";
  GetSystemDirectoryW(path, MAX_PATH);
  return lowerCase(path);
}

TEST(SystemFolderDlls, LoadsTheSystemCopyByFullPath) {
  for (const char* name : {"winhttp.dll", "IPHLPAPI.DLL", "wininet.dll", "gdiplus.dll"}) {
    HMODULE module = LoadSystemFolderDll(name);
    ASSERT_NE(module, nullptr) << name;
    EXPECT_EQ(folderOf(module), systemFolder()) << name;
    FreeLibrary(module);
  }
}

TEST(SystemFolderDlls, RefusesNamesThatAreNotPlainFileNames) {
  for (const char* name : {"", "..\\winhttp.dll", "sub/winhttp.dll", "C:winhttp.dll", "Z:\\tmp\\winhttp.dll"}) {
    SetLastError(0);
    EXPECT_EQ(LoadSystemFolderDll(name), nullptr) << name;
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_NAME)) << name;
  }
  EXPECT_EQ(LoadSystemFolderDll(nullptr), nullptr);
  EXPECT_EQ(LoadSystemFolderDll(std::string(MAX_PATH, 'a').c_str()), nullptr);
}

}  // namespace
