// The DLLs outside KnownDLLs reach the program through delay-import tables (cmake/DelayLoad.cmake);
// the MinGW runtime's delay-load helper asks this hook first, before its own LoadLibrary by name.
// The program also restricts its DLL search to the system folder at start-up, but Windows 7
// without its 2011 loader update has no way to do that (no SetDefaultDllDirectories): there a load
// by name would still look in the program's own folder first, where a web page may have left a
// look-alike. Loading by full path from the system folder holds on every version.
#include "windows_common/system_folder_dlls.h"

#include <delayimp.h>
#include <string.h>

HMODULE LoadSystemFolderDll(const char* name) {
  if (name == nullptr || name[0] == '\0' || strpbrk(name, "\\/:") != nullptr) return nullptr;
  wchar_t path[MAX_PATH];
  const UINT folderLength = GetSystemDirectoryW(path, MAX_PATH);
  const size_t nameLength = strlen(name);
  if (folderLength == 0 || folderLength + 1 + nameLength >= MAX_PATH) return nullptr;
  size_t at = folderLength;
  path[at++] = L'\\';
  // DLL names in import tables are ASCII.
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

namespace {

FARPROC WINAPI loadDelayedDllFromSystemFolder(unsigned notification, PDelayLoadInfo info) {
  if (notification != dliNotePreLoadLibrary || info == nullptr) return nullptr;
  HMODULE module = LoadSystemFolderDll(info->szDll);
  if (module == nullptr) {
    // Not found where it belongs: fail as the helper fails, rather than let it search by name.
    info->dwLastError = GetLastError();
    ULONG_PTR argument = reinterpret_cast<ULONG_PTR>(info);
    RaiseException(VcppException(ERROR_SEVERITY_ERROR, ERROR_MOD_NOT_FOUND), 0, 1, &argument);
  }
  return reinterpret_cast<FARPROC>(module);
}

}  // namespace

// Read by the delay-load helper; an object of the executable itself defines it (a definition
// inside a static library would lose to the runtime's empty default).
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = loadDelayedDllFromSystemFolder;
}
