#include "service/windows/system_awake.h"

#include <windows.h>

namespace svc {

SystemAwake::SystemAwake() : thread_([this] { Run(); }) {}

SystemAwake::~SystemAwake() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void SystemAwake::Request(bool awake) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    wanted_ = awake;
  }
  changed_.notify_all();
}

void SystemAwake::Run() {
  bool applied = false;
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || wanted_ != applied; });
    if (stopping_) break;
    applied = wanted_;
    SetThreadExecutionState(applied ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS);
  }
  SetThreadExecutionState(ES_CONTINUOUS);
}

}  // namespace svc
