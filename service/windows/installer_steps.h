// The steps of installing, updating and removing the download service for the current user.
#ifndef SERVICE_WINDOWS_INSTALLER_STEPS_H
#define SERVICE_WINDOWS_INSTALLER_STEPS_H

#include <string>

namespace svc {

// The installer's exit codes.
enum class InstallResult {
  Done = 0,
  BadCommandLine = 1,
  NoFolder = 2,           // the user's local application data folder is unknown
  StillRunning = 3,       // the running service did not stop when asked
  CannotWrite = 4,        // the program could not be put in its folder
  CannotStart = 5,        // the service could not be started, or stopped at once
  NotAnswering = 6,       // the service runs but does not answer its ping
  CannotRemove = 7,       // some of the program's files stayed behind
  // An update whose new program failed: the previous program is back in its place and answers.
  RolledBackStopped = 8,  // the new program ended at once
  RolledBackSilent = 9,   // the new program did not answer in time
  NewerKept = 10,         // a newer service is installed: it stays as it is, and answers
};

// Puts the service carried in this installer into its folder, registers it to start at logon and
// in the list of installed programs, starts it and waits until it answers. An installed service
// of the same or an older version is stopped first and kept beside as the previous program, which
// is put back and started when the new one ends at once or does not answer; a newer one is never
// replaced.
InstallResult InstallOrUpdate();
// Stops the service and removes what InstallOrUpdate made. Run from inside the service's folder
// (as the list of installed programs does), it hands the work to a copy of itself outside it;
// waitForProcess is that copy's "/after PID": the process to outlive first.
InstallResult Uninstall(const std::wstring& waitForProcess);

}  // namespace svc

#endif
