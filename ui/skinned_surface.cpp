#include "ui/skinned_surface.h"

#include <utility>

void SkinnedSurface::SetBackground(SkinImage image, int width, int height) {
  background_ = std::move(image);
  width_ = width;
  height_ = height;
}

bool SkinnedSurface::HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_ERASEBKGND) {
    background_.Draw(reinterpret_cast<HDC>(wParam), 0, 0, width_, height_);
    result = 1;
    return true;
  }
  if (!dragger_.HandleMessage(window, message, lParam)) return false;
  result = 0;
  return true;
}
