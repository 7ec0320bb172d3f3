// The client start-up: licence, install, initialise, file sizes, disk space, begin of the
// download. Runs on a thread of its own that OnConfigReply starts; its waits block only that
// thread.
#include <exception>

#include "download/download_job.h"
#include "download/failure_texts.h"
#include "download/progress_math.h"
#include "download/prompt_catalogue.h"
#include "service_client/client_errors.h"

namespace {

// Where the current-file bar stands during the start-up.
constexpr int32_t kProgressWithConfig = 20;
constexpr int32_t kProgressAfterInstall = 80;
constexpr int32_t kProgressSizesKnown = 100;
constexpr double kInstallerProgressSpan = kProgressAfterInstall - kProgressWithConfig;

constexpr int32_t kInternalFailure = static_cast<int32_t>(ClientError::InternalFailure);

}  // namespace

void DownloadJob::CheckEula() {
  if (ReadSettingDword(game_.code, kAcceptedEulaValue, 0) != 0) return;
  if (window_.ShowEulaDialog()) {
    AcceptEula();
    return;
  }
  CancelAndExit(false, false);
}

void DownloadJob::AcceptEula() { WriteSettingDword(game_.code, kAcceptedEulaValue, 1); }

void DownloadJob::OnInstallProgress(int32_t percent) {
  window_.SetPartProgress(static_cast<int32_t>(percent * kInstallerProgressSpan / 100.0 + kProgressWithConfig));
}

void DownloadJob::FetchClientGuid() {
  window_.SetPartProgress(kProgressAfterInstall);
  if (client_.TSInitialize() != 0) return;
  std::wstring guid;
  if (client_.AKGetAttr(guid) == 0) inventory_.SetClientGuid(guid);
  client_.TSUninitialize();
}

void DownloadJob::StartClient() {
  if (!config_) return;
  timeLeft_ = 0;
  lastRate_ = 0;
  speed_ = 0;
  currentIndex_ = 0;
  config_->totalBytes = 0;
  config_->fileCount = static_cast<int32_t>(config_->files.size());
  const int64_t now = platform_.NowSeconds();
  startTime_ = now;
  totalSamples_ = SampleWindow();
  totalSamples_.lastTime = now;
  window_.SetPartProgress(kProgressWithConfig);

  int32_t result = runInstallPhase();
  if (result != 0) failWithNotice(InstallFailureText(result), InstallErrorDescription(client_.ErrorText(result)), result);

  window_.SetPartProgress(kProgressAfterInstall);
  window_.ResetProgressView();
  result = runInitialisePhase();
  if (result != 0) failWithNotice(InitializeFailureText(result), client_.ErrorText(result), result);

  uint64_t sizeSum = 0;
  uint64_t heldSum = 0;
  readFileSizes(sizeSum, heldSum);
  window_.SetPartProgress(kProgressSizesKnown);
  config_->totalBytes = sizeSum;

  checkDiskSpace(sizeSum, heldSum);
  beginDownload();
}

int32_t DownloadJob::runInstallPhase() {
  const InstallProgress progress = [this](int32_t percent) { OnInstallProgress(percent); };
  int32_t repeated = 0;
  int32_t restarts = 0;
  bool retrying = false;
  for (;;) {
    try {
      window_.SetStatusText(kStartingDownloadText);
      // Only the first attempt reports the installer's progress.
      const int32_t result = client_.TSInstall(retrying ? InstallProgress() : progress);
      // An update that failed leaves the older service working: the run goes on with it, and
      // analytics learn why.
      const std::wstring updateProblem = client_.ServiceUpdateProblem();
      if (!updateProblem.empty()) sendErrorEvent(updateProblem, 0, false);
      FetchClientGuid();
      if (result == 0 || repeated == kStartupAttempts - 1) return result;
      ++repeated;
      platform_.Sleep(kAttemptWaitMs);
      retrying = true;
    } catch (const std::exception&) {
      // The attempt starts over at once; only the attempts that returned a result wait.
      if (++restarts > kStartupExceptionRestarts) return kInternalFailure;
    }
  }
}

int32_t DownloadJob::runInitialisePhase() {
  int32_t repeated = 0;
  int32_t restarts = 0;
  for (;;) {
    try {
      // The connection opened here stays open until the exit procedure.
      const int32_t result = client_.TSInitialize();
      if (result == 0 || repeated == kStartupAttempts - 1) return result;
      ++repeated;
      platform_.Sleep(kAttemptWaitMs);
    } catch (const std::exception&) {
      if (++restarts > kStartupExceptionRestarts) return kInternalFailure;
    }
  }
}

void DownloadJob::readFileSizes(uint64_t& sizeSum, uint64_t& heldSum) {
  const int32_t count = fileCount();
  for (int32_t i = 0; i < count; ++i) {
    ResourceFile& file = *config_->FileAt(i);
    const uint64_t size = client_.AKGetFileSize(file.uri, file.localPath);
    // The wrapper gives up after its bound; without sizes neither the disk check nor the
    // progress would mean anything.
    if (size == 0) failWithNotice(kFileSizeUnknownText, kFileSizeUnknownText, 0);
    file.size = size;
    sizeSum += size;
    heldSum += client_.AKGetReceivedSize(file.uri);
    window_.SetPartProgress((kProgressSizesKnown - kProgressAfterInstall) * i / count + kProgressAfterInstall);
  }
}

void DownloadJob::checkDiskSpace(uint64_t sizeSum, uint64_t heldSum) {
  // A failed query gives 0: no check rather than a false alarm.
  if (platform_.FreeDiskSpace() == 0) return;
  const uint64_t need = DiskSpaceNeeded(sizeSum, heldSum);
  const Prompt prompt = DiskSpacePrompt(StartupDiskSpaceMessage(need));
  uint64_t free = platform_.FreeDiskSpace();
  while (need > free) {
    sendNonCriticalErrorOnce(kNotEnoughDiskSpaceText);
    if (window_.ShowPrompt(prompt) == kPromptButton2) CancelAndExit(true, false);
    free = platform_.FreeDiskSpace();
  }
}

void DownloadJob::beginDownload() {
  errorReportEnabled_ = true;
  state_ = JobState::Downloading;
  events_.DownloadInit();
  // A service that ran before keeps the limit it was last given, perhaps by another run.
  limitGiven_.reset();
  applyDownloadLimit();
  SelectFile(0);
  window_.ShowProgressRows();
  platform_.RunWorker([this] {
    inventory_.GatherWmiInventory();
    events_.Stats();
  });
}
