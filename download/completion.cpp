// The next file, or the hand-off to the game's installer when every file has arrived and passed
// its checks.
#include <algorithm>

#include "download/download_job.h"
#include "download/failure_texts.h"
#include "download/prompt_catalogue.h"

void DownloadJob::OnFileComplete() {
  if (!refetchQueue_.empty()) {
    // A file fetched once more after a failed check: checked again, then the next such file.
    verifyFile(currentIndex_);
    refetchQueue_.erase(refetchQueue_.begin());
    if (!refetchQueue_.empty()) {
      SelectFile(refetchQueue_.front());
      return;
    }
    finishDownload();
    return;
  }
  events_.DownloadPartialComplete(Snapshot());
  verifyFile(currentIndex_);
  const int32_t next = currentIndex_ + 1;
  if (next < fileCount()) {
    SelectFile(next);
    return;
  }
  finishDownload();
}

void DownloadJob::verifyFile(int32_t index) {
  const ResourceFile* file = config_->FileAt(index);
  if (file == nullptr) return;
  FileCheck check;
  check.index = index;
  check.path = file->localPath;
  check.size = file->size;
  check.sha256 = file->sha256;
  if (index == 0) {
    check.signer = game_.installerSigner;
    check.hold = true;
    check.opened = true;
  }
  verifier_.Submit(std::move(check));
}

void DownloadJob::finishDownload() {
  state_ = JobState::Completed;
  window_.HideTransportButtons();
  UpdateStatus();
  if (verifier_.Idle()) {
    handOff();
    return;
  }
  // The last file is still being read: the window stays responsive meanwhile.
  window_.StartTimer(kVerifyTimerId, kVerifyPollMs);
}

void DownloadJob::OnVerifyTimer() {
  if (state_ != JobState::Completed) {
    window_.StopTimer(kVerifyTimerId);
    return;
  }
  if (!verifier_.Idle()) return;
  window_.StopTimer(kVerifyTimerId);
  handOff();
}

void DownloadJob::handOff() {
  const std::vector<FileProblem> problems = verifier_.TakeProblems();
  if (!problems.empty()) {
    if (refetchOnce(problems)) return;
    // Nothing is opened and nothing deleted: the files stay for the player (or support) to see.
    failWithNotice(kUnverifiedFilesText, L"Verification failed: " + problems.front().description, 0);
  }
  platform_.Sleep(kCompletedWaitMs);
  events_.DownloadComplete(Snapshot());
  window_.ShowPrompt(DownloadSuccessPrompt());
  platform_.Sleep(kBeforeInstallerWaitMs);
  // Opened while it is still held unchanged since its checks, from its own folder, so that the
  // installer that runs is the one checked and looks for nothing in the downloader's folder.
  platform_.ShellOpen(config_->InstallerPath(), downloadFolder_);
  verifier_.ReleaseHolds();
  ExitDownloader(false);
}

bool DownloadJob::refetchOnce(const std::vector<FileProblem>& problems) {
  if (refetched_) return false;
  for (const FileProblem& problem : problems) {
    if (!problem.refetchable) return false;
  }
  for (const FileProblem& problem : problems) {
    if (config_->FileAt(problem.index) == nullptr) return false;
  }
  refetched_ = true;
  for (const FileProblem& problem : problems) {
    // Deleted at the service, bytes on disk included, so that it is fetched from its first byte.
    client_.AKDelete(config_->FileAt(problem.index)->uri);
    refetchQueue_.push_back(problem.index);
  }
  std::sort(refetchQueue_.begin(), refetchQueue_.end());
  refetchQueue_.erase(std::unique(refetchQueue_.begin(), refetchQueue_.end()), refetchQueue_.end());
  state_ = JobState::Downloading;
  window_.ShowResumeButton(false);
  SelectFile(refetchQueue_.front());
  return true;
}
