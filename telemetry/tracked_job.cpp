#include "telemetry/tracked_job.h"

bool DownloadUnderWay(const TrackedJob& job) {
  TrackedState state = job.State();
  return job.HasConfig() &&
         (state == TrackedState::Downloading || state == TrackedState::Paused || state == TrackedState::Completed);
}
