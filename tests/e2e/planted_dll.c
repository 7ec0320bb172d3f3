/* A DLL that must never run: the end-to-end tests plant copies of it beside the downloader under
 * the names of system DLLs outside KnownDLLs, as a web page could in a Downloads folder. It exports
 * every function of the DLL it impersonates (all bound to one stub), so a program that imports that
 * DLL at start-up loads it. Loaded, it writes "planted-dll-ran.txt" beside itself, naming itself,
 * and ends the process with exit code 77 before the program's first line. */
#include <windows.h>

void planted_stub(void) { ExitProcess(78); }

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t path[MAX_PATH];
  DWORD length = GetModuleFileNameW(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) ExitProcess(77);
  wchar_t marker[MAX_PATH + 32];
  lstrcpyW(marker, path);
  wchar_t* slash = marker;
  for (wchar_t* at = marker; *at != L'\0'; ++at) {
    if (*at == L'\\' || *at == L'/') slash = at + 1;
  }
  lstrcpyW(slash, L"planted-dll-ran.txt");
  HANDLE file = CreateFileW(marker, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, 0, NULL);
  if (file != INVALID_HANDLE_VALUE) {
    char name[MAX_PATH * 3];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, path, -1, name, sizeof name, NULL, NULL);
    DWORD written = 0;
    if (bytes > 1) WriteFile(file, name, (DWORD)(bytes - 1), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
  }
  ExitProcess(77);
  return FALSE;
}
