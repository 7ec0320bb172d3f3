// The once-a-second poll of the current file, and the bars, status line and tooltip it feeds.
// Runs on the window's thread.
#include "download/download_job.h"
#include "download/failure_texts.h"
#include "download/progress_math.h"
#include "download/prompt_catalogue.h"
#include "download/status_text.h"
#include "service_client/client_errors.h"
#include "service_client/file_operations.h"

namespace {

// More readings without progress than this in a row make a stall.
constexpr int32_t kStallTicksLimit = 5;
// More failed polls than this in a row end the run.
constexpr int32_t kClientErrorTicksLimit = 3;

constexpr int32_t kNetworkFailure = static_cast<int32_t>(ClientError::NetworkFailure);
constexpr int32_t kClientConfigurationFailure = static_cast<int32_t>(ClientError::ClientConfigurationFailure);

}  // namespace

void DownloadJob::OnProgressTimer() {
  if (state_ == JobState::Downloading || state_ == JobState::Paused) {
    fullScreenProgram_ = platform_.FullScreenProgramRuns();
    applyDownloadLimit();
  }
  if (state_ != JobState::Downloading || !config_ || promptOpen_ || retryReason_ != RetryReason::RetryNone) return;
  ResourceFile* file = currentFile();
  if (file == nullptr) return;
  const int64_t now = platform_.NowSeconds();
  FileReading reading;
  const int32_t result = client_.AKGetFileAttr(file->uri, reading);

  bool fresh = true;
  bool stalled = false;
  waitingFor_.clear();
  if (result != 0) {
    fresh = false;
    if (result == kNetworkFailure) {
      stalled = ++stallTicks_ > kStallTicksLimit;
    } else if (result == kClientConfigurationFailure) {
      if (!offerRetryAfterConfigurationFailure()) return;
    } else if (++errorTicks_ > kClientErrorTicksLimit) {
      failPoll(result);
    }
  } else {
    // Any answer from the client breaks a run of failed polls.
    errorTicks_ = 0;
    if (reading.status == kFileInsufficientDiskSpace) {
      if (!handlePollDiskSpace()) return;
    } else if (reading.status == kFileWaiting && reading.error != 0) {
      // The service cannot write the file (another program holds it, or the folder refuses it)
      // and tries again by itself; asking it again would not help, so this is no stall, and the
      // player is told what the download waits for.
      fresh = false;
      stallTicks_ = 0;
      waitingFor_ = WaitingFileText(reading.error);
      sendNonCriticalErrorOnce(waitingFor_.c_str());
      if (reading.uniquerecv > 0) file->received = static_cast<uint64_t>(reading.uniquerecv);
    } else {
      // A disconnected client makes no progress, whatever rate it last reported: such readings
      // count towards a stall like readings without a rate.
      if (reading.status != kFileDisconnected && reading.downloadrate > 0) {
        lastRate_ = static_cast<uint64_t>(reading.downloadrate);
        stallTicks_ = 0;
      } else {
        fresh = false;
        ++stallTicks_;
      }
      if (reading.uniquerecv > 0) file->received = static_cast<uint64_t>(reading.uniquerecv);
      stalled = stallTicks_ > kStallTicksLimit;
    }
  }

  if (stalled) {
    sendNonCriticalErrorOnce(kConnectionProblemsText);
    ScheduleRetry(RetryReason::RetryDownload);
    stallTicks_ = 0;
  }
  if (fresh) recordFreshReading(now);
  if (file->size != 0 || config_->totalBytes != 0) UpdateStatus();
  if (result == 0 && reading.status == kFileComplete) OnFileComplete();
}

void DownloadJob::recordFreshReading(int64_t now) {
  ResetRetry();
  speed_ = SmoothSpeed(speed_, lastRate_);
  totalSamples_.Record(lastRate_, now, kTotalSampleIntervalSeconds);
  fileSamples_.Record(lastRate_, now, kFileSampleIntervalSeconds);
}

// The poll reported the disk full: pause the file, ask, and download it again. False when the
// run no longer downloads after the prompt (the user paused it through the close prompt).
bool DownloadJob::handlePollDiskSpace() {
  sendNonCriticalErrorOnce(kNotEnoughDiskSpaceText);
  promptOpen_ = true;
  ResourceFile* file = currentFile();
  client_.AKPause(file->uri);
  if (window_.ShowPrompt(DiskSpacePrompt(kNotEnoughDiskSpaceMessage)) == kPromptButton2) CancelAndExit(true, false);
  promptOpen_ = false;
  if (state_ != JobState::Downloading) return false;
  client_.AKDownload(file->uri, file->localPath);
  return true;
}

// The client could not write its configuration, which in practice means a full disk.
bool DownloadJob::offerRetryAfterConfigurationFailure() {
  promptOpen_ = true;
  if (window_.ShowPrompt(DiskSpacePrompt(kNotEnoughDiskSpaceMessage)) == kPromptButton2) CancelAndExit(true, false);
  promptOpen_ = false;
  if (state_ != JobState::Downloading) return false;
  RetryCurrentFile();
  return true;
}

void DownloadJob::failPoll(int32_t code) {
  const std::wstring text = client_.ErrorText(code);
  sendErrorEvent(text, code, true);
  promptOpen_ = true;
  window_.ShowPrompt(FatalPollErrorPrompt(ClientFailureText(code, text)));
  promptOpen_ = false;
  CancelAndExit(true, false);
}

void DownloadJob::UpdateStatus() {
  if (DownloadHasStarted(state_) && (!config_ || currentIndex_ >= fileCount())) return;
  StatusInputs inputs;
  inputs.state = state_;
  inputs.retryLevel = retry_.level;
  inputs.retryCountdown = retryCountdown_;
  if (ClientInUse(state_) && config_) {
    const ResourceFile* file = currentFile();
    const int32_t filePercent = file ? PercentOf(file->received, file->size) : 0;
    inputs.totalReceived = config_->TotalReceived();
    inputs.totalBytes = config_->totalBytes;
    inputs.totalPercent = PercentOf(inputs.totalReceived, inputs.totalBytes);
    if (speed_ != 0) timeLeft_ = EstimateTimeLeft(inputs.totalBytes, inputs.totalReceived, speed_, timeLeft_);
    window_.SetPartProgress(filePercent);
    window_.SetTotalProgress(inputs.totalPercent);
  }
  inputs.timeLeft = timeLeft_;
  inputs.speed = speed_;
  inputs.waitingFor = waitingFor_;
  inputs.limitNote = LimitNote(speedChoice_, fullScreenProgram_);
  const StatusTexts texts = ComposeStatus(inputs);
  window_.SetStatusText(texts.status);
  window_.SetTrayTooltip(texts.tooltip);
}
