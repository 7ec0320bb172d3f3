// The download job as the event catalogue reads it: a narrow, read-only view, implemented over
// the real job by the controller's side and by a fake in tests. Reads happen on the thread that
// raises the event.
#ifndef TELEMETRY_TRACKED_JOB_H
#define TELEMETRY_TRACKED_JOB_H

#include <stdint.h>

#include <string>

// The job's states (the same numbering as the controller's).
enum class TrackedState : int32_t { NotStarted = 0, Starting = 2, Downloading = 3, Paused = 4, Completed = 5 };

struct TrackedFile {
  std::wstring rid;
  std::wstring rnum;
  uint64_t size = 0;
  uint64_t received = 0;
  int64_t startTime = 0;  // seconds since 1970 when the file was first handed to the client
};

// A running mean of download-rate samples (bytes per second).
struct RateSamples {
  uint64_t sum = 0;
  uint64_t count = 0;
};

class TrackedJob {
 public:
  virtual ~TrackedJob() = default;
  virtual bool HasConfig() const = 0;
  virtual TrackedState State() const = 0;
  virtual int32_t CurrentIndex() const = 0;
  virtual int32_t FileCount() const = 0;
  // Only asked for indexes from 0 to FileCount() - 1.
  virtual TrackedFile FileAt(int32_t index) const = 0;
  virtual std::wstring FileId() const = 0;
  // Received bytes over all files.
  virtual uint64_t TotalReceived() const = 0;
  // Seconds since 1970 when the client start-up began.
  virtual int64_t StartTime() const = 0;
  virtual RateSamples TotalSamples() const = 0;
  virtual RateSamples FileSamples() const = 0;
};

// A configuration is held and the state is Downloading, Paused or Completed.
bool DownloadUnderWay(const TrackedJob& job);

#endif
