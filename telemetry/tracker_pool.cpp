#include "telemetry/tracker_pool.h"

#include <windows.h>

TrackerPool::TrackerPool(std::wstring host, int port, bool secure) {
  for (auto& slot : slots_) slot = std::make_unique<ServerRequest>(&hooks_, ServerAddress{host, port, L"", secure});
}

TrackerPool::~TrackerPool() = default;

int TrackerPool::AcquireTrackerRequest() {
  for (int pass = 0; pass < kPasses; ++pass) {
    if (pass > 0) Sleep(kPassWaitMs);
    for (int slot = 0; slot < kSlotCount; ++slot) {
      if (!slots_[slot]->Busy()) return slot;
    }
  }
  // Every slot stayed busy: slot 0's request is abandoned so this event still goes out.
  slots_[0]->Close();
  return 0;
}

void TrackerPool::SendTrackRequest(const std::wstring& path) {
  // Taking a slot and starting its request happen under one lock, so two threads never share a
  // slot; the request itself runs on the HTTP stack's threads.
  std::lock_guard<std::mutex> guard(lock_);
  int slot = AcquireTrackerRequest();
  slots_[slot]->Send(path, PropertyList(), false);
  lastSlot_ = slot;
}
