#include "app/main_window_link.h"

#include "download/download_job.h"
#include "resources/resource_ids.h"
#include "ui/eula_dialog.h"
#include "ui/msg_box.h"

bool MainWindowLink::Create() {
  dialog_.SetCommandSink(this);
  return dialog_.Create();
}

void MainWindowLink::Show() { dialog_.Show(); }
void MainWindowLink::BringToForeground() { dialog_.BringToForeground(); }
void MainWindowLink::ResetProgressView() { dialog_.ResetProgressView(); }
void MainWindowLink::ShowProgressRows() { dialog_.ShowProgressRows(); }
void MainWindowLink::SetPartCaption(int32_t index, int32_t count) { dialog_.SetPartCaption(index, count); }
void MainWindowLink::SetStatusText(const std::wstring& text) { dialog_.SetStatusText(text); }
void MainWindowLink::SetPartProgress(int32_t percent) { dialog_.SetPartProgress(percent); }
void MainWindowLink::SetTotalProgress(int32_t percent) { dialog_.SetTotalProgress(percent); }
void MainWindowLink::ShowResumeButton(bool visible) { dialog_.ShowResumeButton(visible); }
void MainWindowLink::HideTransportButtons() { dialog_.HideTransportButtons(); }
void MainWindowLink::MinimiseToTray() { dialog_.MinimiseToTray(); }
void MainWindowLink::RestoreFromTray() { dialog_.RestoreFromTray(); }
void MainWindowLink::SetTrayTooltip(const std::wstring& text) { dialog_.SetTrayTooltip(text); }
void MainWindowLink::StartTimer(int32_t id, uint32_t periodMs) { dialog_.StartTimer(static_cast<UINT_PTR>(id), periodMs); }
void MainWindowLink::StopTimer(int32_t id) { dialog_.StopTimer(static_cast<UINT_PTR>(id)); }

int32_t MainWindowLink::ShowPrompt(const Prompt& prompt) {
  CMsgBox box(static_cast<int>(prompt.icon), static_cast<int>(prompt.buttons[0].colour), prompt.buttons[0].text,
              static_cast<int>(prompt.buttons[1].colour), prompt.buttons[1].text,
              static_cast<int>(prompt.buttons[2].colour), prompt.buttons[2].text, prompt.message, prompt.title);
  HWND owner = prompt.owner == PromptOwner::MainWindow ? dialog_.Handle() : GetForegroundWindow();
  return box.Show(owner);
}

bool MainWindowLink::ShowEulaDialog() {
  CEULADlg licence;
  return licence.Show(dialog_.Handle()) == CEULADlg::kAccepted;
}

void MainWindowLink::Command(int32_t id) {
  if (job_ != nullptr) job_->OnCommand(id);
}

void MainWindowLink::OnPauseCommand() { Command(kCommandPause); }
void MainWindowLink::OnResumeCommand() { Command(kCommandResume); }
void MainWindowLink::OnCloseCommand() { Command(kCommandClose); }
void MainWindowLink::OnMinimiseCommand() { Command(kCommandMinimise); }
void MainWindowLink::OnRestoreCommand() { Command(kCommandOpenDownload); }
void MainWindowLink::OnTogglePauseCommand() { Command(kCommandTogglePause); }

static_assert(ID_SPEED_STEP_FIRST == kCommandSpeedStepFirst &&
                  ID_SPEED_STEP_LAST == kCommandSpeedStepFirst + kSpeedStepCount - 1 &&
                  ID_SLOW_DOWN_WHILE_PLAYING == kCommandSlowDownWhilePlaying,
              "the menus' speed items are the job's speed commands");
void MainWindowLink::OnSpeedCommand(int id) { Command(id); }

void MainWindowLink::OnProgressTimer() {
  if (job_ != nullptr) job_->OnTimer(kProgressTimerId);
}

void MainWindowLink::OnRetryTimer() {
  if (job_ != nullptr) job_->OnTimer(kRetryTimerId);
}

void MainWindowLink::OnVerifyTimer() {
  if (job_ != nullptr) job_->OnTimer(kVerifyTimerId);
}

void MainWindowLink::OnSessionEnding() {
  if (job_ != nullptr) job_->OnSystemShutdown();
}

int MainWindowLink::CurrentJobState() { return job_ != nullptr ? static_cast<int>(job_->state()) : 0; }

SpeedMenuState MainWindowLink::CurrentSpeedMenu() {
  if (job_ == nullptr) return SpeedMenuState();
  const SpeedChoice& choice = job_->speedChoice();
  return SpeedMenuState{SpeedStepOf(choice.limitMiB), choice.slowDownWhilePlaying};
}
