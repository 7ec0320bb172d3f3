// The DLLs outside KnownDLLs are loaded by full path from the system folder (system_functions.h).
// The program also restricts its DLL search to the system folder at start-up, but Windows 7
// without its 2011 loader update has no way to do that (no SetDefaultDllDirectories): there a load
// by name would still look in the program's own folder first, where a web page may have left a
// look-alike. Loading by full path from the system folder holds on every version.
#include "windows_common/system_folder_dlls.h"

#include <string.h>

HMODULE LoadSystemFolderDll(const char* name) {
  if (name == nullptr || name[0] == '\0' || strpbrk(name, "\\/:") != nullptr) {
    SetLastError(ERROR_INVALID_NAME);
    return nullptr;
  }
  wchar_t path[MAX_PATH];
  const UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
  const size_t nameLength = strlen(name);
  if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return nullptr;
  }
  size_t at = folderLength;
  path[at++] = L'\\';
  // The names of system DLLs are ASCII.
  for (size_t i = 0; i < nameLength; ++i) path[at++] = static_cast<wchar_t>(static_cast<unsigned char>(name[i]));
  path[at] = L'\0';
  return LoadLibraryExW(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void RestrictDllSearchToSystemFolder() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  auto setDefault = reinterpret_cast<SetDefaultDllDirectoriesFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")));
  if (setDefault != nullptr) setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32);
  SetDllDirectoryW(L"");
}
