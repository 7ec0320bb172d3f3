// What the main window passes on: the player's clicks, the tray menu's commands, the two timers'
// ticks and the end of the user's logon. The download controller implements it.
#ifndef UI_COMMAND_SINK_H
#define UI_COMMAND_SINK_H

// Job states as the download controller numbers them; the tray menu's pause item depends on them.
constexpr int kJobStateDownloading = 3;
constexpr int kJobStatePaused = 4;

// The download speed items of the menus: the chosen step (0: "No limit") and the slow-down switch.
struct SpeedMenuState {
  int step = 0;
  bool slowDownWhilePlaying = true;
};

class MainWindowCommandSink {
 public:
  virtual void OnPauseCommand() = 0;        // pause button 1001
  virtual void OnResumeCommand() = 0;       // resume button 1003
  virtual void OnCloseCommand() = 0;        // close button 1009
  virtual void OnMinimiseCommand() = 0;     // minimise button 1010
  virtual void OnRestoreCommand() = 0;      // tray "Open Download" 32778, tray icon click
  virtual void OnTogglePauseCommand() = 0;  // tray "Pause" / "Resume" 32777
  // A "Download speed" step (32780 to 32785) or "Slow down while I play" (32786), from the tray
  // menu or the window's own.
  virtual void OnSpeedCommand(int id) = 0;
  virtual void OnProgressTimer() = 0;       // timer 100
  virtual void OnRetryTimer() = 0;          // timer 200
  virtual void OnVerifyTimer() = 0;         // timer 300
  virtual void OnSessionEnding() = 0;       // the user's logon ends (logoff or shutdown)
  // The job's state when the tray menu opens.
  virtual int CurrentJobState() = 0;
  // The speed items' state when a menu opens.
  virtual SpeedMenuState CurrentSpeedMenu() = 0;

 protected:
  ~MainWindowCommandSink() = default;
};

#endif
