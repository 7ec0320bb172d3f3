// The one download of the process: from the first shown window, through the sid and
// configuration requests, the client start-up and the once-a-second progress poll, to the
// hand-off to the game's installer or an orderly exit. It reaches the outside only through the
// interfaces in JobServices.
//
// Threads: the window's thread runs Start, commands, timers and the prompts they raise. The
// server hooks run on the HTTP stack's thread; OnConfigReply hands the whole client start-up to a
// thread of its own (StartClient), which reaches the window only through JobWindow's calls. No lock guards the job: the start-up sets state, config and currentIndex before it
// starts the progress timer, so the first poll sees a complete job; retries are scheduled from
// the HTTP stack's thread only while the retry timer is stopped.
#ifndef DOWNLOAD_DOWNLOAD_JOB_H
#define DOWNLOAD_DOWNLOAD_JOB_H

#include <stdint.h>

#include <memory>
#include <optional>
#include <string>

#include "download/client_api.h"
#include "download/file_inspector.h"
#include "download/file_verifier.h"
#include "download/job_events.h"
#include "download/job_platform.h"
#include "download/job_state.h"
#include "download/job_window.h"
#include "download/machine_inventory.h"
#include "download/retry_policy.h"
#include "download/sample_window.h"
#include "download/speed_choice.h"
#include "download/server_requests.h"
#include "server/game_config.h"
#include "server/game_info.h"

struct JobServices {
  JobWindow& window;
  ClientApi& client;
  ServerRequests& server;
  JobEvents& events;
  MachineInventory& inventory;
  JobPlatform& platform;
  const GameInfo& game;
  FileInspector& files;
};

// Commands of the main window's buttons and of the tray menu.
enum JobCommand : int32_t {
  kCommandPause = 1001,
  kCommandResume = 1003,
  kCommandClose = 1009,
  kCommandMinimise = 1010,
  kCommandTogglePause = 32777,  // tray "Pause" / "Resume"
  kCommandOpenDownload = 32778,  // tray "Open Download", or a click on the tray icon
};

// The settings key under HKEY_CURRENT_USER; the game code names the per-game subkey.
extern const wchar_t kSettingsKeyPath[];
extern const wchar_t kAcceptedEulaValue[];

// The auto-resume command line: the executable's path in quotes, so that a path with blanks stays
// one argument, then "auto".
std::wstring AutoResumeCommand(const std::wstring& executablePath);

// Waits of the run, in milliseconds.
constexpr uint32_t kAttemptWaitMs = 1000;
constexpr uint32_t kCancelWaitMs = 500;
constexpr uint32_t kShutdownWaitMs = 2000;
constexpr uint32_t kCompletedWaitMs = 1000;
constexpr uint32_t kBeforeInstallerWaitMs = 500;
// How often the window's thread looks whether the checks of the arrived files are done.
constexpr uint32_t kVerifyPollMs = 100;

// Attempts of the install and the initialise phase of the client start-up.
constexpr int32_t kStartupAttempts = 4;
// An attempt that throws is repeated without counting; this many times at most per phase, so a
// persistent fault cannot hold the start-up forever.
constexpr int32_t kStartupExceptionRestarts = 4;

class DownloadJob {
 public:
  explicit DownloadJob(const JobServices& services);
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  // Start-up, on the window's thread.
  bool CreateMainWindow();
  void Start(bool autoStart);

  // Hooks of the server requests (HTTP stack's thread). A missing sid or configuration is a
  // failed answer.
  void OnSidReply(const std::optional<std::wstring>& sid);
  void OnConfigReply(std::unique_ptr<GameConfig> config);
  void OnServerRequestFailed(ServerRequestKind kind);

  // The window's commands, timer ticks and the end of the user's logon. OnCommand returns
  // false for an id that is none of the job's commands.
  bool OnCommand(int32_t id);
  void OnTimer(int32_t id);
  void OnSystemShutdown();

  // Client start-up.
  void CheckEula();
  void AcceptEula();
  void StartClient();
  void FetchClientGuid();
  void OnInstallProgress(int32_t percent);

  // Files and transport.
  void SelectFile(int32_t index);
  void StartCurrentFile();
  void Pause();
  void Resume();
  void TogglePause();
  void OnMinimizeRequest();
  void OnRestoreRequest();

  // Download speed: the player's choice of a menu step (kSpeedSteps), or the slow-down switch;
  // remembered at once and kept by the service from then on.
  void ChooseSpeedStep(int32_t step);
  void ToggleSlowDownWhilePlaying();
  const SpeedChoice& speedChoice() const { return speedChoice_; }

  // Progress.
  void OnProgressTimer();
  void UpdateStatus();
  void OnFileComplete();
  // Ticks while the window waits for the checks of the arrived files.
  void OnVerifyTimer();

  // Retries, prompts and the exit procedure.
  void ScheduleRetry(RetryReason reason);
  void ResetRetry();
  void FireRetry();
  void OnRetryTimer();
  void RetryCurrentFile();
  void ConfirmQuit();
  [[noreturn]] void CancelAndExit(bool isError, bool deleteFiles);
  [[noreturn]] void ExitDownloader(bool deleteFiles);

  // Per-user settings under settingsKeyPath (and subkey, when not empty).
  uint32_t ReadSettingDword(const std::wstring& subkey, const std::wstring& name, uint32_t defaultValue);
  bool WriteSettingDword(const std::wstring& subkey, const std::wstring& name, uint32_t value);
  // Has the program started once more, with "auto", at the next logon.
  void RegisterAutoResume();

  // What the job holds; read by the tray menu, the event emitters and tests.
  JobState state() const { return state_; }
  const std::wstring& settingsKeyPath() const { return settingsKeyPath_; }
  const std::wstring& sid() const { return sid_; }
  const GameConfig* config() const { return config_.get(); }
  int32_t currentIndex() const { return currentIndex_; }
  int64_t startTime() const { return startTime_; }
  bool promptOpen() const { return promptOpen_; }
  const RetryCounters& retryCounters() const { return retry_; }
  int32_t retryDelay() const { return retryDelay_; }
  int32_t retryCountdown() const { return retryCountdown_; }
  RetryReason retryReason() const { return retryReason_; }
  int32_t stallTicks() const { return stallTicks_; }
  int32_t errorTicks() const { return errorTicks_; }
  bool errorReportEnabled() const { return errorReportEnabled_; }
  uint64_t lastRate() const { return lastRate_; }
  uint64_t speed() const { return speed_; }
  uint64_t timeLeft() const { return timeLeft_; }
  const SampleWindow& totalSamples() const { return totalSamples_; }
  const SampleWindow& fileSamples() const { return fileSamples_; }
  // The job as events see it now.
  JobSnapshot Snapshot() const;

 private:
  ResourceFile* currentFile();
  int32_t fileCount() const;
  std::wstring systemDrive() const;
  std::wstring prepareDownloadFolder();
  void sendErrorEvent(const std::wstring& description, int32_t code, bool critical);
  void sendNonCriticalErrorOnce(const std::wstring& description);
  [[noreturn]] void failWithNotice(const std::wstring& message, const std::wstring& description, int32_t code);
  int32_t runInstallPhase();
  int32_t runInitialisePhase();
  void readFileSizes(uint64_t& sizeSum, uint64_t& heldSum);
  void checkDiskSpace(uint64_t sizeSum, uint64_t heldSum);
  void beginDownload();
  bool handlePollDiskSpace();
  bool offerRetryAfterConfigurationFailure();
  [[noreturn]] void failPoll(int32_t code);
  void verifyFile(int32_t index);
  void finishDownload();
  void handOff();
  bool refetchOnce(const std::vector<FileProblem>& problems);
  void recordFreshReading(int64_t now);
  void loadSpeedChoice();
  // Has the service keep the limit the choice and the desktop call for, when it is not what the
  // service was last given.
  void applyDownloadLimit();

  JobWindow& window_;
  ClientApi& client_;
  ServerRequests& server_;
  JobEvents& events_;
  MachineInventory& inventory_;
  JobPlatform& platform_;
  const GameInfo& game_;

  std::wstring settingsKeyPath_;
  bool windowCreated_ = false;
  JobState state_ = JobState::NotStarted;
  std::wstring sid_;
  // Where the game's files go: the folder on the system drive, or the user's own when that one
  // cannot be made private. Chosen by Start.
  std::wstring downloadFolder_;
  std::unique_ptr<GameConfig> config_;
  int32_t currentIndex_ = 0;
  int64_t startTime_ = 0;
  bool promptOpen_ = false;
  RetryCounters retry_;
  int32_t retryDelay_ = 0;
  int32_t retryCountdown_ = 0;
  RetryReason retryReason_ = RetryReason::RetryNone;
  int32_t stallTicks_ = 0;
  int32_t errorTicks_ = 0;
  // What the current file waits for, as the last reading told; empty while it moves.
  std::wstring waitingFor_;
  bool errorReportEnabled_ = true;
  uint64_t lastRate_ = 0;
  uint64_t speed_ = 0;
  uint64_t timeLeft_ = 0;
  SampleWindow totalSamples_;
  SampleWindow fileSamples_;
  FileVerifier verifier_;
  // Files fetched once more after a failed check, the current one first; and whether that has
  // happened in this run (it happens once at most).
  std::vector<int32_t> refetchQueue_;
  bool refetched_ = false;
  SpeedChoice speedChoice_;
  bool fullScreenProgram_ = false;
  // The limit the service was last asked to keep; none before the first time in a client's use.
  std::optional<uint64_t> limitGiven_;
  int32_t ticksSinceLimitGiven_ = 0;
};

// The process's job: made by the first call with the services the application wires; later calls
// return it unchanged. It is never destroyed.
DownloadJob& CreateDownloadJob(const JobServices& services);
// The job made by CreateDownloadJob, or nullptr before.
DownloadJob* GetDownloadJob();

#endif
