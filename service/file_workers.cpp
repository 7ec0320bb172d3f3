#include "service/file_workers.h"

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "service/segment_plan.h"
#include "service/segmented_fetch.h"

namespace svc {
namespace {

// The status a file's worker reports while its local file cannot be written.
const char* phaseOf(TargetProblem problem) {
  switch (problem) {
    case TargetProblem::DiskFull:
      return "INSUFFICIENTDISKSPACE";
    case TargetProblem::Redirected:
    case TargetProblem::NameTooLong:
      return "FORBIDDEN";
    default:
      return "WAITING";
  }
}

// What a power loss may have taken from the end of a file being written: NTFS can keep a file's
// new size without the data written last.
constexpr int64_t kUncleanStopTail = 4 * 1024 * 1024;
}  // namespace

FileWorkers::FileWorkers(const ServiceOptions& options, ServiceHooks& hooks, FileList& list)
    : options_(options),
      hooks_(hooks),
      list_(list),
      keepAwake_(options.keepAwake),
      hostConnections_(options.connectionsPerHost) {}

void FileWorkers::start(const std::shared_ptr<TrackedFile>& file) {
  file->worker = std::make_unique<WorkerThread>();
  WorkerThread* worker = file->worker.get();
  worker->thread = std::thread([this, file, worker] { run(file, worker); });
}

void FileWorkers::stop(TrackedFile& file) { file.worker.reset(); }

void FileWorkers::setPhase(TrackedFile& file, const char* phase, const FetchOutcome& outcome) {
  std::lock_guard<std::mutex> lock(list_.state());
  file.phase = phase;
  file.errorText = outcome.detail;
  file.error = outcome.httpStatus;
}

void FileWorkers::run(const std::shared_ptr<TrackedFile>& file, WorkerThread* worker) {
  std::string url;
  std::filesystem::path local;
  {
    std::lock_guard<std::mutex> lock(list_.state());
    url = file->record.url;
    local = file->local;
  }
  FetchHooks hooks;
  hooks.sizeKnown = [&](int64_t total) {
    bool changed;
    {
      std::lock_guard<std::mutex> lock(list_.state());
      changed = file->record.size != total;
      file->record.size = total;
      file->phase = "DOWNLOADING";
      file->errorText.clear();
      file->error = 0;
    }
    if (changed) list_.save();
  };
  hooks.versionKnown = [&](const std::string& validator) {
    bool changed;
    {
      std::lock_guard<std::mutex> lock(list_.state());
      changed = file->record.validator != validator;
      file->record.validator = validator;
    }
    // Kept before the first byte of that version is written, so that a service killed at any
    // moment resumes only the version on disk.
    if (changed) list_.save();
  };
  // Whether the current attempt brought any byte: a run of attempts without makes the waits grow.
  std::atomic<bool> progressed{false};
  int failuresInRow = 0;
  // onDisk -1: the bytes were added by one of several connections, each at its own place.
  hooks.bytesWritten = [&](int64_t onDisk, uint64_t added) {
    progressed = true;
    std::lock_guard<std::mutex> lock(list_.state());
    file->onDisk = onDisk >= 0 ? onDisk : file->onDisk + static_cast<int64_t>(added);
    file->totalReceived += static_cast<int64_t>(added);
    file->rate.add(added, RateMeter::Clock::now());
  };
  hooks.abort = &worker->fetchAbort;
  hooks.keepGoing = [&] {
    while (!worker->stopRequested && hooks_.stalled(url)) worker->pause(std::chrono::milliseconds(20));
    return !worker->stopRequested;
  };

  std::unique_ptr<TargetFile> target;
  std::optional<std::chrono::steady_clock::time_point> inUseSince;
  while (!worker->stopRequested) {
    if (hooks_.stalled(url)) {
      worker->pause(std::chrono::milliseconds(50));
      continue;
    }
    if (!target) {
      target = openTarget(*file, local, &inUseSince);
      if (!target) {
        // A file in use is tried again soon until its patience runs out, then at the usual pace.
        const bool soon = inUseSince && std::chrono::steady_clock::now() - *inUseSince < options_.fileInUsePatience;
        worker->pause(soon ? std::chrono::milliseconds(250) : options_.retryDelay);
        continue;
      }
    }
    bool segmented = false;
    int64_t resumeFrom = 0;
    progressed = false;
    FetchOutcome outcome{};
    {
      KeepAwake::Scope fetching(keepAwake_);
      outcome = fetchAttempt(file, worker, *target, hooks, &segmented, &resumeFrom);
    }
    failuresInRow = progressed ? 0 : failuresInRow + 1;
    std::chrono::milliseconds wait = options_.retryDelay;
    for (int i = 1; i < failuresInRow && wait < options_.longestRetryDelay; ++i) wait *= 2;
    wait = std::min(wait, options_.longestRetryDelay);
    switch (outcome.result) {
      case FetchResult::Complete: {
        // On the disk before the list says it is complete; closed, so that others may read it.
        if (TargetProblem problem = target->Flush(); problem != TargetProblem::None) {
          reportWriteProblem(*file, local, problem, target->LastSystemCode());
          break;
        }
        target.reset();
        {
          std::lock_guard<std::mutex> lock(list_.state());
          file->record.complete = true;
          file->record.size = outcome.onDisk;
          file->record.segments.clear();
          file->onDisk = outcome.onDisk;
          file->phase = "COMPLETE";
          file->rate.reset();
        }
        list_.save();
        return;
      }
      case FetchResult::Stopped:
        return;
      case FetchResult::RangeRefused:
        // The bytes on disk cannot be continued: fetch the whole file again, over one connection,
        // at once if there was something to drop, else after the usual wait.
        target->Truncate(0);
        if (segmented) {
          {
            std::lock_guard<std::mutex> lock(list_.state());
            file->record.segments.clear();
            file->oneConnection = true;
            file->onDisk = 0;
          }
          list_.save();
          continue;
        }
        if (resumeFrom > 0) continue;
        setPhase(*file, "DISCONNECTED", outcome);
        break;
      case FetchResult::NotFound:
        setPhase(*file, "NOTFOUND", outcome);
        break;
      case FetchResult::Forbidden:
        setPhase(*file, "FORBIDDEN", outcome);
        break;
      case FetchResult::WriteFailed:
        reportWriteProblem(*file, local, outcome.writeProblem, outcome.systemCode);
        break;
      case FetchResult::Busy:
        // The origin said when to come back: then, within reason.
        if (outcome.retryAfterSeconds > 0) {
          wait = std::min<std::chrono::milliseconds>(std::chrono::seconds(outcome.retryAfterSeconds),
                                                     options_.longestRetryDelay);
        }
        setPhase(*file, "DISCONNECTED", outcome);
        break;
      case FetchResult::ConnectFailed:
      case FetchResult::ConnectionLost:
      case FetchResult::BadAnswer:
      case FetchResult::Split:
        setPhase(*file, "DISCONNECTED", outcome);
        break;
    }
    worker->pause(wait);
  }
}

FetchOutcome FileWorkers::fetchAttempt(const std::shared_ptr<TrackedFile>& file, WorkerThread* worker,
                                           TargetFile& target, FetchHooks& hooks, bool* segmented,
                                           int64_t* resumeFrom) {
  const std::string url = file->record.url;  // never changes while the worker runs
  const std::string host = parseHttpUrl(wireUrl(url)) ? parseHttpUrl(wireUrl(url))->host : std::string();
  const SegmentSettings& settings = options_.segments;
  KnownVersion known;
  std::optional<SegmentPlan> plan;
  bool oneConnection = false;
  // Segments write far ahead of each other: where the file system would zero-fill the gap first
  // (minutes on a hard disk, while the other connections wait), one connection writes in order.
  const auto farWritesWait = [&] {
    return (options_.prepareFarWrites ? options_.prepareFarWrites(target) : target.PrepareForFarWrites()) ==
           FarWrites::ZeroFilled;
  };
  {
    std::lock_guard<std::mutex> lock(list_.state());
    known.validator = file->record.validator;
    known.size = file->record.size;
    oneConnection = file->oneConnection || settings.connections <= 1;
    if (!oneConnection && !known.validator.empty()) plan = SegmentPlan::Parse(file->record.segments, known.size);
    *resumeFrom = plan ? 0 : std::max<int64_t>(0, target.Size());
    file->onDisk = plan ? plan->bytesOnDisk() : *resumeFrom;
  }
  hostConnections_.takeFirst(host);
  FetchOutcome outcome{FetchResult::Split, 0, "", 0};
  if (!plan) {
    // An origin that serves ranges of a large file gets asked for its segments instead.
    hooks.wantsSegments = nullptr;
    if (!oneConnection) {
      hooks.wantsSegments = [&](int64_t total) { return total >= settings.threshold && !farWritesWait(); };
    }
    outcome = fetchIntoFile(url, target, *resumeFrom, known, hooks, options_.fetch);
    if (outcome.result == FetchResult::Split) {
      std::lock_guard<std::mutex> lock(list_.state());
      known.validator = file->record.validator;
      known.size = file->record.size;
      // From the bytes of this version on disk: all of them after a 206, none after a 200.
      plan = SegmentPlan::Split(known.size, outcome.onDisk, settings.connections, settings.minSegment);
      file->record.segments = plan->Format();
    }
  }
  if (plan) {
    // Segments already under way go on whatever the answer: their bytes lie past gaps that only
    // the plan knows.
    if (plan->bytesOnDisk() > 0) farWritesWait();
    *segmented = true;
    list_.save();
    SegmentHooks segmentHooks;
    segmentHooks.bytesWritten = [&](uint64_t added) {
      hooks.bytesWritten(-1, added);
    };
    segmentHooks.record = [&](const std::string& text) {
      {
        std::lock_guard<std::mutex> lock(list_.state());
        file->record.segments = text;
      }
      list_.save();
    };
    segmentHooks.keepGoing = hooks.keepGoing;
    segmentHooks.takeExtraConnection = [&] { return hostConnections_.takeExtra(host); };
    segmentHooks.giveBackExtraConnection = [&] { hostConnections_.giveBack(host); };
    segmentHooks.abort = &worker->fetchAbort;
    outcome = fetchSegments(url, target, *plan, known, segmentHooks, settings, options_.fetch);
  }
  hostConnections_.giveBack(host);
  return outcome;
}

std::unique_ptr<TargetFile> FileWorkers::openTarget(TrackedFile& file, const std::filesystem::path& local,
                                                        std::optional<std::chrono::steady_clock::time_point>* inUseSince) {
  TargetProblem problem = TargetProblem::None;
  uint32_t code = 0;
  std::unique_ptr<TargetFile> target = TargetFile::Open(local, &problem, &code);
  if (target) {
    inUseSince->reset();
    bool fresh = false;
    bool dropTail = false;
    {
      std::lock_guard<std::mutex> lock(list_.state());
      fresh = file.freshStart;
      // A file fetched in segments records each one's bytes only once they were flushed.
      dropTail = file.dropTail && file.record.segments.empty();
      file.freshStart = false;
      file.dropTail = false;
    }
    if (fresh) {
      problem = target->Truncate(0);
      target->ClearHiddenMark();
    } else if (dropTail) {
      problem = target->Truncate(std::max<int64_t>(0, target->Size() - kUncleanStopTail));
    }
    if (problem == TargetProblem::None) return target;
    code = target->LastSystemCode();
    target.reset();
  }
  const bool passing = problem == TargetProblem::InUse || problem == TargetProblem::Denied;
  if (passing && !*inUseSince) *inUseSince = std::chrono::steady_clock::now();
  // Held by someone for a moment is not worth telling; held for long, or refused for good, is.
  if (!passing || std::chrono::steady_clock::now() - **inUseSince >= options_.fileInUsePatience) {
    reportWriteProblem(file, local, problem, code);
  }
  return nullptr;
}

void FileWorkers::reportWriteProblem(TrackedFile& file, const std::filesystem::path& local,
                                         TargetProblem problem, uint32_t systemCode) {
  std::lock_guard<std::mutex> lock(list_.state());
  file.phase = phaseOf(problem);
  file.errorText = DescribeTargetProblem(problem, local);
  file.error = systemCode;
  file.rate.reset();
}

}  // namespace svc
