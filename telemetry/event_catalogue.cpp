#include "telemetry/event_catalogue.h"

#include "telemetry/event_values.h"

EventCatalogue::EventCatalogue(const TrackedJob& job, SystemDescription& system, const EventClock& clock,
                               EventSink& events, StatisticsPoster& statistics)
    : job_(job), system_(system), clock_(clock), events_(events), statistics_(statistics) {}

bool EventCatalogue::CurrentFile(TrackedFile* file) const {
  if (!DownloadUnderWay(job_)) return false;
  int32_t index = job_.CurrentIndex();
  if (index < 0 || index >= job_.FileCount()) return false;
  *file = job_.FileAt(index);
  return true;
}

void EventCatalogue::AppendFileProgress(PropertyList& list) const {
  TrackedFile file;
  bool current = CurrentFile(&file);
  list.Append(L"file_piece", current ? file.rnum : L"0");
  list.Append(L"file_piece_completion", current ? FilePieceCompletion(file.received, file.size) : L"0");
}

void EventCatalogue::Start() { events_.Track(L"start", {}); }

void EventCatalogue::AutoStart() { events_.Track(L"auto_start", {}); }

void EventCatalogue::DownloadInit() { events_.Track(L"download_init", {}); }

void EventCatalogue::Stats() {
  PropertyList own;
  own.Append(L"system_flash", system_.FlashVersion());
  own.Append(L"system_net", system_.DotNetVersion());
  own.Append(L"system_ram", system_.Memory());
  own.Append(L"system_graphics_card", system_.GraphicsCard());
  own.Append(L"system_graphics_card_memory", system_.GraphicsMemory());
  own.Append(L"system_processor_count", system_.ProcessorCount());
  own.Append(L"system_processor_core_count", system_.CoresPerProcessor());
  own.Append(L"system_processor_clock_speed", system_.ProcessorClock());
  events_.Track(L"stats", own);
}

bool EventCatalogue::DownloadPartialComplete() {
  if (!DownloadUnderWay(job_)) return false;
  TrackedFile file;
  bool current = CurrentFile(&file);
  statistics_.PostStats({{L"event", L"partial_complete"}, {L"attr1", file.rid}});
  RateSamples samples = job_.FileSamples();
  PropertyList own;
  own.Append(L"file_piece", current ? file.rnum : L"0");
  own.Append(L"elapsed_time", ElapsedMinutesOneDecimal(clock_.NowSeconds(), file.startTime));
  own.Append(L"approx_speed", ApproxSpeed(samples.sum, samples.count));
  events_.Track(L"download_partial_complete", own);
  return true;
}

bool EventCatalogue::DownloadComplete() {
  if (!DownloadUnderWay(job_)) return false;
  statistics_.PostStats({{L"event", L"complete"}, {L"attr1", job_.FileId()}});
  RateSamples samples = job_.TotalSamples();
  PropertyList own;
  own.Append(L"elapsed_time", ElapsedWholeMinutes(clock_.NowSeconds(), job_.StartTime()));
  own.Append(L"approx_speed", ApproxSpeed(samples.sum, samples.count));
  events_.Track(L"download_complete", own);
  return true;
}

bool EventCatalogue::DownloadPause() {
  if (!DownloadUnderWay(job_)) return false;
  TrackedFile file;
  CurrentFile(&file);
  statistics_.PostStats(
      {{L"event", L"pause"}, {L"attr1", file.rid}, {L"attr2", FormatUnsigned64(job_.TotalReceived())}});
  PropertyList own;
  AppendFileProgress(own);
  events_.Track(L"download_pause", own);
  return true;
}

bool EventCatalogue::DownloadUnpause() {
  if (!DownloadUnderWay(job_)) return false;
  statistics_.PostStats({{L"event", L"unpause"}});
  events_.Track(L"download_unpause", {});
  return true;
}

void EventCatalogue::DownloadCancel(bool isError) {
  PropertyList own;
  own.Append(L"error", isError ? L"1" : L"0");
  AppendFileProgress(own);
  events_.Track(L"download_cancel", own);
}

void EventCatalogue::SystemShutdown() {
  PropertyList own;
  AppendFileProgress(own);
  events_.Track(L"system_shutdown", own);
}

void EventCatalogue::MinimizeWindow() { events_.Track(L"minimize_window", {}); }

void EventCatalogue::RestoreWindow() { events_.Track(L"restore_window", {}); }

void EventCatalogue::Error(const std::wstring& description, int32_t akError, bool critical) {
  PropertyList own;
  own.Append(L"ak_error", FormatLow32(static_cast<uint64_t>(static_cast<int64_t>(akError))));
  own.Append(L"critical", critical ? L"1" : L"0");
  own.Append(L"description", description);
  AppendFileProgress(own);
  events_.Track(L"error", own);
}
