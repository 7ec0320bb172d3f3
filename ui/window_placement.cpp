#include "ui/window_placement.h"

namespace {

constexpr int kCornerEllipse = 15;

// Shifts [start, start + length) into [low, high); the start wins when it does not fit.
LONG shiftInto(LONG start, LONG length, LONG low, LONG high) {
  if (start + length > high) start = high - length;
  if (start < low) start = low;
  return start;
}

}  // namespace

RECT CenteredRect(const RECT& window, const RECT& over, const RECT& workArea) {
  const LONG width = window.right - window.left;
  const LONG height = window.bottom - window.top;
  LONG left = over.left + ((over.right - over.left) - width) / 2;
  LONG top = over.top + ((over.bottom - over.top) - height) / 2;
  left = shiftInto(left, width, workArea.left, workArea.right);
  top = shiftInto(top, height, workArea.top, workArea.bottom);
  return RECT{left, top, left + width, top + height};
}

RECT NearestWorkArea(HWND window) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
  if (monitor != nullptr && GetMonitorInfoW(monitor, &info)) return info.rcWork;
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return area;
}

namespace {

void moveTo(HWND window, const RECT& place) {
  SetWindowPos(window, nullptr, place.left, place.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace

void CenterInNearestWorkArea(HWND window) {
  RECT current;
  GetWindowRect(window, &current);
  const RECT area = NearestWorkArea(window);
  moveTo(window, CenteredRect(current, area, area));
}

void CenterOverOwner(HWND window, HWND owner) {
  RECT current;
  GetWindowRect(window, &current);
  if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) {
    RECT ownerRect;
    GetWindowRect(owner, &ownerRect);
    moveTo(window, CenteredRect(current, ownerRect, NearestWorkArea(owner)));
    return;
  }
  const RECT area = NearestWorkArea(window);
  moveTo(window, CenteredRect(current, area, area));
}

void ResizeKeepingTopLeft(HWND window, int width, int height) {
  SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void PlaceChild(HWND child, int x, int y, int width, int height) {
  SetWindowPos(child, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ApplyRoundedRegion(HWND window, int right, int bottom) {
  HRGN region = CreateRoundRectRgn(0, 0, right, bottom, kCornerEllipse, kCornerEllipse);
  // The window owns the region from here on.
  if (region != nullptr && !SetWindowRgn(window, region, TRUE)) DeleteObject(region);
}

void ClearFrameStyle(HWND window) {
  LONG_PTR style = GetWindowLongPtrW(window, GWL_STYLE);
  style &= ~static_cast<LONG_PTR>(WS_CAPTION | WS_THICKFRAME | WS_SYSMENU | WS_BORDER | WS_DLGFRAME | DS_MODALFRAME);
  style |= WS_POPUP;
  SetWindowLongPtrW(window, GWL_STYLE, style);
  LONG_PTR extended = GetWindowLongPtrW(window, GWL_EXSTYLE);
  extended &= ~static_cast<LONG_PTR>(WS_EX_DLGMODALFRAME | WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
  SetWindowLongPtrW(window, GWL_EXSTYLE, extended);
  SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}
