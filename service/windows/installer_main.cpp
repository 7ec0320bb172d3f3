// The download service's installer, for the current user only (no administrator rights):
//   download-service-setup.exe               install, or update in place, then start the service
//                                            and wait until it answers; exit 0 when it does
//   download-service-setup.exe /uninstall    stop the service and remove the program, its state,
//                                            its autostart and its entry among the installed
//                                            programs; downloaded games stay where they are
// It runs hidden (the client library starts it with no window and waits for it), so it shows
// nothing and tells how it went by its exit code only.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "windows_common/system_folder_dlls.h"
#include "service/windows/installer_steps.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystemFolder();
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return static_cast<int>(svc::InstallResult::BadCommandLine);
  std::wstring mode = count >= 2 ? arguments[1] : L"";
  std::wstring waitFor = count >= 4 && std::wstring(arguments[2]) == L"/after" ? arguments[3] : L"";
  bool known = count == 1 || (mode == L"/uninstall" && (count == 2 || !waitFor.empty()));
  LocalFree(arguments);
  if (!known) return static_cast<int>(svc::InstallResult::BadCommandLine);
  if (mode == L"/uninstall") return static_cast<int>(svc::Uninstall(waitFor));
  return static_cast<int>(svc::InstallOrUpdate());
}
