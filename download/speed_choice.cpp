#include "download/speed_choice.h"

#include <algorithm>

#include "telemetry/display_formats.h"

const wchar_t kDownloadLimitValue[] = L"download_limit_mb";
const wchar_t kSlowDownWhilePlayingValue[] = L"slow_down_while_playing";

int32_t SpeedStepOf(uint32_t limitMiB) {
  for (int32_t step = 0; step < kSpeedStepCount; ++step) {
    if (kSpeedStepsMiB[step] == limitMiB) return step;
  }
  return 0;
}

std::wstring SpeedStepText(int32_t step) {
  if (step <= 0 || step >= kSpeedStepCount) return L"No limit";
  return std::to_wstring(kSpeedStepsMiB[step]) + L" MB/s";
}

namespace {

// The player's own limit in bytes per second; 0: none.
uint64_t ownLimit(const SpeedChoice& choice) {
  return static_cast<uint64_t>(kSpeedStepsMiB[SpeedStepOf(choice.limitMiB)]) * kBytesPerMiB;
}

}  // namespace

uint64_t EffectiveDownloadLimit(const SpeedChoice& choice, bool fullScreenProgramRuns) {
  const uint64_t own = ownLimit(choice);
  if (!choice.slowDownWhilePlaying || !fullScreenProgramRuns) return own;
  return own == 0 ? kWhilePlayingLimit : std::min(own, kWhilePlayingLimit);
}

bool SlowedDownForPlay(const SpeedChoice& choice, bool fullScreenProgramRuns) {
  return EffectiveDownloadLimit(choice, fullScreenProgramRuns) != ownLimit(choice);
}

std::wstring LimitNote(const SpeedChoice& choice, bool fullScreenProgramRuns) {
  if (SlowedDownForPlay(choice, fullScreenProgramRuns)) return L"slowed down while you play";
  const uint64_t limit = EffectiveDownloadLimit(choice, fullScreenProgramRuns);
  if (limit == 0) return std::wstring();
  return L"limited to " + FormatSizeCompact(limit) + L"/sec";
}

bool MeansFullScreenProgram(int32_t notificationState) {
  switch (static_cast<NotificationState>(notificationState)) {
    case NotificationState::Busy:
    case NotificationState::RunningD3DFullScreen:
    case NotificationState::PresentationMode:
      return true;
    default:
      // A locked machine or a running screen saver is nobody playing; a Store app may be a window.
      return false;
  }
}
