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

void DownloadJob::RegisterAutoResume() {
  const std::wstring path = platform_.ExecutablePath();
  if (path.empty()) return;
  // A failure only means no automatic start at the next logon.
  platform_.WriteRunOnceEntry(DownloaderTitle(game_), AutoResumeCommand(path));
}
