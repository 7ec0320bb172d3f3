#include "ui/window_dragger.h"

#include <windowsx.h>

bool WindowDragger::HandleMessage(HWND window, UINT message, LPARAM lParam) {
  switch (message) {
    case WM_LBUTTONDOWN:
      anchor_ = POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
      SetCapture(window);
      return true;
    case WM_MOUSEMOVE: {
      if (GetCapture() != window) return true;
      RECT place;
      GetWindowRect(window, &place);
      const int left = place.left + GET_X_LPARAM(lParam) - anchor_.x;
      const int top = place.top + GET_Y_LPARAM(lParam) - anchor_.y;
      SetWindowPos(window, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
      return true;
    }
    case WM_LBUTTONUP:
      if (GetCapture() == window) ReleaseCapture();
      return true;
    default:
      return false;
  }
}
