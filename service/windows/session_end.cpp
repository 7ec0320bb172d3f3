#include "service/windows/session_end.h"

namespace svc {
namespace {

constexpr wchar_t kWindowClass[] = L"Tessel Download Service Session";

struct SessionWatch {
  const std::function<void()>* stopCleanly;
  bool ended = false;
};

LRESULT CALLBACK sessionWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* watch = reinterpret_cast<SessionWatch*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_NCCREATE: {
      auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
      break;
    }
    case WM_QUERYENDSESSION:
      // Nothing to ask the user: the downloads resume at the next sign-in.
      return TRUE;
    case WM_ENDSESSION:
      // wParam FALSE: another program cancelled the end; the service goes on.
      if (wParam != FALSE && watch != nullptr && !watch->ended) {
        watch->ended = true;
        // The process may be ended as soon as this message is answered: the files and the list
        // are flushed before it is.
        (*watch->stopCleanly)();
      }
      return 0;
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

StopReason WaitForStopOrSessionEnd(HANDLE stopEvent, const std::function<void()>& stopCleanly) {
  SessionWatch watch{&stopCleanly};
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = sessionWindowProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kWindowClass;
  RegisterClassExW(&windowClass);
  // A top-level window, never shown: a message-only window gets no broadcasts, and the session's
  // end is broadcast.
  HWND window = CreateWindowExW(WS_EX_TOOLWINDOW, kWindowClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleW(nullptr), &watch);
  if (window == nullptr) {
    WaitForSingleObject(stopEvent, INFINITE);
    return StopReason::NoWindow;
  }
  for (;;) {
    DWORD woken = MsgWaitForMultipleObjects(1, &stopEvent, FALSE, INFINITE, QS_ALLINPUT);
    if (woken == WAIT_OBJECT_0) {
      DestroyWindow(window);
      return StopReason::Asked;
    }
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (watch.ended) return StopReason::SessionEnding;
  }
}

}  // namespace svc
