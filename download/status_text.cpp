#include "download/status_text.h"

#include "download/failure_texts.h"
#include "telemetry/display_formats.h"

namespace {

std::wstring retryingIn(int32_t seconds) {
  return std::wstring(kConnectionProblemsText) + L" - Retrying in " + std::to_wstring(seconds) + L" secs";
}

StatusTexts downloadingTexts(const StatusInputs& in, const std::wstring& received) {
  const bool countingDown = in.retryCountdown > 0;
  if (in.retryLevel > 0 && countingDown) return {retryingIn(in.retryCountdown) + L" - " + received, received};
  if (in.retryLevel > 0) return {L"Downloading - " + received, received};
  if (!in.waitingFor.empty()) return {in.waitingFor + L" - " + received, in.waitingFor + L"\n" + received};

  std::wstring timeLeft;
  std::wstring percentLine;
  if (in.timeLeft != 0) {
    timeLeft = FormatTimeLeft(in.timeLeft) + L" - ";
    percentLine = std::to_wstring(in.totalPercent) + L"% completed - " + FormatTimeLeft(in.timeLeft) + L"\n";
  }
  std::wstring rate;
  if (in.speed != 0) rate = L" (" + FormatSizeCompact(in.speed) + L"/sec)";
  if (in.limitNote.empty()) return {timeLeft + received + rate, percentLine + received + rate};
  return {timeLeft + received + rate + L" \u2014 " + in.limitNote, percentLine + received + rate + L"\n" + in.limitNote};
}

}  // namespace

StatusTexts ComposeStatus(const StatusInputs& in) {
  const std::wstring received = FormatSize(in.totalReceived) + L" of " + FormatSize(in.totalBytes);
  switch (in.state) {
    case JobState::Starting:
      if (in.retryLevel > 0 && in.retryCountdown > 0) return {retryingIn(in.retryCountdown), kStartingDownloadText};
      return {kStartingDownloadText, kStartingDownloadText};
    case JobState::Downloading:
      return downloadingTexts(in, received);
    case JobState::Paused:
      return {L"Paused - " + received, std::to_wstring(in.totalPercent) + L"% completed, Paused"};
    case JobState::Completed: {
      std::wstring done = L"Completed - " + FormatSize(in.totalBytes);
      return {done, done};
    }
    case JobState::NotStarted:
      break;
  }
  return {};
}
