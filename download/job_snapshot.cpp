#include "download/job_events.h"
#include "download/progress_math.h"

uint64_t JobSnapshot::FileCompletionPercent() const {
  return static_cast<uint64_t>(PercentOf(fileReceived, fileSize));
}
