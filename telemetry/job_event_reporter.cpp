#include "telemetry/job_event_reporter.h"

namespace {

// The snapshot as the catalogue reads it. The snapshot already says whether a download is under
// way; that is shown as a configuration in the Downloading state, or none in NotStarted.
class SnapshotJob : public TrackedJob {
 public:
  explicit SnapshotJob(const JobSnapshot& job) : job_(job) {}

  bool HasConfig() const override { return job_.downloadUnderWay; }
  TrackedState State() const override {
    return job_.downloadUnderWay ? TrackedState::Downloading : TrackedState::NotStarted;
  }
  int32_t CurrentIndex() const override { return 0; }
  int32_t FileCount() const override { return job_.downloadUnderWay ? 1 : 0; }
  TrackedFile FileAt(int32_t) const override {
    return {job_.rid, job_.rnum, job_.fileSize, job_.fileReceived, job_.fileStartTime};
  }
  std::wstring FileId() const override { return job_.fileId; }
  uint64_t TotalReceived() const override { return job_.totalReceived; }
  int64_t StartTime() const override { return job_.jobStartTime; }
  RateSamples TotalSamples() const override { return {job_.totalSamples.sum, job_.totalSamples.count}; }
  RateSamples FileSamples() const override { return {job_.fileSamples.sum, job_.fileSamples.count}; }

 private:
  const JobSnapshot& job_;
};

class SnapshotClock : public EventClock {
 public:
  explicit SnapshotClock(int64_t now) : now_(now) {}
  int64_t NowSeconds() const override { return now_; }

 private:
  int64_t now_;
};

class BoundStatsPoster : public StatisticsPoster {
 public:
  BoundStatsPoster(StatsRequests& requests, const std::wstring& gameCode, const std::wstring& sid)
      : requests_(requests), gameCode_(gameCode), sid_(sid) {}
  void PostStats(const PropertyList& record) override { requests_.PostStats(gameCode_, sid_, record); }

 private:
  StatsRequests& requests_;
  const std::wstring& gameCode_;
  const std::wstring& sid_;
};

}  // namespace

JobEventReporter::JobEventReporter(const GameInfo& game, SystemDescription& system, const EventClock& clock,
                                   TrackTransport& transport, StatsRequests& statistics)
    : game_(game), system_(system), clock_(clock), transport_(transport), statistics_(statistics) {}

void JobEventReporter::Report(const JobSnapshot* job, const std::function<void(EventCatalogue&)>& emit) {
  JobSnapshot nothingUnderWay;
  const JobSnapshot& snapshot = job != nullptr ? *job : nothingUnderWay;
  SnapshotJob view(snapshot);
  SnapshotClock snapshotClock(snapshot.now);
  const EventClock& clock = job != nullptr ? static_cast<const EventClock&>(snapshotClock) : clock_;
  EventTracker tracker(game_, system_, clock, transport_);
  BoundStatsPoster poster(statistics_, game_.code, snapshot.sid);
  EventCatalogue catalogue(view, system_, clock, tracker, poster);
  emit(catalogue);
}

void JobEventReporter::Start() {
  Report(nullptr, [](EventCatalogue& c) { c.Start(); });
}

void JobEventReporter::AutoStart() {
  Report(nullptr, [](EventCatalogue& c) { c.AutoStart(); });
}

void JobEventReporter::DownloadInit() {
  Report(nullptr, [](EventCatalogue& c) { c.DownloadInit(); });
}

void JobEventReporter::Stats() {
  Report(nullptr, [](EventCatalogue& c) { c.Stats(); });
}

void JobEventReporter::DownloadPartialComplete(const JobSnapshot& job) {
  Report(&job, [](EventCatalogue& c) { c.DownloadPartialComplete(); });
}

void JobEventReporter::DownloadComplete(const JobSnapshot& job) {
  Report(&job, [](EventCatalogue& c) { c.DownloadComplete(); });
}

void JobEventReporter::DownloadPause(const JobSnapshot& job) {
  Report(&job, [](EventCatalogue& c) { c.DownloadPause(); });
}

void JobEventReporter::DownloadUnpause(const JobSnapshot& job) {
  Report(&job, [](EventCatalogue& c) { c.DownloadUnpause(); });
}

void JobEventReporter::DownloadCancel(bool isError, const JobSnapshot& job) {
  Report(&job, [isError](EventCatalogue& c) { c.DownloadCancel(isError); });
}

void JobEventReporter::SystemShutdown(const JobSnapshot& job) {
  Report(&job, [](EventCatalogue& c) { c.SystemShutdown(); });
}

void JobEventReporter::MinimizeWindow() {
  Report(nullptr, [](EventCatalogue& c) { c.MinimizeWindow(); });
}

void JobEventReporter::RestoreWindow() {
  Report(nullptr, [](EventCatalogue& c) { c.RestoreWindow(); });
}

void JobEventReporter::Error(const std::wstring& description, int32_t code, bool critical, const JobSnapshot& job) {
  Report(&job, [&](EventCatalogue& c) { c.Error(description, code, critical); });
}
