#include "ui/font_description.h"

#include <cwchar>

int PointsToPixelHeight(int points) { return -MulDiv(points, 96, 72); }

FontDescription::FontDescription() {
  GetObjectW(GetStockObject(DEFAULT_GUI_FONT), sizeof(description_), &description_);
  Rebuild();
}

FontDescription::~FontDescription() {
  if (font_ != nullptr) DeleteObject(font_);
}

void FontDescription::SetFace(const wchar_t* face) {
  wcsncpy(description_.lfFaceName, face, LF_FACESIZE - 1);
  description_.lfFaceName[LF_FACESIZE - 1] = L'\0';
  description_.lfCharSet = DEFAULT_CHARSET;
  Rebuild();
}

void FontDescription::SetPoints(int points) {
  if (points <= 0) return;
  description_.lfHeight = PointsToPixelHeight(points);
  description_.lfWidth = 0;
  Rebuild();
}

void FontDescription::SetBold(bool bold) {
  description_.lfWeight = bold ? FW_BOLD : FW_NORMAL;
  Rebuild();
}

void FontDescription::SetItalic(bool italic) {
  description_.lfItalic = italic ? TRUE : FALSE;
  Rebuild();
}

void FontDescription::SetUnderline(bool underline) {
  description_.lfUnderline = underline ? TRUE : FALSE;
  Rebuild();
}

void FontDescription::Rebuild() {
  HFONT made = CreateFontIndirectW(&description_);
  if (made == nullptr) return;
  if (font_ != nullptr) DeleteObject(font_);
  font_ = made;
}
