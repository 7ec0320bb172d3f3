#include "ui/app_module.h"

void CAppModule::Init(HINSTANCE instance) {
  instance_ = instance;
  mainThreadId_ = GetCurrentThreadId();
}

void CAppModule::Term() {
  std::lock_guard<std::mutex> lock(mutex_);
  loops_.clear();
}

HINSTANCE CAppModule::ResourceInstance() const {
  return instance_ != nullptr ? instance_ : GetModuleHandleW(nullptr);
}

bool CAppModule::AddMessageLoop(CMessageLoop* loop) {
  std::lock_guard<std::mutex> lock(mutex_);
  return loops_.emplace(GetCurrentThreadId(), loop).second;
}

bool CAppModule::RemoveMessageLoop() {
  std::lock_guard<std::mutex> lock(mutex_);
  return loops_.erase(GetCurrentThreadId()) != 0;
}

CMessageLoop* CAppModule::GetMessageLoop() const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto found = loops_.find(GetCurrentThreadId());
  return found != loops_.end() ? found->second : nullptr;
}

CAppModule& AppModule() {
  static CAppModule module;
  return module;
}
