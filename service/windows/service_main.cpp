// The download service for Windows: a GUI-subsystem program without windows (nothing shows on
// the player's desktop), one instance per user, answering the local API on 127.0.0.1:9421 (or,
// while another account's service holds that, the next free port up to 9436, recorded in the
// client library's data folder) until its installer asks it to stop. Its file list lives in its
// own folder under the user's local application data; the files themselves go where the client
// asks.
//   download-service.exe [--port N] [--state-dir DIR] [--log FILE] [--library-data-dir DIR]
//                        [--retry-delay-ms N]
// Exit codes: 0 stopped when asked (or another instance already runs), 1 bad command line,
// 2 no folder for its state, 3 no port of the range can be opened (tried for 30 s), 4 started
// elevated: it runs only with its user's normal rights. --port N listens on N only.
#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "windows_common/system_folder_dlls.h"
#include "windows_common/unelevated_start.h"
#include "service/download_service.h"
#include "service/wide_text.h"
#include "service/windows/service_identity.h"
#include "service/windows/session_end.h"
#include "service/windows/system_awake.h"

namespace {

struct CommandLine {
  svc::PortRange ports = svc::kServicePorts;
  std::wstring stateDir;
  std::wstring log;
  std::wstring libraryDataDir;
  long retryDelayMs = 1000;  // doubled after each failed attempt in a row, up to a minute
};

bool readNumber(const std::wstring& text, long limit, long* value) {
  if (text.empty() || text.size() > 9) return false;
  long number = 0;
  for (wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    number = number * 10 + (c - L'0');
  }
  if (number > limit) return false;
  *value = number;
  return true;
}

bool parseCommandLine(CommandLine* parsed) {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return false;
  std::vector<std::wstring> words(arguments + 1, arguments + count);
  LocalFree(arguments);
  for (size_t i = 0; i < words.size(); i += 2) {
    if (i + 1 >= words.size()) return false;
    const std::wstring& flag = words[i];
    const std::wstring& value = words[i + 1];
    long number = 0;
    if (flag == L"--port" && readNumber(value, 65535, &number) && number > 0) {
      parsed->ports = {static_cast<uint16_t>(number), static_cast<uint16_t>(number)};
    } else if (flag == L"--state-dir") {
      parsed->stateDir = value;
    } else if (flag == L"--log") {
      parsed->log = value;
    } else if (flag == L"--library-data-dir") {
      parsed->libraryDataDir = value;
    } else if (flag == L"--retry-delay-ms" && readNumber(value, 3600000, &number)) {
      parsed->retryDelayMs = number;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  RestrictDllSearchToSystemFolder();
#ifdef AK_TEST_SERVICE_ENDS_AT_ONCE
  // A release of the service that is broken in the worst way: it ends before it answers anything
  // (the tests of an update that must be rolled back).
  return 1;
#endif
  CommandLine command;
  if (!parseCommandLine(&command)) return 1;
  // Run "as administrator", it would make files for callers with normal rights that they cannot
  // change, and objects that their installer cannot open to stop it.
  if (wincommon::AboveNormalRights(wincommon::CurrentTokenStanding())) return 4;

  // One instance per user: a second start (the autostart entry and an installer racing) leaves,
  // also when the running one's mutex is not its to open. Only the user may open either object.
  svc::OwnUserObjectAttributes mutexAccess(MUTEX_ALL_ACCESS);
  svc::OwnUserObjectAttributes eventAccess(EVENT_ALL_ACCESS);
  if (mutexAccess.get() == nullptr || eventAccess.get() == nullptr) return 1;
  HANDLE instance = CreateMutexW(mutexAccess.get(), TRUE, svc::InstanceMutexName().c_str());
  if (instance == nullptr) return svc::InstanceSignOfError(GetLastError()) == svc::InstanceSign::OneRuns ? 0 : 1;
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;
  HANDLE stopEvent = CreateEventW(eventAccess.get(), TRUE, FALSE, svc::StopEventName().c_str());
  if (stopEvent == nullptr) return 1;

  std::wstring folder = svc::ServiceFolder();
  if (command.stateDir.empty()) {
    if (folder.empty()) return 2;
    command.stateDir = folder + L"\\state";
  }
  if (command.libraryDataDir.empty()) command.libraryDataDir = svc::LibraryDataFolder();

  svc::ServiceOptions options;
  // The version this program's version resource names too.
  options.version = AK_PROGRAM_SERVICE_VERSION;
  options.stateDir = std::filesystem::path(command.stateDir);
  options.logPath = svc::toUtf8(command.log);
  options.libraryDataDir = std::filesystem::path(command.libraryDataDir);
  options.portRecord = options.libraryDataDir / svc::kPortRecordName;
  options.retryDelay = std::chrono::milliseconds(command.retryDelayMs);
  // Made before the service and never destroyed: the process ends without unwinding.
  static svc::SystemAwake awake;
  options.keepAwake = [](bool wanted) { awake.Request(wanted); };
  options.bindPatience = std::chrono::seconds(30);
#ifdef AK_TEST_BUILD
  // The test builds' tests of two accounts on one machine (a Wine prefix each) ask for Windows's
  // refusal of a caller whose owner is not named.
  options.refuseUnnamedPeers = GetEnvironmentVariableW(L"AK_TEST_REFUSE_UNNAMED_PEERS", nullptr, 0) > 0;
#endif
  svc::DownloadService service(std::move(options));
  std::string error;
  if (!service.start(command.ports, &error)) return 3;

  // At the session's end the downloads stop and the files and the list are flushed while Windows
  // waits for the answer; the next start then trusts every byte on disk.
  svc::StopReason reason = svc::WaitForStopOrSessionEnd(stopEvent, [&service] { service.stopDownloads(); });
  if (reason != svc::StopReason::SessionEnding) service.stopDownloads();
  ReleaseMutex(instance);
  // Ends the process without waiting for the API's connection threads.
  ExitProcess(0);
}
