// The status line and the notification-area tooltip for the job's state.
#ifndef DOWNLOAD_STATUS_TEXT_H
#define DOWNLOAD_STATUS_TEXT_H

#include <stdint.h>

#include <string>

#include "download/job_state.h"

struct StatusInputs {
  JobState state = JobState::NotStarted;
  int32_t retryLevel = 0;
  int32_t retryCountdown = 0;
  uint64_t totalReceived = 0;
  uint64_t totalBytes = 0;
  int32_t totalPercent = 0;
  uint64_t timeLeft = 0;  // seconds; 0: no estimate
  uint64_t speed = 0;     // bytes per second; 0: no rate shown
  // Why the current file does not move, when the service says so; shown in place of the time
  // left and the rate.
  std::wstring waitingFor;
  // While a speed limit holds: "limited to 5.0 MB/sec", "slowed down while you play".
  std::wstring limitNote;
};

struct StatusTexts {
  std::wstring status;
  std::wstring tooltip;
};

StatusTexts ComposeStatus(const StatusInputs& inputs);

#endif
