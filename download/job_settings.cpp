// Per-user settings and the auto-resume entry.
#include "download/download_job.h"

const wchar_t kSettingsKeyPath[] = L"Software\\Tessel Games\\Downloader";
const wchar_t kAcceptedEulaValue[] = L"accepted_eula";

namespace {

std::wstring keyPathWith(const std::wstring& keyPath, const std::wstring& subkey) {
  return subkey.empty() ? keyPath : keyPath + L"\\" + subkey;
}

}  // namespace

std::wstring AutoResumeCommand(const std::wstring& executablePath) { return L"\"" + executablePath + L"\" auto"; }

uint32_t DownloadJob::ReadSettingDword(const std::wstring& subkey, const std::wstring& name, uint32_t defaultValue) {
  return platform_.ReadDword(keyPathWith(settingsKeyPath_, subkey), name).value_or(defaultValue);
}

bool DownloadJob::WriteSettingDword(const std::wstring& subkey, const std::wstring& name, uint32_t value) {
  return platform_.WriteDword(keyPathWith(settingsKeyPath_, subkey), name, value);
}

void DownloadJob::loadSpeedChoice() {
  speedChoice_.limitMiB = kSpeedStepsMiB[SpeedStepOf(ReadSettingDword(game_.code, kDownloadLimitValue, 0))];
  speedChoice_.slowDownWhilePlaying = ReadSettingDword(game_.code, kSlowDownWhilePlayingValue, 1) != 0;
}

void DownloadJob::ChooseSpeedStep(int32_t step) {
  if (step < 0 || step >= kSpeedStepCount) return;
  speedChoice_.limitMiB = kSpeedStepsMiB[step];
  // Not remembered is only not kept for the next run: the choice holds for this one anyway.
  WriteSettingDword(game_.code, kDownloadLimitValue, speedChoice_.limitMiB);
  applyDownloadLimit();
  UpdateStatus();
}

void DownloadJob::ToggleSlowDownWhilePlaying() {
  speedChoice_.slowDownWhilePlaying = !speedChoice_.slowDownWhilePlaying;
  WriteSettingDword(game_.code, kSlowDownWhilePlayingValue, speedChoice_.slowDownWhilePlaying ? 1 : 0);
  applyDownloadLimit();
  UpdateStatus();
}

void DownloadJob::applyDownloadLimit() {
  // Before the start-up has made the client ready, and once the download is over, nothing is
  // asked: the start-up gives the limit when the download begins.
  if (state_ != JobState::Downloading && state_ != JobState::Paused) return;
  const uint64_t limit = EffectiveDownloadLimit(speedChoice_, fullScreenProgram_);
  // Asked once per change, and a limit now and then again: a service that does not take it (an
  // older one) is not asked every second, and downloads go on without a limit; one started again
  // meanwhile gets it back. No limit is what a service starts with.
  if (limitGiven_ == limit && (limit == 0 || ++ticksSinceLimitGiven_ < kLimitRenewTicks)) return;
  limitGiven_ = limit;
  ticksSinceLimitGiven_ = 0;
  client_.SetDownloadLimit(limit);
}

void DownloadJob::RegisterAutoResume() {
  const std::wstring path = platform_.ExecutablePath();
  if (path.empty()) return;
  // A failure only means no automatic start at the next logon.
  platform_.WriteRunOnceEntry(DownloaderTitle(game_), AutoResumeCommand(path));
}
