// Answers that are slow to find and seldom change, found once and kept: the proxy for a server,
// which Windows's automatic detection (on by default) finds only after seconds of DHCP and DNS
// queries. An answer is kept until the network changes (a new generation); it is found on a thread
// of its own, so that a caller waiting for it can be stopped at once (the service's pause,
// delete or end) while the search goes on and its answer is still kept. Waiters for the same key
// share one search.
#ifndef WINDOWS_COMMON_DISCOVERY_CACHE_H
#define WINDOWS_COMMON_DISCOVERY_CACHE_H

#include <stdint.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "windows_common/wait_interrupt.h"

namespace wincommon {

template <typename Value, typename Key = std::string>
class DiscoveryCache {
 public:
  DiscoveryCache() : state_(std::make_shared<State>()) {}

  // The answer for key in this network generation: kept, or found by discover; nothing when abort
  // (which may be null) cut the wait short.
  std::optional<Value> Get(const Key& key, uint64_t generation, std::function<Value()> discover,
                           WaitInterrupt* abort) {
    std::shared_ptr<State> state = state_;
    std::unique_lock<std::mutex> lock(state->mutex);
    Entry& entry = state->entries[key];
    if (entry.generation != generation || (!entry.ready && !entry.searching)) {
      entry = Entry();
      entry.generation = generation;
      entry.searching = true;
      ++state->searches;
      std::thread([state, key, generation, discover = std::move(discover)] {
        Value found = discover();
        std::lock_guard<std::mutex> done(state->mutex);
        Entry& kept = state->entries[key];
        if (kept.generation == generation) {
          kept.value = std::move(found);
          kept.ready = true;
          kept.searching = false;
        }
        state->changed.notify_all();
      }).detach();
    }
    if (entry.ready) return entry.value;
    auto stopped = std::make_shared<std::atomic<bool>>(false);
    if (abort != nullptr) {
      lock.unlock();
      const bool registered = abort->setInterrupt([state, stopped] {
        std::lock_guard<std::mutex> wake(state->mutex);
        *stopped = true;
        state->changed.notify_all();
      });
      lock.lock();
      if (!registered) return std::nullopt;
    }
    // A search of a newer generation that replaced this one answers as well.
    state->changed.wait(lock, [&] { return *stopped || state->entries[key].ready; });
    const Entry& now = state->entries[key];
    std::optional<Value> result;
    if (!*stopped) result = now.value;
    lock.unlock();
    if (abort != nullptr) abort->clearInterrupt();
    return result;
  }

  // How many searches were started, for the tests.
  int Searches() const {
    std::lock_guard<std::mutex> lock(state_->mutex);
    return state_->searches;
  }

 private:
  struct Entry {
    uint64_t generation = 0;
    bool searching = false;
    bool ready = false;
    Value value{};
  };
  struct State {
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::map<Key, Entry> entries;
    int searches = 0;
  };
  std::shared_ptr<State> state_;
};

}  // namespace wincommon

#endif
