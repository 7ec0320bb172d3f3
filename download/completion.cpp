// The next file, or the hand-off to the game's installer when every file has arrived.
#include "download/download_job.h"
#include "download/prompt_catalogue.h"

void DownloadJob::OnFileComplete() {
  events_.DownloadPartialComplete(Snapshot());
  const int32_t next = currentIndex_ + 1;
  if (next < fileCount()) {
    SelectFile(next);
    return;
  }
  state_ = JobState::Completed;
  window_.HideTransportButtons();
  UpdateStatus();
  platform_.Sleep(kCompletedWaitMs);
  events_.DownloadComplete(Snapshot());
  window_.ShowPrompt(DownloadSuccessPrompt());
  platform_.Sleep(kBeforeInstallerWaitMs);
  platform_.ShellOpen(config_->InstallerPath());
  ExitDownloader(false);
}
