#include "ui/color_label.h"

namespace {

constexpr size_t kMaxAttachedText = 254;

}  // namespace

UINT LabelTextFormat(LONG_PTR style) {
  // Texts are shown as given: an ampersand is not a mnemonic prefix here.
  UINT format = DT_NOPREFIX;
  switch (style & SS_TYPEMASK) {
    case SS_RIGHT:
      format |= DT_RIGHT;
      break;
    case SS_CENTER:
      format |= DT_CENTER;
      break;
    default:
      format |= DT_LEFT | DT_WORDBREAK;
      break;
  }
  if ((style & SS_CENTERIMAGE) != 0) format |= DT_SINGLELINE | DT_VCENTER;
  return format;
}

bool ui_ColorLabel::Attach(HWND control) {
  if (!Subclass(control)) return false;
  text_ = OriginalText(kMaxAttachedText);
  ClearOriginalText();
  CallOriginal(WM_SETFONT, reinterpret_cast<WPARAM>(CurrentFont()), FALSE);
  return true;
}

void ui_ColorLabel::SetBackgroundColor(COLORREF color, bool redraw) {
  backgroundColor_ = color;
  Redraw(redraw);
}

void ui_ColorLabel::SetTextColor(COLORREF color, bool redraw) {
  textColor_ = color;
  Redraw(redraw);
}

void ui_ColorLabel::SetText(const std::wstring& text, bool redraw) {
  text_ = text;
  Redraw(redraw);
}

void ui_ColorLabel::SetTransparent(bool transparent, bool redraw) {
  transparent_ = transparent;
  Redraw(redraw);
}

void ui_ColorLabel::FontChanged(bool redraw) {
  if (Handle() != nullptr) CallOriginal(WM_SETFONT, reinterpret_cast<WPARAM>(CurrentFont()), FALSE);
  Redraw(redraw);
}

void ui_ColorLabel::Redraw(bool redraw) {
  if (!redraw || Handle() == nullptr) return;
  if (!transparent_) {
    RedrawNow();
    return;
  }
  // Nothing of the old text may stay behind a transparent label: the parent repaints the area
  // first, then the label draws over it.
  HWND parent = GetParent(Handle());
  RECT area;
  GetWindowRect(Handle(), &area);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&area), 2);
  RedrawWindow(parent, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void ui_ColorLabel::Draw(HDC dc) {
  RECT client;
  GetClientRect(Handle(), &client);
  if (!transparent_) {
    HBRUSH brush = CreateSolidBrush(backgroundColor_);
    FillRect(dc, &client, brush);
    DeleteObject(brush);
  }
  if (!text_.empty()) {
    HGDIOBJ previousFont = SelectObject(dc, CurrentFont());
    ::SetTextColor(dc, textColor_);
    SetBkColor(dc, backgroundColor_);
    SetBkMode(dc, transparent_ ? TRANSPARENT : OPAQUE);
    DrawTextW(dc, text_.c_str(), static_cast<int>(text_.size()), &client,
              LabelTextFormat(GetWindowLongPtrW(Handle(), GWL_STYLE)));
    SelectObject(dc, previousFont);
  }
}

bool ui_ColorLabel::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (AnswerPaint(message, result, [this](HDC dc) { Draw(dc); })) return true;
  if (message == WM_SETTEXT) {
    SetText(lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"");
    result = TRUE;
    return true;
  }
  return AnswerTextQuery(text_, message, wParam, lParam, result);
}
