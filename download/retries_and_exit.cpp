// The retry machine, the close prompts and the exit procedure every started run ends through.
#include <stdlib.h>

#include <exception>

#include "download/download_job.h"
#include "download/prompt_catalogue.h"

void DownloadJob::ScheduleRetry(RetryReason reason) {
  retryReason_ = reason;
  retryDelay_ = EscalateRetry(retry_, reason);
  retryCountdown_ = retryDelay_;
  window_.StopTimer(kRetryTimerId);
  window_.StartTimer(kRetryTimerId, kTimerPeriodMs);
}

void DownloadJob::ResetRetry() {
  window_.StopTimer(kRetryTimerId);
  retryReason_ = RetryReason::RetryNone;
  retry_ = RetryCounters();
  retryDelay_ = 0;
  retryCountdown_ = 0;
  stallTicks_ = 0;
  errorReportEnabled_ = true;
}

void DownloadJob::OnRetryTimer() {
  if (retry_.level == 0) {
    window_.StopTimer(kRetryTimerId);
    return;
  }
  if (retryCountdown_ > 0) --retryCountdown_;
  if (retryCountdown_ == 0) FireRetry();
  UpdateStatus();
}

void DownloadJob::FireRetry() {
  const RetryReason reason = retryReason_;
  window_.StopTimer(kRetryTimerId);
  stallTicks_ = 0;
  // The level stays, so that a further failure waits longer.
  retryReason_ = RetryReason::RetryNone;
  switch (reason) {
    case RetryReason::RetrySid:
      server_.RequestSid(game_.code);
      break;
    case RetryReason::RetryConfig:
      server_.RequestConfig(game_.code, sid_);
      break;
    case RetryReason::RetryDownload:
      StartCurrentFile();
      break;
    case RetryReason::RetryNone:
      break;
  }
}

void DownloadJob::RetryCurrentFile() {
  if (ResourceFile* file = currentFile()) client_.AKRetry(file->uri, file->localPath);
}

void DownloadJob::ConfirmQuit() {
  switch (state_) {
    case JobState::NotStarted:
    case JobState::Starting:
      if (window_.ShowPrompt(QuitPrompt()) == kPromptButton1) CancelAndExit(false, false);
      return;
    case JobState::Downloading:
    case JobState::Paused: {
      const int32_t answer = window_.ShowPrompt(StopPrompt(state_ == JobState::Downloading));
      if (answer == kPromptButton1) {
        const int32_t save = window_.ShowPrompt(SaveProgressPrompt());
        if (save == kPromptButton1) CancelAndExit(false, false);
        if (save == kPromptButton2) CancelAndExit(false, true);
      } else if (answer == kPromptButton2 && state_ == JobState::Downloading) {
        Pause();
      }
      return;
    }
    case JobState::Completed:
      return;
  }
}

void DownloadJob::CancelAndExit(bool isError, bool deleteFiles) {
  events_.DownloadCancel(isError, Snapshot());
  platform_.Sleep(kCancelWaitMs);
  ExitDownloader(deleteFiles);
}

void DownloadJob::ExitDownloader(bool deleteFiles) {
  try {
    if (state_ == JobState::Downloading) {
      state_ = JobState::Paused;
      if (ResourceFile* file = currentFile()) client_.AKPause(file->uri);
    }
    if (ClientInUse(state_)) {
      if (deleteFiles) {
        // A checked installer is held unchanged until it is opened: the service must be able to
        // remove it now.
        verifier_.ReleaseHolds();
        for (int32_t i = 0; i < fileCount(); ++i) {
          if (const ResourceFile* file = config_->FileAt(i)) client_.AKDelete(file->uri);
        }
      }
      client_.TSUninitialize();
    }
  } catch (const std::exception&) {
    // The process ends all the same; nothing is left to report to.
  }
  platform_.EndProcess(0);
  // EndProcess never returns; a faulty implementation must still not let the run go on.
  std::abort();
}
