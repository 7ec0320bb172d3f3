#include "download/download_job.h"

#include <utility>
#include <vector>

#include "download/failure_texts.h"
#include "download/prompt_catalogue.h"

DownloadJob::DownloadJob(const JobServices& services)
    : window_(services.window),
      client_(services.client),
      server_(services.server),
      events_(services.events),
      inventory_(services.inventory),
      platform_(services.platform),
      game_(services.game),
      verifier_(services.files, [this](std::function<void()> body) { platform_.RunWorker(std::move(body)); }) {}

bool DownloadJob::CreateMainWindow() {
  if (!window_.Create()) return false;
  settingsKeyPath_ = kSettingsKeyPath;
  windowCreated_ = true;
  return true;
}

void DownloadJob::Start(bool autoStart) {
  if (!windowCreated_ || state_ != JobState::NotStarted) return;
  state_ = JobState::Starting;
  window_.Show();
  if (autoStart) {
    events_.AutoStart();
  } else {
    events_.Start();
  }
  CheckEula();
  loadSpeedChoice();
  downloadFolder_ = prepareDownloadFolder();
  window_.ResetProgressView();
  window_.BringToForeground();
  errorReportEnabled_ = true;
  window_.SetPartProgress(3);
  ResetRetry();
  server_.RequestSid(game_.code);
}

void DownloadJob::OnSidReply(const std::optional<std::wstring>& sid) {
  // Only the answer the start-up waits for counts; anything later is stale.
  if (state_ != JobState::Starting || config_) return;
  if (!sid || sid->empty()) failWithNotice(kNoSidText, kNoSidText, 0);
  sid_ = *sid;
  window_.SetPartProgress(10);
  errorReportEnabled_ = true;
  ResetRetry();
  server_.RequestConfig(game_.code, sid_);
}

void DownloadJob::OnConfigReply(std::unique_ptr<GameConfig> config) {
  // The configuration is taken once: the progress poll relies on it never changing afterwards.
  if (state_ != JobState::Starting || config_) return;
  const bool usable = config != nullptr && !config->files.empty() &&
                      AssignLocalPaths(*config, downloadFolder_) && ReadDigests(*config);
  if (!usable) failWithNotice(kInvalidGameDataText, kInvalidGameDataText, 0);
  config_ = std::move(config);
  window_.SetPartProgress(20);
  errorReportEnabled_ = true;
  ResetRetry();
  // The HTTP stack's thread is given back at once; the start-up goes on, on a thread of its own.
  platform_.StartThread([this] { StartClient(); });
}

void DownloadJob::OnServerRequestFailed(ServerRequestKind kind) {
  if (state_ != JobState::Starting) return;
  sendNonCriticalErrorOnce(kConnectionProblemsText);
  ScheduleRetry(kind == ServerRequestKind::Sid ? RetryReason::RetrySid : RetryReason::RetryConfig);
}

bool DownloadJob::OnCommand(int32_t id) {
  switch (id) {
    case kCommandPause:
      Pause();
      return true;
    case kCommandResume:
      Resume();
      return true;
    case kCommandClose:
      ConfirmQuit();
      return true;
    case kCommandMinimise:
      OnMinimizeRequest();
      return true;
    case kCommandTogglePause:
      TogglePause();
      return true;
    case kCommandOpenDownload:
      OnRestoreRequest();
      return true;
    case kCommandSlowDownWhilePlaying:
      ToggleSlowDownWhilePlaying();
      return true;
    default:
      if (id >= kCommandSpeedStepFirst && id < kCommandSpeedStepFirst + kSpeedStepCount) {
        ChooseSpeedStep(id - kCommandSpeedStepFirst);
        return true;
      }
      return false;
  }
}

void DownloadJob::OnTimer(int32_t id) {
  if (id == kProgressTimerId) {
    OnProgressTimer();
  } else if (id == kRetryTimerId) {
    OnRetryTimer();
  } else if (id == kVerifyTimerId) {
    OnVerifyTimer();
  }
}

void DownloadJob::SelectFile(int32_t index) {
  currentIndex_ = index;
  fileSamples_ = SampleWindow();
  window_.SetPartCaption(index, fileCount());
  window_.SetPartProgress(0);
  StartCurrentFile();
}

void DownloadJob::StartCurrentFile() {
  ResourceFile* file = currentFile();
  if (file == nullptr) return;
  if (file->startTime <= 0) file->startTime = platform_.NowSeconds();
  stallTicks_ = 0;
  errorTicks_ = 0;
  client_.AKDownload(file->uri, file->localPath);
}

void DownloadJob::Pause() {
  if (state_ != JobState::Downloading) return;
  state_ = JobState::Paused;
  ResetRetry();
  if (ResourceFile* file = currentFile()) client_.AKPause(file->uri);
  window_.ShowResumeButton(true);
  events_.DownloadPause(Snapshot());
  UpdateStatus();
}

void DownloadJob::Resume() {
  if (state_ != JobState::Paused) return;
  state_ = JobState::Downloading;
  StartCurrentFile();
  window_.ShowResumeButton(false);
  events_.DownloadUnpause(Snapshot());
  UpdateStatus();
}

void DownloadJob::TogglePause() {
  if (state_ == JobState::Downloading) {
    Pause();
  } else if (state_ == JobState::Paused) {
    Resume();
  }
}

void DownloadJob::OnMinimizeRequest() {
  window_.MinimiseToTray();
  UpdateStatus();
  if (DownloadHasStarted(state_)) events_.MinimizeWindow();
}

void DownloadJob::OnRestoreRequest() {
  window_.RestoreFromTray();
  UpdateStatus();
  if (DownloadHasStarted(state_)) events_.RestoreWindow();
}

void DownloadJob::OnSystemShutdown() {
  RegisterAutoResume();
  events_.SystemShutdown(Snapshot());
  platform_.Sleep(kShutdownWaitMs);
  ExitDownloader(false);
}

JobSnapshot DownloadJob::Snapshot() const {
  JobSnapshot snapshot;
  snapshot.now = platform_.NowSeconds();
  snapshot.downloadUnderWay = config_ != nullptr && ClientInUse(state_);
  snapshot.sid = sid_;
  snapshot.jobStartTime = startTime_;
  snapshot.totalSamples = totalSamples_;
  snapshot.fileSamples = fileSamples_;
  if (config_ == nullptr) return snapshot;
  snapshot.fileId = config_->fileId;
  snapshot.totalReceived = config_->TotalReceived();
  if (const ResourceFile* file = config_->FileAt(currentIndex_)) {
    snapshot.rid = file->rid;
    snapshot.rnum = file->rnum;
    snapshot.fileReceived = file->received;
    snapshot.fileSize = file->size;
    snapshot.fileStartTime = file->startTime;
  }
  return snapshot;
}

ResourceFile* DownloadJob::currentFile() { return config_ ? config_->FileAt(currentIndex_) : nullptr; }

int32_t DownloadJob::fileCount() const { return config_ ? config_->fileCount : 0; }

std::wstring DownloadJob::systemDrive() const {
  return SystemDrive([this](const std::wstring& name) { return platform_.Environment(name); });
}

// The game's folder on the system drive is shared by every account on the machine: the installer
// opened from it at the end (often with administrator rights) must not be replaceable, nor find a
// DLL planted beside it, by anyone else. When that folder cannot be made private (another account
// owns it, or it leads elsewhere), the game goes to the same folders under the user's own local
// application data instead.
std::wstring DownloadJob::prepareDownloadFolder() {
  const std::wstring shared = systemDrive();
  std::vector<std::wstring> roots{shared};
  const std::optional<std::wstring> own = platform_.Environment(L"LOCALAPPDATA");
  if (own && !own->empty()) roots.push_back(*own);
  for (const std::wstring& root : roots) {
    if (platform_.MakePrivateFolder(DownloadFolderParent(root)) &&
        platform_.MakePrivateFolder(DownloadFolder(game_, root))) {
      return DownloadFolder(game_, root);
    }
  }
  // Neither could be made private: the user's own profile, which other accounts cannot enter,
  // is still the safer place.
  return DownloadFolder(game_, roots.back());
}

void DownloadJob::sendErrorEvent(const std::wstring& description, int32_t code, bool critical) {
  events_.Error(description, code, critical, Snapshot());
}

void DownloadJob::sendNonCriticalErrorOnce(const std::wstring& description) {
  if (!errorReportEnabled_) return;
  sendErrorEvent(description, 0, false);
  errorReportEnabled_ = false;
}

void DownloadJob::failWithNotice(const std::wstring& message, const std::wstring& description, int32_t code) {
  sendErrorEvent(description, code, true);
  window_.ShowPrompt(ErrorNoticePrompt(message));
  CancelAndExit(true, false);
}

namespace {
DownloadJob* processJob = nullptr;
}  // namespace

DownloadJob& CreateDownloadJob(const JobServices& services) {
  if (processJob == nullptr) processJob = new DownloadJob(services);
  return *processJob;
}

DownloadJob* GetDownloadJob() { return processJob; }
