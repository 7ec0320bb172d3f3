// The job's window: the skinned main dialog, its prompts and the licence dialog, with the
// dialog's commands, timer ticks and the end of the logon passed back to the job.
#ifndef APP_MAIN_WINDOW_LINK_H
#define APP_MAIN_WINDOW_LINK_H

#include "download/job_window.h"
#include "ui/command_sink.h"
#include "ui/main_dialog.h"

class DownloadJob;

class MainWindowLink : public JobWindow, public MainWindowCommandSink {
 public:
  void AttachJob(DownloadJob* job) { job_ = job; }

  bool Create() override;
  void Show() override;
  void BringToForeground() override;
  void ResetProgressView() override;
  void ShowProgressRows() override;
  void SetPartCaption(int32_t index, int32_t count) override;
  void SetStatusText(const std::wstring& text) override;
  void SetPartProgress(int32_t percent) override;
  void SetTotalProgress(int32_t percent) override;
  void ShowResumeButton(bool visible) override;
  void HideTransportButtons() override;
  void MinimiseToTray() override;
  void RestoreFromTray() override;
  void SetTrayTooltip(const std::wstring& text) override;
  void StartTimer(int32_t id, uint32_t periodMs) override;
  void StopTimer(int32_t id) override;
  int32_t ShowPrompt(const Prompt& prompt) override;
  bool ShowEulaDialog() override;

  void OnPauseCommand() override;
  void OnResumeCommand() override;
  void OnCloseCommand() override;
  void OnMinimiseCommand() override;
  void OnRestoreCommand() override;
  void OnTogglePauseCommand() override;
  void OnSpeedCommand(int id) override;
  void OnProgressTimer() override;
  void OnRetryTimer() override;
  void OnVerifyTimer() override;
  void OnSessionEnding() override;
  int CurrentJobState() override;
  SpeedMenuState CurrentSpeedMenu() override;

 private:
  void Command(int32_t id);

  DownloadJob* job_ = nullptr;
  CMainDlg dialog_;
};

#endif
