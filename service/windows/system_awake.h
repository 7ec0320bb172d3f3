// Keeps Windows from sleeping while the service fetches a file. The request that a thread makes
// with SetThreadExecutionState lasts only as long as that thread, and the threads that fetch come
// and go, so one thread of its own holds the request and changes it when asked.
#ifndef SERVICE_WINDOWS_SYSTEM_AWAKE_H
#define SERVICE_WINDOWS_SYSTEM_AWAKE_H

#include <condition_variable>
#include <mutex>
#include <thread>

namespace svc {

class SystemAwake {
 public:
  SystemAwake();
  ~SystemAwake();
  SystemAwake(const SystemAwake&) = delete;
  SystemAwake& operator=(const SystemAwake&) = delete;

  // true: the system stays awake (the display may still sleep); false: it may sleep again.
  void Request(bool awake);

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable changed_;
  bool wanted_ = false;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace svc

#endif
