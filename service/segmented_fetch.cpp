#include "service/segmented_fetch.h"

#include <algorithm>
#include <condition_variable>
#include <list>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace svc {
namespace {

class SegmentedRun {
 public:
  SegmentedRun(const std::string& url, TargetFile& file, SegmentPlan& plan, const KnownVersion& known,
               const SegmentHooks& hooks, const SegmentSettings& settings, const FetchSettings& fetch)
      : url_(url), file_(file), plan_(plan), known_(known), hooks_(hooks), settings_(settings), fetch_(fetch) {
    // A connection writes at most one read past where the plan last saw it: a segment cut no
    // smaller than that is never written into by the connection it was cut from.
    minSegment_ = std::max<int64_t>(settings.minSegment, kFetchReadChunk);
    wait_ = settings.firstWait;
  }

  FetchOutcome go() {
    if (hooks_.abort != nullptr && !hooks_.abort->setInterrupt([this] { stopAll(stopped()); })) return stopped();
    lastRecord_ = std::chrono::steady_clock::now();
    const int connections = std::max(1, settings_.connections);
    running_ = 1;
    std::vector<std::thread> threads;
    for (int i = 1; i < connections; ++i) {
      if (!hooks_.takeExtraConnection || !hooks_.takeExtraConnection()) break;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        ++running_;
      }
      threads.emplace_back([this] {
        connection();
        if (hooks_.giveBackExtraConnection) hooks_.giveBackExtraConnection();
      });
    }
    connection();
    for (std::thread& thread : threads) thread.join();
    if (hooks_.abort != nullptr) hooks_.abort->clearInterrupt();

    std::lock_guard<std::mutex> lock(mutex_);
    FetchOutcome result{FetchResult::Complete, 206, "", plan_.size()};
    if (verdict_) {
      result = *verdict_;
    } else if (!plan_.complete()) {
      result = FetchOutcome{FetchResult::ConnectionLost, 0, "the origin connections ended early", 0};
    }
    result.onDisk = plan_.bytesOnDisk();
    return result;
  }

 private:
  static FetchOutcome stopped() { return FetchOutcome{FetchResult::Stopped, 0, "stopped", 0}; }

  // One connection: takes segments until none is left for it, or until the fetch ends.
  void connection() {
    for (;;) {
      size_t index = 0;
      int64_t from = 0;
      FetchAbort* abort = nullptr;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        std::optional<size_t> taken = stopping_ ? std::nullopt : plan_.Take(minSegment_);
        if (!taken) {
          --running_;
          return;
        }
        index = *taken;
        from = plan_.at(index).next;
        abort = &aborts_.emplace_back();
      }
      const FetchOutcome outcome = fetchSegment(index, from, abort);
      bool leave = false;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        plan_.Release(index);
        aborts_.remove_if([abort](const FetchAbort& each) { return &each == abort; });
        leave = decide(outcome);
      }
      if (leave) return;
    }
  }

  FetchOutcome fetchSegment(size_t index, int64_t from, FetchAbort* abort) {
    FetchHooks hooks;
    hooks.rangeEnd = [this, index] {
      std::lock_guard<std::mutex> lock(mutex_);
      return plan_.at(index).end;
    };
    hooks.bytesWritten = [this, index](int64_t onDisk, uint64_t added) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        plan_.Advance(index, onDisk);
        unrecordedBytes_ += static_cast<int64_t>(added);
        failuresInRow_ = 0;
        wait_ = settings_.firstWait;
      }
      if (hooks_.bytesWritten) hooks_.bytesWritten(added);
      recordWhenDue(false);
    };
    hooks.keepGoing = [this] {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return false;
      }
      return !hooks_.keepGoing || hooks_.keepGoing();
    };
    hooks.abort = abort;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) abort->abort();
    }
    return fetchIntoFile(url_, file_, from, known_, hooks, fetch_);
  }

  // What a connection does after a request ended: true when it leaves. Called with mutex_ held.
  bool decide(const FetchOutcome& outcome) {
    switch (outcome.result) {
      case FetchResult::Complete:
        return false;
      case FetchResult::Busy:
      case FetchResult::ConnectFailed:
        // The origin wants fewer connections: this one gives its segment back to the others.
        if (running_ > 1) {
          --running_;
          return true;
        }
        if (outcome.result == FetchResult::Busy) {
          // The last connection waits as the origin asked, but not for ever.
          if (++failuresInRow_ >= settings_.failuresToGiveUp) {
            endWith(outcome);
            return true;
          }
          const auto asked = std::chrono::seconds(std::max(1, outcome.retryAfterSeconds));
          return !pause(std::min<std::chrono::milliseconds>(asked, settings_.longestBusyWait));
        }
        [[fallthrough]];
      case FetchResult::ConnectionLost:
      case FetchResult::BadAnswer:
        if (++failuresInRow_ >= settings_.failuresToGiveUp) {
          endWith(outcome);
          return true;
        }
        {
          const std::chrono::milliseconds wait = wait_;
          wait_ = std::min(wait_ * 2, settings_.longestWait);
          return !pause(wait);
        }
      case FetchResult::Stopped:
      case FetchResult::RangeRefused:
      case FetchResult::NotFound:
      case FetchResult::Forbidden:
      case FetchResult::WriteFailed:
      case FetchResult::Split:
        endWith(outcome);
        return true;
    }
    return true;
  }

  // Waits with mutex_ held (released meanwhile); false when the fetch ends during the wait.
  bool pause(std::chrono::milliseconds wait) {
    std::unique_lock<std::mutex> lock(mutex_, std::adopt_lock);
    wake_.wait_for(lock, wait, [this] { return stopping_; });
    lock.release();
    return !stopping_;
  }

  // Ends the whole fetch with outcome (the first to decide wins). Called with mutex_ held.
  void endWith(const FetchOutcome& outcome) {
    if (!verdict_) verdict_ = outcome;
    stopping_ = true;
    for (FetchAbort& abort : aborts_) abort.abort();
    wake_.notify_all();
  }

  void stopAll(const FetchOutcome& outcome) {
    std::lock_guard<std::mutex> lock(mutex_);
    endWith(outcome);
  }

  // Flushes the file, then records where the segments stood before the flush: what the list says
  // is on disk is on disk, whatever happens to the machine afterwards.
  void recordWhenDue(bool now) {
    std::unique_lock<std::mutex> recording(recordMutex_, std::try_to_lock);
    if (!recording.owns_lock()) return;
    std::string text;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      const auto at = std::chrono::steady_clock::now();
      if (!now && at - lastRecord_ < settings_.recordEvery && unrecordedBytes_ < settings_.recordAfterBytes) return;
      lastRecord_ = at;
      unrecordedBytes_ = 0;
      text = plan_.Format();
    }
    if (file_.Flush() == TargetProblem::None && hooks_.record) hooks_.record(text);
  }

 public:
  void recordNow() { recordWhenDue(true); }

 private:
  const std::string& url_;
  TargetFile& file_;
  SegmentPlan& plan_;
  const KnownVersion& known_;
  const SegmentHooks& hooks_;
  const SegmentSettings& settings_;
  const FetchSettings& fetch_;
  int64_t minSegment_ = 0;

  std::mutex mutex_;  // everything below but recordMutex_
  std::condition_variable wake_;
  std::list<FetchAbort> aborts_;  // one per request under way
  bool stopping_ = false;
  std::optional<FetchOutcome> verdict_;
  int running_ = 0;
  int failuresInRow_ = 0;
  std::chrono::milliseconds wait_{0};
  std::chrono::steady_clock::time_point lastRecord_;
  int64_t unrecordedBytes_ = 0;
  std::mutex recordMutex_;
};

}  // namespace

FetchOutcome fetchSegments(const std::string& url, TargetFile& file, SegmentPlan& plan, const KnownVersion& known,
                           const SegmentHooks& hooks, const SegmentSettings& settings, const FetchSettings& fetch) {
  SegmentedRun run(url, file, plan, known, hooks, settings, fetch);
  FetchOutcome outcome = run.go();
  if (outcome.result != FetchResult::RangeRefused) run.recordNow();
  return outcome;
}

}  // namespace svc
