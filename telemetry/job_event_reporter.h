// The controller's JobEvents, implemented with the event catalogue: each call's JobSnapshot
// becomes the catalogue's view of the job and its time the events' time; events raised without
// a snapshot (start, init, stats, window changes) see no download under way and the system clock.
// Statistics records go to the publisher's server under the game code and the snapshot's sid.
//
// Threads: no state of its own beyond the references; safe from any thread the parts are.
#ifndef TELEMETRY_JOB_EVENT_REPORTER_H
#define TELEMETRY_JOB_EVENT_REPORTER_H

#include <functional>
#include <string>

#include "download/job_events.h"
#include "server/game_info.h"
#include "telemetry/event_catalogue.h"
#include "telemetry/event_clock.h"
#include "telemetry/event_tracker.h"
#include "telemetry/system_description.h"

// Posts a statistics record to "<base>/<gameCode>/<sid>/stats".
class StatsRequests {
 public:
  virtual ~StatsRequests() = default;
  virtual void PostStats(const std::wstring& gameCode, const std::wstring& sid, const PropertyList& record) = 0;
};

class JobEventReporter : public JobEvents {
 public:
  JobEventReporter(const GameInfo& game, SystemDescription& system, const EventClock& clock, TrackTransport& transport,
                   StatsRequests& statistics);

  void Start() override;
  void AutoStart() override;
  void DownloadInit() override;
  void Stats() override;
  void DownloadPartialComplete(const JobSnapshot& job) override;
  void DownloadComplete(const JobSnapshot& job) override;
  void DownloadPause(const JobSnapshot& job) override;
  void DownloadUnpause(const JobSnapshot& job) override;
  void DownloadCancel(bool isError, const JobSnapshot& job) override;
  void SystemShutdown(const JobSnapshot& job) override;
  void MinimizeWindow() override;
  void RestoreWindow() override;
  void Error(const std::wstring& description, int32_t code, bool critical, const JobSnapshot& job) override;

 private:
  // Runs emit on a catalogue over job (none: nothing under way, the system clock).
  void Report(const JobSnapshot* job, const std::function<void(EventCatalogue&)>& emit);

  const GameInfo& game_;
  SystemDescription& system_;
  const EventClock& clock_;
  TrackTransport& transport_;
  StatsRequests& statistics_;
};

#endif
