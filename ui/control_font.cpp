#include "ui/control_font.h"

void ControlFont::SetFontName(const wchar_t* face, bool redraw) {
  font_.SetFace(face);
  FontChanged(redraw);
}

void ControlFont::SetFontSize(int points, bool redraw) {
  font_.SetPoints(points);
  FontChanged(redraw);
}

void ControlFont::SetFontBold(bool bold, bool redraw) {
  font_.SetBold(bold);
  FontChanged(redraw);
}

void ControlFont::SetFontItalic(bool italic, bool redraw) {
  font_.SetItalic(italic);
  FontChanged(redraw);
}

void ControlFont::SetFontUnderline(bool underline, bool redraw) {
  font_.SetUnderline(underline);
  FontChanged(redraw);
}
