#include "ui/message_loop.h"

#include <algorithm>

namespace {

// Sent by the system for caret blinking and scrolling; not activity of the program's own.
constexpr UINT kSystemTimerMessage = 0x0118;

template <typename T>
bool addOnce(std::vector<T*>& list, T* item) {
  if (item == nullptr || std::find(list.begin(), list.end(), item) != list.end()) return false;
  list.push_back(item);
  return true;
}

template <typename T>
bool removeItem(std::vector<T*>& list, T* item) {
  auto found = std::find(list.begin(), list.end(), item);
  if (found == list.end()) return false;
  list.erase(found);
  return true;
}

}  // namespace

bool CMessageLoop::AddMessageFilter(CMessageFilter* filter) { return addOnce(filters_, filter); }
bool CMessageLoop::RemoveMessageFilter(CMessageFilter* filter) { return removeItem(filters_, filter); }
bool CMessageLoop::AddIdleHandler(CIdleHandler* handler) { return addOnce(idleHandlers_, handler); }
bool CMessageLoop::RemoveIdleHandler(CIdleHandler* handler) { return removeItem(idleHandlers_, handler); }

void CMessageLoop::RemoveAll() {
  filters_.clear();
  idleHandlers_.clear();
}

bool CMessageLoop::PreTranslateMessage(MSG* message) {
  // A filter may unregister itself while handling a message: walk a copy.
  const std::vector<CMessageFilter*> filters = filters_;
  for (auto it = filters.rbegin(); it != filters.rend(); ++it) {
    if ((*it)->PreTranslateMessage(message)) return true;
  }
  return false;
}

bool CMessageLoop::OnIdle() {
  const std::vector<CIdleHandler*> handlers = idleHandlers_;
  bool moreWork = false;
  for (CIdleHandler* handler : handlers) moreWork = handler->OnIdle() || moreWork;
  return moreWork;
}

bool CMessageLoop::IsIdleMessage(const MSG& message, POINT* lastMousePosition) {
  switch (message.message) {
    case WM_MOUSEMOVE:
    case WM_NCMOUSEMOVE:
      if (message.pt.x == lastMousePosition->x && message.pt.y == lastMousePosition->y) return false;
      *lastMousePosition = message.pt;
      return true;
    case WM_PAINT:
    case kSystemTimerMessage:
      return false;
    default:
      return true;
  }
}

int CMessageLoop::Run() {
  bool idleArmed = true;
  POINT lastMousePosition{-1, -1};
  MSG message{};
  for (;;) {
    while (idleArmed && !PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE)) {
      if (!OnIdle()) idleArmed = false;
    }
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == -1) continue;
    if (got == 0) return static_cast<int>(message.wParam);
    if (!PreTranslateMessage(&message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (IsIdleMessage(message, &lastMousePosition)) idleArmed = true;
  }
}
