// The player's download speed choice: the steps the menus offer, how the choice is remembered,
// and the limit the service is to keep at a given moment (the player's own, or less while a
// full-screen program runs and the player asked to slow down then).
#ifndef DOWNLOAD_SPEED_CHOICE_H
#define DOWNLOAD_SPEED_CHOICE_H

#include <stdint.h>

#include <string>

constexpr uint64_t kBytesPerMiB = 1024 * 1024;

// The menu's steps, in MB/s (of 1 048 576 bytes, as every size the program shows); 0: no limit.
constexpr uint32_t kSpeedStepsMiB[] = {0, 1, 2, 5, 10, 25};
constexpr int32_t kSpeedStepCount = sizeof kSpeedStepsMiB / sizeof kSpeedStepsMiB[0];
// A limit is given to the service again after this many progress ticks: a service that was
// restarted meanwhile (killed, updated) starts without one.
constexpr int32_t kLimitRenewTicks = 30;
// While a full-screen program runs, at most this much (or the player's own limit when lower).
constexpr uint64_t kWhilePlayingLimit = 1 * kBytesPerMiB;

// Menu commands: one per step, in the steps' order, then the slow-down switch.
constexpr int32_t kCommandSpeedStepFirst = 32780;
constexpr int32_t kCommandSlowDownWhilePlaying = kCommandSpeedStepFirst + kSpeedStepCount;

// Where the choice is kept, under the game's settings key: the limit in MB/s (a step; anything
// else reads as no limit) and whether to slow down while the player plays (on unless 0).
extern const wchar_t kDownloadLimitValue[];
extern const wchar_t kSlowDownWhilePlayingValue[];

struct SpeedChoice {
  uint32_t limitMiB = 0;
  bool slowDownWhilePlaying = true;
};

// The step index of a limit in MB/s; 0 (no limit) for a value that is no step.
int32_t SpeedStepOf(uint32_t limitMiB);
// The menu's text of a step: "No limit", "5 MB/s".
std::wstring SpeedStepText(int32_t step);

// The limit the service is to keep, in bytes per second; 0: none.
uint64_t EffectiveDownloadLimit(const SpeedChoice& choice, bool fullScreenProgramRuns);
// Whether the slow-down for a full-screen program is what holds the limit down now.
bool SlowedDownForPlay(const SpeedChoice& choice, bool fullScreenProgramRuns);
// What the status line and the tooltip add while a limit holds: "slowed down while you play",
// "limited to 5.0 MB/sec"; empty without one.
std::wstring LimitNote(const SpeedChoice& choice, bool fullScreenProgramRuns);

// The shell's notification states (SHQueryUserNotificationState's QUNS_ values), and whether one
// of them means a full-screen program runs on the player's desktop: a game in exclusive or
// borderless full screen, a film, a presentation.
enum class NotificationState : int32_t {
  NotPresent = 1,               // the screen saver runs, the machine is locked, or a session switches
  Busy = 2,                     // a full-screen program runs, or Presentation Settings are on
  RunningD3DFullScreen = 3,     // a Direct3D program runs in exclusive full screen
  PresentationMode = 4,         // presentation mode
  AcceptsNotifications = 5,     // nothing of the above
  QuietTime = 6,                // the first hour after a new user's first sign-in
  App = 7,                      // a Windows Store app runs
};
bool MeansFullScreenProgram(int32_t notificationState);

#endif
