// A push button drawn entirely from images, one per state, with an optional caption drawn over the
// image. In hover mode it follows the pointer itself and produces its own clicks: a click is a
// press and a release inside the button.
#ifndef UI_BITMAP_BUTTON_H
#define UI_BITMAP_BUTTON_H

#include <windows.h>

#include <string>
#include <vector>

#include "ui/control_font.h"
#include "ui/control_window.h"
#include "ui/skin_image.h"

struct ButtonImageIndexes {
  // -1 stands for the normal image; a normal index of -1 stands for the first image.
  int normal = -1;
  int pressed = -1;
  int hover = -1;
  int disabled = -1;
};

struct ButtonVisualState {
  bool disabled = false;
  bool pressed = false;
  bool hovering = false;
  bool focused = false;
  bool hoverMode = false;
};

// The image a button shows: disabled, else pressed, else hover (the pointer over it in hover mode,
// the keyboard focus otherwise), else normal.
int ChooseButtonImage(const ButtonImageIndexes& indexes, const ButtonVisualState& state);

class CBitmapButtonEx : public CControlWindow, public ControlFont {
 public:
  // Takes over a button of a template; its text stays the control's.
  bool Attach(HWND control);
  // Takes over a button and moves its text (at most 254 characters) into the caption, drawn in
  // RGB(248, 248, 248), bold "Vernada" at 11 points.
  bool AttachCaptionButton(HWND control);

  void SetImages(std::vector<SkinImage> images);
  void SetImageIndexes(const ButtonImageIndexes& indexes);
  void SetHoverMode(bool on) { hoverMode_ = on; }
  // The pointer's shape over the button; null keeps the class cursor.
  void SetCursor(HCURSOR cursor) { cursor_ = cursor; }

  // Each setter (the font's too) repaints the button at once when redraw is true.
  void SetCaptionColor(COLORREF color, bool redraw = true);
  void SetCaption(const std::wstring& caption, bool redraw = true);

  const std::wstring& Caption() const { return caption_; }
  COLORREF CaptionColor() const { return captionColor_; }
  HFONT CaptionFont() const { return CurrentFont(); }
  bool IsPressed() const { return pressed_; }
  bool IsHovering() const { return hovering_; }
  // The index of the image the button shows now, or -1 without images.
  int CurrentImage() const;

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  void FontChanged(bool redraw) override { Redraw(redraw); }
  bool HandleHoverMouse(UINT message, LPARAM lParam);
  bool PointerInside(LPARAM lParam) const;
  void SetPressed(bool pressed);
  void Redraw(bool redraw);
  void Draw(HDC dc);
  void SendClick();

  std::vector<SkinImage> images_;
  ButtonImageIndexes indexes_;
  bool hoverMode_ = false;
  bool ownsText_ = false;  // the caption replaced the control's text
  bool hovering_ = false;
  bool focused_ = false;
  bool pressed_ = false;
  HCURSOR cursor_ = nullptr;
  std::wstring caption_;
  COLORREF captionColor_ = GetSysColor(COLOR_BTNTEXT);
};

#endif
