// The surface of a frameless skinned window: its background artwork, drawn in place of the
// background erase, and the dragging that moves the window from anywhere on it.
#ifndef UI_SKINNED_SURFACE_H
#define UI_SKINNED_SURFACE_H

#include <windows.h>

#include "ui/skin_image.h"
#include "ui/window_dragger.h"

class SkinnedSurface {
 public:
  // The artwork, drawn at (0, 0) in width x height.
  void SetBackground(SkinImage image, int width, int height);

  // Handles the window's background erase and its dragging mouse messages; true (with result set)
  // when the message was one of them.
  bool HandleMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

 private:
  SkinImage background_;
  int width_ = 0;
  int height_ = 0;
  WindowDragger dragger_;
};

#endif
