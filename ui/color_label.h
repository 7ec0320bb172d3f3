// A text label with its own text colour, background colour and font, drawn over a static control
// taken from a dialog template. Its alignment follows the control's template style.
#ifndef UI_COLOR_LABEL_H
#define UI_COLOR_LABEL_H

#include <windows.h>

#include <string>

#include "ui/control_font.h"
#include "ui/control_window.h"

// DrawText flags for a static control's style: left aligned with word wrap by default; right or
// centred without wrapping; a vertically centred style adds a single, vertically centred line.
UINT LabelTextFormat(LONG_PTR style);

class ui_ColorLabel : public CControlWindow, public ControlFont {
 public:
  // Takes the control's text (at most 254 characters) as the label's own and clears the control's.
  bool Attach(HWND control);

  // Each setter (the font's too) repaints the label at once when redraw is true.
  void SetBackgroundColor(COLORREF color, bool redraw = true);
  void SetTextColor(COLORREF color, bool redraw = true);
  void SetText(const std::wstring& text, bool redraw = true);
  using ControlFont::SetFontUnderline;
  // A transparent label does not fill its background: the parent's painting shows through.
  void SetTransparent(bool transparent, bool redraw = true);

  const std::wstring& Text() const { return text_; }
  HFONT Font() const { return CurrentFont(); }
  COLORREF TextColor() const { return textColor_; }
  COLORREF BackgroundColor() const { return backgroundColor_; }
  bool Transparent() const { return transparent_; }

 protected:
  bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

 private:
  // The control keeps the current font too, so WM_GETFONT reports what is drawn.
  void FontChanged(bool redraw) override;
  void Redraw(bool redraw);
  void Draw(HDC dc);

  std::wstring text_;
  COLORREF textColor_ = GetSysColor(COLOR_BTNTEXT);
  COLORREF backgroundColor_ = GetSysColor(COLOR_BTNFACE);
  bool transparent_ = false;
};

#endif
