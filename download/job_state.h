// Where the run stands, and what a scheduled retry will redo.
#ifndef DOWNLOAD_JOB_STATE_H
#define DOWNLOAD_JOB_STATE_H

#include <stdint.h>

enum class JobState : int32_t {
  NotStarted = 0,
  Starting = 2,     // window shown; server asked, client being started
  Downloading = 3,  // files are fetched; the progress poll works
  Paused = 4,       // the current file is paused at the client
  Completed = 5,    // all files arrived; the hand-off runs
};

// The download has started: past Starting.
inline bool DownloadHasStarted(JobState state) { return static_cast<int32_t>(state) > 2; }

// The client connection is in use: Downloading or later.
inline bool ClientInUse(JobState state) { return static_cast<int32_t>(state) >= 3; }

enum class RetryReason : int32_t {
  RetryNone = 0,
  RetrySid = 1,       // send the sid request again
  RetryConfig = 2,    // send the configuration request again
  RetryDownload = 3,  // hand the current file to the client again
};

#endif
