// The analytics events of a run, one method each, and the statistics records that four of them
// post first. Each method checks its precondition, posts its record (if any), then builds the
// event's own properties in their fixed order and hands them to the event sink, which adds the
// common properties and sends the event.
//
// Preconditions: DownloadPartialComplete, DownloadComplete, DownloadPause and DownloadUnpause send
// nothing at all unless a download is under way (they then return false). The others always send.
// Which situation raises which event is the controller's business.
//
// Threads: the catalogue keeps no state of its own; it may be called from any thread, as long as
// the job view, the sinks and the clock may.
#ifndef TELEMETRY_EVENT_CATALOGUE_H
#define TELEMETRY_EVENT_CATALOGUE_H

#include <stdint.h>

#include <string>

#include "telemetry/event_clock.h"
#include "telemetry/property_list.h"
#include "telemetry/system_description.h"
#include "telemetry/tracked_job.h"

// Sends one analytics event with its own properties (the tracker adds the common ones).
class EventSink {
 public:
  virtual ~EventSink() = default;
  virtual void Track(const std::wstring& eventName, const PropertyList& ownProperties) = 0;
};

// Posts one statistics record (event, attr1, attr2) to the publisher's server under the game code
// and the sid.
class StatisticsPoster {
 public:
  virtual ~StatisticsPoster() = default;
  virtual void PostStats(const PropertyList& record) = 0;
};

class EventCatalogue {
 public:
  EventCatalogue(const TrackedJob& job, SystemDescription& system, const EventClock& clock, EventSink& events,
                 StatisticsPoster& statistics);

  void Start();
  void AutoStart();
  void DownloadInit();
  // The hardware part of the inventory: system_flash, system_net, system_ram,
  // system_graphics_card, system_graphics_card_memory, system_processor_count,
  // system_processor_core_count, system_processor_clock_speed.
  void Stats();
  // file_piece, elapsed_time (minutes, one decimal), approx_speed (of the file);
  // record event=partial_complete, attr1=rid.
  bool DownloadPartialComplete();
  // elapsed_time (whole minutes since the job started), approx_speed (of the whole download);
  // record event=complete, attr1=file_id.
  bool DownloadComplete();
  // file_piece, file_piece_completion; record event=pause, attr1=rid, attr2=total received.
  bool DownloadPause();
  // No properties; record event=unpause.
  bool DownloadUnpause();
  // error ("1" when the program quits because of an error), file_piece, file_piece_completion.
  void DownloadCancel(bool isError);
  // file_piece, file_piece_completion.
  void SystemShutdown();
  void MinimizeWindow();
  void RestoreWindow();
  // ak_error (the client's error code, 0 for other errors), critical, description, file_piece,
  // file_piece_completion.
  void Error(const std::wstring& description, int32_t akError, bool critical);

 private:
  // The current file, when a download is under way and the index points at one.
  bool CurrentFile(TrackedFile* file) const;
  // file_piece and file_piece_completion, "0" and "0" when no download is under way.
  void AppendFileProgress(PropertyList& list) const;

  const TrackedJob& job_;
  SystemDescription& system_;
  const EventClock& clock_;
  EventSink& events_;
  StatisticsPoster& statistics_;
};

#endif
