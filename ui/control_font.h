// The font of a control that draws its own text, with the setters the controls share: each one
// changes one field of the font's description, then the control applies the new font.
#ifndef UI_CONTROL_FONT_H
#define UI_CONTROL_FONT_H

#include <windows.h>

#include "ui/font_description.h"

class ControlFont {
 public:
  ControlFont(const ControlFont&) = delete;
  ControlFont& operator=(const ControlFont&) = delete;

  // Also sets the character set to the default one.
  void SetFontName(const wchar_t* face, bool redraw = true);
  // Ignored when points is not positive.
  void SetFontSize(int points, bool redraw = true);
  void SetFontBold(bool bold, bool redraw = true);
  void SetFontItalic(bool italic, bool redraw = true);

 protected:
  ControlFont() = default;
  virtual ~ControlFont() = default;

  // For the controls that offer underlining.
  void SetFontUnderline(bool underline, bool redraw = true);
  // Called after every change with the setter's redraw flag; when it is true the control repaints
  // at once.
  virtual void FontChanged(bool redraw) = 0;
  HFONT CurrentFont() const { return font_.Font(); }

 private:
  FontDescription font_;
};

#endif
