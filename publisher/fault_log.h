// Faults of the parts the server depends on (its database, its disk), told to the operator on
// standard error: each kind of fault at most once a minute, with its text, and how many more of
// that kind there were since it was last told. A database that fails every statement for an hour
// writes sixty lines, not millions.
#ifndef PUBLISHER_FAULT_LOG_H
#define PUBLISHER_FAULT_LOG_H

#include <stdint.h>

#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace publisher {

class FaultLog {
 public:
  using Clock = std::function<int64_t()>;               // milliseconds, steady
  using Sink = std::function<void(const std::string&)>;  // one line, without its end

  // By default the lines go to standard error, timed by the steady clock.
  explicit FaultLog(Sink sink = nullptr, Clock clock = nullptr);

  // A fault of this kind ("commit failed", "connection lost"...) with the part's own words.
  void report(const std::string& kind, const std::string& text);

 private:
  struct Told {
    int64_t at = 0;
    int64_t since = 0;  // faults of the kind not told since then
  };

  Sink sink_;
  Clock clock_;
  std::mutex mutex_;
  std::map<std::string, Told> told_;
};

}  // namespace publisher

#endif
