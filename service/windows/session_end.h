// Waiting for the service's stop while watching for the end of the user's session. Windows tells
// a program that the session ends (sign-out, shutdown, restart, Fast Startup) only through its
// top-level windows; a program without one is ended without notice, with its files half-written.
// So the service keeps a hidden top-level window whose only work is to answer those messages.
#ifndef SERVICE_WINDOWS_SESSION_END_H
#define SERVICE_WINDOWS_SESSION_END_H

#include <windows.h>

#include <functional>

namespace svc {

enum class StopReason {
  Asked,          // the stop event was set (an installer updating or removing the service)
  SessionEnding,  // the user's session ends: stopCleanly has run
  NoWindow,       // the window could not be made: only the stop event was waited for
};

// Waits until stopEvent is set or the session ends. When it ends, stopCleanly runs inside the
// handling of WM_ENDSESSION, before the answer that lets Windows end the process.
StopReason WaitForStopOrSessionEnd(HANDLE stopEvent, const std::function<void()>& stopCleanly);

}  // namespace svc

#endif
