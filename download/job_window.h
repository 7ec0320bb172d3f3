// What the job asks of its main window, its notification-area icon and its dialogs.
//
// Threads: the job calls these on the window's thread, except during the server hooks and the
// client start-up, which run on the HTTP stack's thread. From there it calls ResetProgressView,
// ShowProgressRows, SetPartCaption, SetStatusText, SetPartProgress, StartTimer, StopTimer and
// ShowPrompt; SetPartProgress may also come from the installer's own thread (its progress). The
// implementation carries such calls over to the window's thread and waits for them (a prompt
// from another thread stays modal to the main window and blocks only its caller).
#ifndef DOWNLOAD_JOB_WINDOW_H
#define DOWNLOAD_JOB_WINDOW_H

#include <stdint.h>

#include <string>

#include "download/prompt.h"

// Ids of the window's one-second timers.
constexpr int32_t kProgressTimerId = 100;
constexpr int32_t kRetryTimerId = 200;
// Not a one-second timer: it ticks every kVerifyPollMs while the checks of the files finish.
constexpr int32_t kVerifyTimerId = 300;
constexpr uint32_t kTimerPeriodMs = 1000;

class JobWindow {
 public:
  virtual ~JobWindow() = default;

  // Creates the main window (hidden); false when it cannot be made.
  virtual bool Create() = 0;
  // Shows it with the platform's default show state.
  virtual void Show() = 0;
  virtual void BringToForeground() = 0;

  // Total bar 0 %, captions and pause button hidden, status "Starting download..."; the
  // current-file bar keeps its value.
  virtual void ResetProgressView() = 0;
  // Starts the progress timer (replacing a running one), status "Starting download...", shows
  // the Part and Total captions.
  virtual void ShowProgressRows() = 0;
  // "Part <index + 1>/<count>".
  virtual void SetPartCaption(int32_t index, int32_t count) = 0;
  virtual void SetStatusText(const std::wstring& text) = 0;
  virtual void SetPartProgress(int32_t percent) = 0;
  virtual void SetTotalProgress(int32_t percent) = 0;
  virtual void ShowResumeButton(bool visible) = 0;
  // Hides the pause and resume buttons.
  virtual void HideTransportButtons() = 0;
  virtual void MinimiseToTray() = 0;
  virtual void RestoreFromTray() = 0;
  virtual void SetTrayTooltip(const std::wstring& text) = 0;

  // Starts (or restarts) a timer of the window; its ticks reach DownloadJob::OnTimer.
  virtual void StartTimer(int32_t id, uint32_t periodMs) = 0;
  virtual void StopTimer(int32_t id) = 0;

  // Shows the prompt modally and returns the pressed button (1 to 3) or kPromptClosed.
  virtual int32_t ShowPrompt(const Prompt& prompt) = 0;
  // Shows the licence dialog modally, owned by the main window; true when the user agreed.
  virtual bool ShowEulaDialog() = 0;
};

#endif
