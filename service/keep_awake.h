// Counts the downloads under way and tells the platform when the first one begins and when the
// last one ends, so that the machine does not go to sleep in the middle of a download (Windows
// sleeps after its idle time however busy the network is) and may sleep again once nothing is
// being fetched: paused, finished and failed files hold nothing.
#ifndef SERVICE_KEEP_AWAKE_H
#define SERVICE_KEEP_AWAKE_H

#include <functional>
#include <mutex>

namespace svc {

class KeepAwake {
 public:
  // Called with true when the first download begins and with false when the last one ends, in
  // that order, never twice in a row with the same value. Empty: nothing is told.
  using Request = std::function<void(bool awake)>;
  explicit KeepAwake(Request request) : request_(std::move(request)) {}
  KeepAwake(const KeepAwake&) = delete;
  KeepAwake& operator=(const KeepAwake&) = delete;

  // One download under way for the lifetime of the scope.
  class Scope {
   public:
    explicit Scope(KeepAwake& owner) : owner_(owner) { owner_.begin(); }
    ~Scope() { owner_.end(); }
    Scope(const Scope&) = delete;
    Scope& operator=(const Scope&) = delete;

   private:
    KeepAwake& owner_;
  };

 private:
  void begin();
  void end();

  Request request_;
  std::mutex mutex_;  // held while request_ runs, so that the calls arrive in order
  int active_ = 0;
};

}  // namespace svc

#endif
