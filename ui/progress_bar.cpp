#include "ui/progress_bar.h"

#include <algorithm>

#include "resources/resource_ids.h"

int ProgressBarWidth(int fullWidth, int percent) {
  const int clamped = std::clamp(percent, 0, 100);
  return fullWidth * clamped / 100;
}

CTSProgressBar::CTSProgressBar() : fill_(LoadSkinImage(IDB_PROGRESS_FILL)) {}

bool CTSProgressBar::Attach(HWND control) {
  if (!Subclass(control)) return false;
  ClearOriginalText();
  if (fill_.empty()) fill_ = LoadSkinImage(IDB_PROGRESS_FILL);
  Layout();
  return true;
}

void CTSProgressBar::SetPlacement(int x, int y) {
  x_ = x;
  y_ = y;
}

void CTSProgressBar::SetPos(int percent) {
  if (percent == value_) return;
  value_ = std::clamp(percent, 0, 100);
  Layout();
  RedrawNow();
}

void CTSProgressBar::Layout() {
  if (Handle() == nullptr) return;
  SetWindowPos(Handle(), nullptr, x_, y_, VisibleWidth(), kHeight, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CTSProgressBar::Paint() {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(Handle(), &paint);
  fill_.Draw(dc, 0, 0, VisibleWidth(), kHeight);
  EndPaint(Handle(), &paint);
}

bool CTSProgressBar::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
  switch (message) {
    case WM_PAINT:
      Paint();
      result = 0;
      return true;
    case WM_ERASEBKGND:
      result = 1;  // the fill covers the whole bar
      return true;
    default:
      return false;
  }
}
