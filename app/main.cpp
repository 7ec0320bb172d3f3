// Entry point of the downloader: one instance per game and session, the process-wide
// services, the download job with its window and adapters, and the message loop.
#include <windows.h>
#include <objbase.h>

#include "app/inventory_link.h"
#include "app/main_window_link.h"
#include "app/publisher_link.h"
#include "windows_common/system_folder_dlls.h"
#include "app/windows_file_inspector.h"
#include "app/windows_platform.h"
#include "download/download_job.h"
#include "download/wrapper_client.h"
#include "server/game_info.h"
#include "telemetry/event_clock.h"
#include "telemetry/job_event_reporter.h"
#include "telemetry/system_info.h"
#include "telemetry/tracker_pool.h"
#include "telemetry/windows_inventory_probe.h"
#include "ui/app_module.h"
#include "ui/message_loop.h"
#include "ui/single_instance.h"

namespace {

// Everything the job talks to. Made once and never destroyed: the process ends inside the job's
// exit procedure, while requests of the HTTP stack may still be under way.
struct Services {
  const GameInfo& game = BuiltInGameInfo();
  WindowsPlatform platform;
  WindowsFileInspector files;
  WrapperClient client;
  PublisherLink publisher{game};
  WindowsInventoryProbe probe;
  SystemInfo system{probe};
  InventoryLink inventory{system};
  SystemEventClock clock;
  TrackerPool tracker{game.analyticsHost, game.analyticsPort, game.analyticsSecure};
  JobEventReporter events{game, system, clock, tracker, publisher};
  MainWindowLink window;
};

int Run(const wchar_t* commandLine) {
  CMessageLoop loop;
  AppModule().AddMessageLoop(&loop);
  Services* services = new Services;
  DownloadJob& job = CreateDownloadJob(JobServices{services->window, services->client, services->publisher,
                                                   services->events, services->inventory, services->platform,
                                                   services->game, services->files});
  services->window.AttachJob(&job);
  services->publisher.AttachJob(&job);
  int result = 0;
  if (job.CreateMainWindow()) {
    job.Start(IsAutoStartCommandLine(commandLine));
    result = loop.Run();
  }
  AppModule().RemoveMessageLoop();
  loop.RemoveAll();
  return result;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int) {
  // Players start the downloader from their Downloads folder, where a planted DLL must never be
  // picked up.
  RestrictDllSearchToSystemFolder();
  if (!ClaimSingleInstance(InstanceMutexName(BuiltInGameInfo().code))) {
    // The running instance may have started a moment ago: its window gets a few seconds to appear.
    ActivateRunningInstance(DownloaderWindowTitle(), 5000);
    return 1;
  }
  // The window's thread is a single-threaded apartment, as ShellExecuteW (which opens the game's
  // installer from it) and the shell's extensions it may load require; the threads that use COM
  // otherwise (the configuration's XML, the inventory's WMI) join the multithreaded one themselves.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  AppModule().Init(instance);
  // GDI+ stays up to the end of the process: the exit procedure ends it from inside the loop.
  static GdiplusSession gdiplus;
  int result = Run(commandLine);
  AppModule().Term();
  CoUninitialize();
  return result;
}
