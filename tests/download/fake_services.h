// Recording fakes for every interface of the download job, a clock that only moves when the job
// waits (or a test says so), and a fixture that wires them to a job.
#ifndef TESTS_DOWNLOAD_FAKE_SERVICES_H
#define TESTS_DOWNLOAD_FAKE_SERVICES_H

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "download/download_job.h"
#include "service_client/file_operations.h"

namespace downloadtest {

// What the fake platform throws instead of ending the process. Not a std::exception, so the job
// cannot swallow it.
struct ProcessEnded {
  int32_t exitCode;
};

// What the fake window throws when the job shows more than kMaxPrompts prompts.
struct PromptLoop {};

class FakeWindow : public JobWindow {
 public:
  static constexpr size_t kMaxPrompts = 100;

  bool Create() override;
  void Show() override;
  void BringToForeground() override;
  void ResetProgressView() override;
  void ShowProgressRows() override;
  void SetPartCaption(int32_t index, int32_t count) override;
  void SetStatusText(const std::wstring& text) override;
  void SetPartProgress(int32_t percent) override;
  void SetTotalProgress(int32_t percent) override;
  void ShowResumeButton(bool visible) override;
  void HideTransportButtons() override;
  void MinimiseToTray() override;
  void RestoreFromTray() override;
  void SetTrayTooltip(const std::wstring& text) override;
  void StartTimer(int32_t id, uint32_t periodMs) override;
  void StopTimer(int32_t id) override;
  int32_t ShowPrompt(const Prompt& prompt) override;
  bool ShowEulaDialog() override;

  bool createSucceeds = true;
  bool eulaAccepted = true;
  int eulaShown = 0;
  std::deque<int32_t> promptAnswers;  // answered in order; kPromptClosed when none is left
  std::function<void(const Prompt&)> whilePromptOpen;  // runs inside the modal prompt
  std::vector<Prompt> prompts;
  std::vector<std::wstring> calls;  // every call but the texts, bars and timers below
  std::vector<int32_t> partProgress;
  std::vector<int32_t> totalProgress;
  std::vector<std::wstring> statusTexts;
  std::vector<std::wstring> tooltips;
  std::map<int32_t, bool> timerRunning;
  int retryTimerStarts = 0;
};

class FakeClient : public ClientApi {
 public:
  int32_t TSInstall(const InstallProgress& progress) override;
  int32_t TSInitialize() override;
  int32_t TSUninitialize() override;
  int32_t AKGetAttr(std::wstring& guid) override;
  int32_t AKDownload(const std::wstring& url, const std::wstring& path) override;
  int32_t AKPause(const std::wstring& url) override;
  int32_t AKRetry(const std::wstring& url, const std::wstring& path) override;
  int32_t AKDelete(const std::wstring& url) override;
  int32_t AKGetFileAttr(const std::wstring& url, FileReading& reading) override;
  uint64_t AKGetFileSize(const std::wstring& url, const std::wstring& path) override;
  uint64_t AKGetReceivedSize(const std::wstring& url) override;
  std::wstring ErrorText(int32_t code) override;
  int32_t SetDownloadLimit(uint64_t bytesPerSecond) override {
    limits.push_back(bytesPerSecond);
    return 0;
  }
  // Every limit the service was asked to keep: our own call, kept apart from the wrapper calls.
  std::vector<uint64_t> limits;
  std::map<int32_t, std::wstring> errorTexts;  // "client text N" for the others

  // Scripted results, taken in order; 0 (success) when a queue is empty.
  std::deque<int32_t> installResults;
  std::deque<int32_t> startupInitializeResults;  // TSInitialize of the initialise phase
  int32_t guidInitializeResult = 0;              // TSInitialize around AKGetAttr
  int32_t attrResult = 0;
  std::wstring guid = L"0123456789abcdef0123456789abcdef";
  int installThrows = 0;  // the next this many TSInstall calls throw
  int initializeThrows = 0;
  std::function<void(int32_t)> installerProgress;  // percentages the installer reports
  std::vector<int32_t> installProgressSteps;
  std::map<std::wstring, uint64_t> sizes;
  std::map<std::wstring, uint64_t> held;
  // Poll answers: result and reading; a successful empty reading when none is left.
  std::deque<std::pair<int32_t, FileReading>> readings;

  std::vector<std::wstring> calls;
  std::vector<bool> installWithProgress;
  bool inGuidFetch = false;  // TSInitialize between TSInstall and AKGetAttr is the guid fetch
};

class FakeServer : public ServerRequests {
 public:
  void RequestSid(const std::wstring& gameCode) override;
  void RequestConfig(const std::wstring& gameCode, const std::wstring& sid) override;
  std::vector<std::wstring> requests;
};

struct RecordedEvent {
  std::wstring name;
  JobSnapshot job;
  std::wstring description;  // "error"
  int32_t code = 0;          // "error"
  bool flag = false;         // "error": critical; "download_cancel": error
};

class FakeEvents : public JobEvents {
 public:
  void Start() override;
  void AutoStart() override;
  void DownloadInit() override;
  void Stats() override;
  void DownloadPartialComplete(const JobSnapshot& job) override;
  void DownloadComplete(const JobSnapshot& job) override;
  void DownloadPause(const JobSnapshot& job) override;
  void DownloadUnpause(const JobSnapshot& job) override;
  void DownloadCancel(bool isError, const JobSnapshot& job) override;
  void SystemShutdown(const JobSnapshot& job) override;
  void MinimizeWindow() override;
  void RestoreWindow() override;
  void Error(const std::wstring& description, int32_t code, bool critical, const JobSnapshot& job) override;

  std::vector<RecordedEvent> events;
  std::vector<std::wstring> names() const;
  std::vector<RecordedEvent> named(const std::wstring& name) const;

 private:
  void record(const std::wstring& name, const JobSnapshot& job = JobSnapshot(), const std::wstring& description = L"",
              int32_t code = 0, bool flag = false);
};

class FakeInventory : public MachineInventory {
 public:
  void GatherWmiInventory() override { ++gathered; }
  void SetClientGuid(const std::wstring& value) override { guid = value; }
  int gathered = 0;
  std::wstring guid;
};

// The files on a pretend disk: every file has defaultSize bytes unless sizes says otherwise, the
// digests answered are those of digests (none when a path is missing), and every signature is
// trusted unless signatures says otherwise. Each question is recorded in calls.
class FakeFiles : public FileInspector {
 public:
  std::optional<uint64_t> FileSize(const std::wstring& path) override;
  std::optional<Sha256Digest> FileSha256(const std::wstring& path) override;
  SignatureCheck CheckSignature(const std::wstring& path, const ExpectedSigner& expectedSigner) override;
  // Records "hold <path>", and "release <path>" when the hold is dropped.
  FileHold HoldUnchanged(const std::wstring& path) override;

  std::optional<uint64_t> defaultSize = 1000;
  std::set<std::wstring> unholdable;
  std::function<void(const std::wstring& path)> onRelease;
  std::map<std::wstring, uint64_t> sizes;
  std::map<std::wstring, Sha256Digest> digests;
  std::map<std::wstring, SignatureCheck> signatures;
  std::vector<std::wstring> calls;
};

class FakePlatform : public JobPlatform {
 public:
  int64_t NowSeconds() override;
  void Sleep(uint32_t milliseconds) override;
  [[noreturn]] void EndProcess(int32_t exitCode) override;
  std::optional<uint32_t> ReadDword(const std::wstring& keyPath, const std::wstring& name) override;
  bool WriteDword(const std::wstring& keyPath, const std::wstring& name, uint32_t value) override;
  bool WriteRunOnceEntry(const std::wstring& name, const std::wstring& command) override;
  std::wstring ExecutablePath() override { return executablePath; }
  uint64_t FreeDiskSpace() override;
  void ShellOpen(const std::wstring& path, const std::wstring& workingFolder) override {
    opened.push_back(path);
    openedIn.push_back(workingFolder);
  }
  bool MakePrivateFolder(const std::wstring& path) override {
    folders.push_back(path);
    return refusedFolders.count(path) == 0;
  }
  std::optional<std::wstring> Environment(const std::wstring& name) override;
  void RunWorker(std::function<void()> body) override;
  // Runs the start-up at once, on the caller's thread, unless deferStartup keeps it in
  // pendingStartup.
  void StartThread(std::function<void()> body) override {
    ++threadsStarted;
    if (deferStartup) {
      pendingStartup = std::move(body);
      return;
    }
    body();
  }

  bool FullScreenProgramRuns() override { return fullScreen; }
  void Advance(int64_t milliseconds) { nowMs += milliseconds; }
  bool fullScreen = false;

  int64_t nowMs = 1700000000000;
  std::vector<uint32_t> sleeps;
  std::map<std::pair<std::wstring, std::wstring>, uint32_t> dwords;
  bool settingsWritable = true;
  bool runOnceKeyExists = true;
  std::map<std::wstring, std::wstring> runOnce;
  std::wstring executablePath = L"C:\\Users\\Ann Lee\\Downloads\\Iron Fable Downloader.exe";
  std::deque<uint64_t> freeSpace;  // answered in order; the last one stays
  std::vector<std::wstring> opened;
  std::vector<std::wstring> openedIn;  // the working folder of each open
  std::vector<std::wstring> folders;   // every folder asked to be made private, in order
  std::set<std::wstring> refusedFolders;
  std::map<std::wstring, std::wstring> environment{{L"SystemDrive", L"C:"},
                                                    {L"LOCALAPPDATA", L"C:\\Users\\Ann Lee\\AppData\\Local"}};
  int workersRun = 0;
  int threadsStarted = 0;
  bool deferStartup = false;
  std::function<void()> pendingStartup;
  // When set, workers wait in pendingWorkers until RunPendingWorkers.
  bool deferWorkers = false;
  std::vector<std::function<void()>> pendingWorkers;
  void RunPendingWorkers();
  std::vector<int32_t> exitCodes;
};

// A game whose title has blanks, as real titles do.
GameInfo TestGame();

// uri http://cdn.test/irf/file<i>.bin, rid r<i>, rnum <i + 1>.
std::unique_ptr<GameConfig> ConfigWithFiles(int count);

// A successful poll reading.
FileReading Reading(int32_t status, int64_t uniquerecv, int64_t downloadrate);

class JobFixture {
 public:
  JobFixture();

  // Runs action and returns the exit code of the process end it reached; nullopt when it did not end.
  std::optional<int32_t> ExitCodeOf(const std::function<void()>& action);

  // Window created, licence accepted before, Start run, sid answered: the job waits for the
  // configuration.
  void StartAndReceiveSid();
  // As above, then the configuration with count files (sizes of 1000 bytes each unless set
  // in client.sizes) and a successful start-up: the job is Downloading file 0.
  // adjust, when given, changes the configuration before the job receives it.
  void StartDownloading(int count, const std::function<void(GameConfig&)>& adjust = nullptr);
  // Forgets what the fakes recorded so far.
  void ClearRecords();
  // One poll with the given answer.
  void Poll(int32_t result, const FileReading& reading = FileReading());

  FakeWindow window;
  FakeClient client;
  FakeServer server;
  FakeEvents events;
  FakeInventory inventory;
  FakePlatform platform;
  FakeFiles files;
  GameInfo game;
  std::unique_ptr<DownloadJob> job;
};

}  // namespace downloadtest

#endif
