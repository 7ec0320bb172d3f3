// The background thread of one file's download, and how it is told to stop: a flag, a wait that
// ends early when it is set, and the abort of a read blocked in the platform's HTTP stack.
// Destroying it stops the thread and waits for it.
#ifndef SERVICE_WORKER_THREAD_H
#define SERVICE_WORKER_THREAD_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "service/fetch_abort.h"

namespace svc {

struct WorkerThread {
  std::atomic<bool> stopRequested{false};
  std::mutex mutex;
  std::condition_variable wake;
  std::thread thread;
  FetchAbort fetchAbort;

  void requestStop() {
    {
      std::lock_guard<std::mutex> lock(mutex);
      stopRequested = true;
    }
    wake.notify_all();
    fetchAbort.abort();
  }
  // Waits, or returns early when asked to stop; false when stopping.
  bool pause(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(mutex);
    wake.wait_for(lock, duration, [this] { return stopRequested.load(); });
    return !stopRequested;
  }
  ~WorkerThread() {
    requestStop();
    if (thread.joinable()) thread.join();
  }
};

}  // namespace svc

#endif
