// The analytics events and statistics records the job sends, one method per event, with what
// the job knows at that moment. The implementation builds each event's properties (and posts
// the statistics record that goes first, where there is one).
//
// Threads: Stats runs on the worker thread; DownloadInit, and Error and DownloadCancel raised by
// the server hooks or the client start-up, on the HTTP stack's thread; everything else on the
// window's thread.
#ifndef DOWNLOAD_JOB_EVENTS_H
#define DOWNLOAD_JOB_EVENTS_H

#include <stdint.h>

#include <string>

#include "download/sample_window.h"

// The job as an event sees it, copied when the event is raised.
struct JobSnapshot {
  int64_t now = 0;  // seconds since 1970
  // A configuration is held and the state is Downloading, Paused or Completed.
  bool downloadUnderWay = false;
  std::wstring sid;
  std::wstring fileId;  // the configuration's file_id
  // The current file; empty and zero when there is none.
  std::wstring rid;
  std::wstring rnum;
  uint64_t fileReceived = 0;
  uint64_t fileSize = 0;
  int64_t fileStartTime = 0;
  uint64_t totalReceived = 0;  // over all files
  int64_t jobStartTime = 0;    // when the client start-up began
  SampleWindow totalSamples;
  SampleWindow fileSamples;
};

class JobEvents {
 public:
  virtual ~JobEvents() = default;
  virtual void Start() = 0;
  virtual void AutoStart() = 0;
  virtual void DownloadInit() = 0;
  virtual void Stats() = 0;
  virtual void DownloadPartialComplete(const JobSnapshot& job) = 0;
  virtual void DownloadComplete(const JobSnapshot& job) = 0;
  virtual void DownloadPause(const JobSnapshot& job) = 0;
  virtual void DownloadUnpause(const JobSnapshot& job) = 0;
  virtual void DownloadCancel(bool isError, const JobSnapshot& job) = 0;
  virtual void SystemShutdown(const JobSnapshot& job) = 0;
  virtual void MinimizeWindow() = 0;
  virtual void RestoreWindow() = 0;
  // code is the ClientError for failures of the client, 0 otherwise; critical when the error
  // ends the run.
  virtual void Error(const std::wstring& description, int32_t code, bool critical, const JobSnapshot& job) = 0;
};

#endif
