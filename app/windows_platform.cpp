#include "app/windows_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <stdlib.h>
#include <time.h>

#include <thread>

#include "app/private_folder.h"
#include "download/speed_choice.h"
#include "server/game_info.h"

const wchar_t kRunOnceKeyPath[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";

int64_t WindowsPlatform::NowSeconds() { return static_cast<int64_t>(time(nullptr)); }

void WindowsPlatform::Sleep(uint32_t milliseconds) { ::Sleep(milliseconds); }

void WindowsPlatform::EndProcess(int32_t exitCode) { exit(exitCode); }

std::optional<uint32_t> WindowsPlatform::ReadDword(const std::wstring& keyPath, const std::wstring& name) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  DWORD type = 0;
  DWORD value = 0;
  DWORD size = sizeof value;
  LONG result = RegQueryValueExW(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return std::nullopt;
  return value;
}

bool WindowsPlatform::WriteDword(const std::wstring& keyPath, const std::wstring& name, uint32_t value) {
  HKEY key = nullptr;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_SET_VALUE,
                      nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  DWORD data = value;
  LONG result = RegSetValueExW(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

bool WindowsPlatform::WriteRunOnceEntry(const std::wstring& name, const std::wstring& command) {
  HKEY key = nullptr;
  // Windows makes the key with every profile, but a cleaner or policy may have removed it; without
  // it the download would not resume at the next logon.
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunOnceKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  LONG result = RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                               static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(key);
  return result == ERROR_SUCCESS;
}

std::wstring WindowsPlatform::ExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    if (length == 0) return std::wstring();
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

uint64_t WindowsPlatform::FreeDiskSpace() {
  std::wstring root = SystemDrive([this](const std::wstring& name) { return Environment(name); }) + L"\\";
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(root.c_str(), &available, nullptr, nullptr)) return 0;
  return available.QuadPart;
}

void WindowsPlatform::ShellOpen(const std::wstring& path, const std::wstring& workingFolder) {
  ShellExecuteW(nullptr, L"open", path.c_str(), nullptr, workingFolder.c_str(), SW_SHOWNORMAL);
}

bool WindowsPlatform::MakePrivateFolder(const std::wstring& path) { return ::MakePrivateFolder(path); }

std::optional<std::wstring> WindowsPlatform::Environment(const std::wstring& name) {
  DWORD size = GetEnvironmentVariableW(name.c_str(), nullptr, 0);
  if (size == 0) return std::nullopt;
  std::wstring value(size, L'\0');
  DWORD length = GetEnvironmentVariableW(name.c_str(), &value[0], size);
  if (length == 0 || length >= size) return std::nullopt;
  value.resize(length);
  return value;
}

void WindowsPlatform::RunWorker(std::function<void()> body) { std::thread(std::move(body)).detach(); }

// Never joined: the start-up ends the process itself when it fails, and the exit procedure ends it
// otherwise.
void WindowsPlatform::StartThread(std::function<void()> body) { std::thread(std::move(body)).detach(); }

static_assert(static_cast<int32_t>(NotificationState::Busy) == QUNS_BUSY &&
                  static_cast<int32_t>(NotificationState::RunningD3DFullScreen) == QUNS_RUNNING_D3D_FULL_SCREEN &&
                  static_cast<int32_t>(NotificationState::PresentationMode) == QUNS_PRESENTATION_MODE &&
                  static_cast<int32_t>(NotificationState::QuietTime) == QUNS_QUIET_TIME,
              "the portable notification states are the shell's");

bool WindowsPlatform::FullScreenProgramRuns() {
  QUERY_USER_NOTIFICATION_STATE state = QUNS_ACCEPTS_NOTIFICATIONS;
  // The shell answers for the desktop of this process's session; Wine always says nothing runs.
  if (FAILED(SHQueryUserNotificationState(&state))) return false;
  return MeansFullScreenProgram(static_cast<int32_t>(state));
}
