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

bool CTSProgressBar::HandleMessage(UINT message, WPARAM, LPARAM, LRESULT& result) {
  // The bar's window is as wide as the fill shown, so the fill covers it whole.
  return AnswerPaint(message, result, [this](HDC dc) { fill_.Draw(dc, 0, 0, VisibleWidth(), kHeight); });
}
