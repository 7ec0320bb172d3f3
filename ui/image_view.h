// A child view that shows the top-left part of one skin image, unscaled.
#ifndef UI_IMAGE_VIEW_H
#define UI_IMAGE_VIEW_H

#include <windows.h>

#include "ui/control_window.h"
#include "ui/skin_image.h"

class CImageView : public CControlWindow {
 public:
  // Takes over a static control of a template and clears its text.
  bool Attach(HWND control);
  // Makes a new view in parent that takes mouse presses itself, so a press on it does not reach
  // the parent (a banner must not drag its window).
  bool Create(HWND parent, int x, int y, int width, int height);

  bool SetImage(int resourceId);
  void SetPlacement(int x, int y, int width, int height);
  void SetPlacement(const RECT& rect);

  int ImageId() const { return imageId_; }
  const SkinImage& Image() const { return image_; }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  SkinImage image_;
  int imageId_ = 0;
  int width_ = 0;
  int height_ = 0;
};

#endif
