// A child view that shows the top-left part of one skin image, unscaled, with an optional caption
// drawn over it (text that a build setting decides cannot be drawn into the artwork).
#ifndef UI_IMAGE_VIEW_H
#define UI_IMAGE_VIEW_H

#include <windows.h>

#include <string>

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
  // Draws text over the image, its base line starting at (x, baseline), in bold Arial of the
  // given pixel height and colour, on a transparent background. Empty text: no caption.
  void SetCaption(const std::wstring& text, int x, int baseline, int pixelHeight, COLORREF colour);
  const std::wstring& Caption() const { return caption_; }

  int ImageId() const { return imageId_; }
  const SkinImage& Image() const { return image_; }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  SkinImage image_;
  int imageId_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::wstring caption_;
  int captionX_ = 0;
  int captionBaseline_ = 0;
  int captionHeight_ = 0;
  COLORREF captionColour_ = 0;
};

#endif
