// How many connections the service holds to each origin host, across all its files, so that
// several large files fetched at once stay polite to one host: each file's first connection is
// always granted, a file's extra connections only while the host has fewer than the cap.
#ifndef SERVICE_HOST_CONNECTIONS_H
#define SERVICE_HOST_CONNECTIONS_H

#include <map>
#include <mutex>
#include <string>

namespace svc {

class HostConnections {
 public:
  explicit HostConnections(int cap) : cap_(cap) {}

  void takeFirst(const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++open_[host];
  }
  bool takeExtra(const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    int& open = open_[host];
    if (open >= cap_) return false;
    ++open;
    return true;
  }
  void giveBack(const std::string& host) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = open_.find(host);
    if (found != open_.end() && --found->second <= 0) open_.erase(found);
  }
  int open(const std::string& host) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = open_.find(host);
    return found == open_.end() ? 0 : found->second;
  }

 private:
  const int cap_;
  mutable std::mutex mutex_;
  std::map<std::string, int> open_;
};

}  // namespace svc

#endif
