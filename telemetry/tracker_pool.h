// The three request slots that carry analytics events to the analytics host over WinHTTP. An
// event takes the first free slot; when all three stay busy for three passes of 50 ms, slot 0
// is taken anyway and its request abandoned. Nothing comes back from the service.
#ifndef TELEMETRY_TRACKER_POOL_H
#define TELEMETRY_TRACKER_POOL_H

#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "server/server_request.h"
#include "telemetry/event_tracker.h"

class TrackerPool : public TrackTransport {
 public:
  static constexpr int kSlotCount = 3;
  static constexpr int kPasses = 3;
  static constexpr int kPassWaitMs = 50;

  TrackerPool(std::wstring host, int port, bool secure);
  ~TrackerPool() override;

  // Sends on the slot AcquireTrackerRequest gives; safe from any thread.
  void SendTrackRequest(const std::wstring& path) override;

  // Which slot the last request went out on (for tests of the pool), -1 before any.
  int lastSlot() const { return lastSlot_; }

 private:
  // A free slot, marked taken before the lock is released so no other thread can have it.
  int AcquireTrackerRequest();

  // Discards every answer: the service's replies carry nothing the program needs.
  class NoHooks : public ServerHooks {
    void OnSidReply(const std::optional<std::wstring>&) override {}
    void OnConfigReply(std::unique_ptr<GameConfig>) override {}
    void OnServerRequestFailed(RequestKind) override {}
  };

  NoHooks hooks_;
  std::mutex lock_;
  std::array<std::unique_ptr<ServerRequest>, kSlotCount> slots_;
  int lastSlot_ = -1;
};

#endif
