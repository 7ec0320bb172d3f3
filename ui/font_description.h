// A font kept as its description: each change builds a new font from the description with one
// field changed and releases the old one. Sizes are points at a fixed 96 dots per inch.
#ifndef UI_FONT_DESCRIPTION_H
#define UI_FONT_DESCRIPTION_H

#include <windows.h>

// The character height in pixels for a point size at 96 dots per inch, negative as GDI expects a
// character (not cell) height: 9 points give -12, 11 give -15.
int PointsToPixelHeight(int points);

class FontDescription {
 public:
  // Starts from the platform's default interface font.
  FontDescription();
  FontDescription(const FontDescription&) = delete;
  FontDescription& operator=(const FontDescription&) = delete;
  ~FontDescription();

  // Also sets the character set to the default one.
  void SetFace(const wchar_t* face);
  // Ignored when points is not positive.
  void SetPoints(int points);
  void SetBold(bool bold);
  void SetItalic(bool italic);
  void SetUnderline(bool underline);

  HFONT Font() const { return font_; }
  const LOGFONTW& Description() const { return description_; }

 private:
  void Rebuild();

  LOGFONTW description_{};
  HFONT font_ = nullptr;
};

#endif
