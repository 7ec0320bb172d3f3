// A token bucket per client: each may make `burst` requests at once and `perSecond` more every
// second after that. Buckets of clients that have been quiet long enough to be full again are
// forgotten, so the table stays as small as the set of busy clients.
#ifndef PUBLISHER_RATE_LIMITER_H
#define PUBLISHER_RATE_LIMITER_H

#include <stdint.h>

#include <functional>
#include <mutex>
#include <string>
#include <unordered_map>

namespace publisher {

class RateLimiter {
 public:
  using Clock = std::function<int64_t()>;  // milliseconds, steady

  // perSecond 0 lets every request through.
  RateLimiter(double perSecond, double burst, Clock clock = nullptr);

  // True when the client may make a request now (and takes a token for it).
  bool allow(const std::string& client);
  size_t trackedClients();

 private:
  struct Bucket {
    double tokens;
    int64_t at;
  };
  void forgetFullBuckets(int64_t now);

  double perSecond_;
  double burst_;
  Clock clock_;
  std::mutex mutex_;
  std::unordered_map<std::string, Bucket> buckets_;
  int64_t lastSweep_ = 0;
};

}  // namespace publisher

#endif
