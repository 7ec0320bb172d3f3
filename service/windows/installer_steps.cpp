#include "service/windows/installer_steps.h"

#include <windows.h>
#include <shlobj.h>
#include <shellapi.h>

#include <vector>

#include "service/install_plan.h"
#include "service/windows/program_version.h"
#include "service/windows/service_identity.h"
#include "windows_common/unelevated_start.h"

namespace svc {
namespace {

constexpr DWORD kStopWaitMs = 20000;
constexpr DWORD kFileRetryMs = 10000;
// Longer than the service waits for its port (30 s), so that a service that cannot bind it ends
// first and its exit code tells why.
constexpr DWORD kAnswerWaitMs = 45000;
constexpr int kServiceResource = 1;  // the service program, RCDATA in this installer

std::wstring inQuotes(const std::wstring& path) { return L"\"" + path + L"\""; }

std::wstring ownPath() {
  std::wstring path(32768, L'\0');
  DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
  path.resize(length);
  return path;
}

bool sameOrInside(const std::wstring& path, const std::wstring& folder) {
  if (path.size() <= folder.size()) return false;
  return CompareStringOrdinal(path.c_str(), static_cast<int>(folder.size()), folder.c_str(),
                              static_cast<int>(folder.size()), TRUE) == CSTR_EQUAL &&
         path[folder.size()] == L'\\';
}

// Asks a running service to stop and waits until it has let go of its instance mutex. True when
// none runs any more. A mutex that is there but cannot be opened belongs to a service that runs
// and cannot be asked (started elevated, or by another account under this user's name).
bool stopRunningService() {
  HANDLE running = OpenMutexW(SYNCHRONIZE, FALSE, InstanceMutexName().c_str());
  if (running == nullptr) return InstanceSignOfError(GetLastError()) == InstanceSign::NoneRuns;
  HANDLE stop = OpenEventW(EVENT_MODIFY_STATE, FALSE, StopEventName().c_str());
  if (stop != nullptr) SetEvent(stop);
  DWORD waited = WaitForSingleObject(running, kStopWaitMs);
  bool stopped = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
  if (stopped) ReleaseMutex(running);
  // The event must not stay set: a service started next would open it and stop at once.
  if (stop != nullptr) {
    ResetEvent(stop);
    CloseHandle(stop);
  }
  CloseHandle(running);
  return stopped;
}

bool exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// The folder with everything in it, without any confirmation or progress shown.
bool removeTree(const std::wstring& folder) {
  std::wstring from = folder;
  from.push_back(L'\0');  // the list of paths ends with an empty one
  SHFILEOPSTRUCTW operation = {};
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.c_str();
  operation.fFlags = FOF_NO_UI;
  SHFileOperationW(&operation);
  return !exists(folder);
}

std::wstring parentOf(const std::wstring& path) {
  size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
}

// A program that has just stopped may still hold its image open for a moment.
template <typename Step>
bool retryForAWhile(Step step) {
  for (DWORD waited = 0;; waited += 100) {
    if (step()) return true;
    if (waited >= kFileRetryMs) return false;
    Sleep(100);
  }
}

bool writeWholeFile(const std::wstring& path, const void* bytes, DWORD size) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes, size, &written, nullptr) && written == size && FlushFileBuffers(file);
  CloseHandle(file);
  if (!ok) DeleteFileW(path.c_str());
  return ok;
}

// The service program carried in this installer, written beside its final name (so that a failure
// never leaves half a program in its place) and flushed.
bool writeCarriedProgram(const std::wstring& path) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(kServiceResource), MAKEINTRESOURCEW(10) /* RT_RCDATA */);
  HGLOBAL loaded = found != nullptr ? LoadResource(nullptr, found) : nullptr;
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  DWORD size = found != nullptr ? SizeofResource(nullptr, found) : 0;
  return bytes != nullptr && size != 0 && writeWholeFile(path, bytes, size);
}

// Renames from to to, replacing it, while a program that has just ended may still hold either.
bool moveInPlace(const std::wstring& from, const std::wstring& to) {
  return retryForAWhile(
      [&] { return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE; });
}

bool setString(HKEY key, const wchar_t* name, const std::wstring& value) {
  return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                        static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool setNumber(HKEY key, const wchar_t* name, DWORD value) {
  return RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) == ERROR_SUCCESS;
}

bool registerAutostart(const std::wstring& program) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kRunKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return false;
  }
  bool ok = setString(key, kServiceDisplayName, inQuotes(program));
  RegCloseKey(key);
  return ok;
}

// The entry in the user's list of installed programs, whose removal runs this installer's copy.
bool registerUninstaller(const std::wstring& folder, const std::wstring& program, const std::wstring& setup) {
  HKEY key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, kUninstallKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
      ERROR_SUCCESS) {
    return false;
  }
  bool ok = setString(key, L"DisplayName", kServiceDisplayName) && setString(key, L"Publisher", L"Tessel Games") &&
            setString(key, L"InstallLocation", folder) && setString(key, L"DisplayIcon", program) &&
            setString(key, L"UninstallString", inQuotes(setup) + L" /uninstall") &&
            setString(key, L"QuietUninstallString", inQuotes(setup) + L" /uninstall") &&
            setNumber(key, L"NoModify", 1) && setNumber(key, L"NoRepair", 1);
  RegCloseKey(key);
  return ok;
}

// Starts the service, with the user's normal rights also when this installer was run "as
// administrator", and waits until it answers its ping. A start that finds another instance
// already running ends at once with 0; then that instance's answer counts.
InstallResult startAndWait(const std::wstring& program, const std::wstring& folder) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  const wincommon::StartOutcome started = wincommon::StartWithNormalRights(inQuotes(program), folder.c_str(), startup);
  if (!started.started()) return InstallResult::CannotStart;
  const PROCESS_INFORMATION& process = started.process;
  CloseHandle(process.hThread);
  InstallResult result = InstallResult::NotAnswering;
  // Measured, not counted: a program on the port that takes connections and never answers makes
  // each ping last its whole timeout.
  const ULONGLONG giveUp = GetTickCount64() + kAnswerWaitMs;
  while (GetTickCount64() < giveUp) {
    // The record names the port the service took (another account's may hold 9421); it is read
    // again each time, since the service writes it once it listens.
    if (ServiceAnswersPing(RecordedServicePort())) {
      result = InstallResult::Done;
      break;
    }
    DWORD exitCode = 0;
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &exitCode) &&
        exitCode != 0) {
      result = InstallResult::CannotStart;
      break;
    }
  }
  // A service that runs without answering is of no use, and it holds its image, which a roll back
  // must replace.
  if (result == InstallResult::NotAnswering) TerminateProcess(process.hProcess, 1);
  CloseHandle(process.hProcess);
  return result;
}

// Where removal runs from once the service's folder must go: the user's temporary folder. Empty
// when it cannot be told.
std::wstring temporaryCopyPath() {
  wchar_t temporary[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, temporary);
  if (length == 0 || length > MAX_PATH) return std::wstring();
  return std::wstring(temporary, length) + L"download-service-uninstall.exe";
}

// Runs a copy of this installer from the temporary folder, which removes the service's folder
// (this program among it) once this process has ended. The copy leaves nothing behind: it is held
// open delete-on-close through a handle that only its own process inherits and never touches, so
// Windows deletes the file once that process has ended, and at once should it not start. Scripts
// or scheduled deletions are not needed, and a standard user could not schedule one for the next
// start anyway.
InstallResult handOverToTemporaryCopy(const std::wstring& self) {
  const std::wstring copy = temporaryCopyPath();
  if (copy.empty() || !CopyFileW(self.c_str(), copy.c_str(), FALSE)) return InstallResult::CannotRemove;
  SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
  HANDLE removal = CreateFileW(copy.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_DELETE, &inherited, OPEN_EXISTING,
                               FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (removal == INVALID_HANDLE_VALUE) {
    DeleteFileW(copy.c_str());
    return InstallResult::CannotRemove;
  }
  // Only that handle goes to the copy, none other this process may hold.
  SIZE_T size = 0;
  InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
  std::vector<unsigned char> attributes(size);
  auto* list = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributes.data());
  bool started = false;
  if (InitializeProcThreadAttributeList(list, 1, 0, &size)) {
    if (UpdateProcThreadAttribute(list, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, &removal, sizeof removal, nullptr,
                                  nullptr)) {
      std::wstring commandLine = inQuotes(copy) + L" /uninstall /after " + std::to_wstring(GetCurrentProcessId());
      const std::wstring folder = parentOf(copy);
      STARTUPINFOEXW startup = {};
      startup.StartupInfo.cb = sizeof startup;
      startup.lpAttributeList = list;
      PROCESS_INFORMATION process = {};
      started = CreateProcessW(copy.c_str(), &commandLine[0], nullptr, nullptr, TRUE, EXTENDED_STARTUPINFO_PRESENT,
                               nullptr, folder.c_str(), &startup.StartupInfo, &process) != FALSE;
      if (started) {
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
      }
    }
    DeleteProcThreadAttributeList(list);
  }
  CloseHandle(removal);
  return started ? InstallResult::Done : InstallResult::CannotRemove;
}

void waitForProcess(const std::wstring& id) {
  DWORD number = 0;
  for (wchar_t c : id) {
    if (c < L'0' || c > L'9') return;
    number = number * 10 + static_cast<DWORD>(c - L'0');
  }
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, number);
  if (process == nullptr) return;
  WaitForSingleObject(process, kStopWaitMs);
  CloseHandle(process);
}

// The program put back after a failed update, started and answering: how the update failed.
InstallResult rollBack(const std::wstring& previous, const std::wstring& program, const std::wstring& folder,
                       InstallResult failure) {
  stopRunningService();
  if (!moveInPlace(previous, program)) return failure;
  if (startAndWait(program, folder) != InstallResult::Done) return failure;
  return failure == InstallResult::CannotStart ? InstallResult::RolledBackStopped : InstallResult::RolledBackSilent;
}

}  // namespace

InstallResult InstallOrUpdate() {
  std::wstring folder = ServiceFolder();
  if (folder.empty()) return InstallResult::NoFolder;
  int created = SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
  if (created != ERROR_SUCCESS && created != ERROR_ALREADY_EXISTS && created != ERROR_FILE_EXISTS) {
    return InstallResult::CannotWrite;
  }
  std::wstring program = folder + L"\\" + kServiceExeName;
  std::wstring previous = folder + L"\\" + kPreviousServiceExeName;
  std::wstring fresh = program + L".new";
  std::wstring setup = folder + L"\\" + kSetupExeName;
  // A removal's copy that Windows could not delete when it ended goes now.
  if (const std::wstring leftover = temporaryCopyPath(); !leftover.empty()) DeleteFileW(leftover.c_str());
  if (!writeCarriedProgram(fresh)) return InstallResult::CannotWrite;
  if (ChooseInstall(ProgramVersion(program), ProgramVersion(fresh)) == InstallChoice::KeepNewer) {
    DeleteFileW(fresh.c_str());
    if (ServiceAnswersPing(RecordedServicePort())) return InstallResult::NewerKept;
    InstallResult started = startAndWait(program, folder);
    return started == InstallResult::Done ? InstallResult::NewerKept : started;
  }
  if (!stopRunningService()) {
    DeleteFileW(fresh.c_str());
    return InstallResult::StillRunning;
  }
  // The program that ran so far stays beside as the previous one until the next update.
  const bool keptPrevious = exists(program) && moveInPlace(program, previous);
  if ((!keptPrevious && exists(program)) || !moveInPlace(fresh, program)) {
    if (keptPrevious) moveInPlace(previous, program);
    DeleteFileW(fresh.c_str());
    return InstallResult::CannotWrite;
  }
  std::wstring self = ownPath();
  if (CompareStringOrdinal(self.c_str(), -1, setup.c_str(), -1, TRUE) != CSTR_EQUAL &&
      !retryForAWhile([&] { return CopyFileW(self.c_str(), setup.c_str(), FALSE) != FALSE; })) {
    return InstallResult::CannotWrite;
  }
  if (!registerAutostart(program) || !registerUninstaller(folder, program, setup)) return InstallResult::CannotWrite;
  const InstallResult started = startAndWait(program, folder);
  if (started == InstallResult::Done || !keptPrevious) return started;
  return rollBack(previous, program, folder, started);
}

InstallResult Uninstall(const std::wstring& waitForProcessId) {
  std::wstring folder = ServiceFolder();
  if (folder.empty()) return InstallResult::NoFolder;
  if (!waitForProcessId.empty()) waitForProcess(waitForProcessId);
  std::wstring self = ownPath();
  if (sameOrInside(self, folder)) return handOverToTemporaryCopy(self);
  if (!stopRunningService()) return InstallResult::StillRunning;
  HKEY run;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kRunKey, 0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
    RegDeleteValueW(run, kServiceDisplayName);
    RegCloseKey(run);
  }
  RegDeleteKeyW(HKEY_CURRENT_USER, kUninstallKey);
  bool removed = retryForAWhile([&] { return removeTree(folder); });
  // The vendor's folder goes too when nothing else of it is left.
  RemoveDirectoryW(parentOf(folder).c_str());
  return removed ? InstallResult::Done : InstallResult::CannotRemove;
}

}  // namespace svc
