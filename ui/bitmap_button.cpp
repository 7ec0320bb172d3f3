#include "ui/bitmap_button.h"

#include <windowsx.h>

namespace {

constexpr size_t kMaxCaption = 254;

}  // namespace

int ChooseButtonImage(const ButtonImageIndexes& indexes, const ButtonVisualState& state) {
  int chosen = -1;
  if (state.disabled) {
    chosen = indexes.disabled;
  } else if (state.pressed) {
    chosen = indexes.pressed;
  } else if ((state.hoverMode && state.hovering) || (!state.hoverMode && state.focused)) {
    chosen = indexes.hover;
  }
  if (chosen == -1) chosen = indexes.normal;
  return chosen == -1 ? 0 : chosen;
}

bool CBitmapButtonEx::Attach(HWND control) { return Subclass(control); }

bool CBitmapButtonEx::AttachCaptionButton(HWND control) {
  if (!Subclass(control)) return false;
  caption_ = OriginalText(kMaxCaption);
  ClearOriginalText();
  ownsText_ = true;
  SetCaptionColor(RGB(248, 248, 248), false);
  SetFontBold(true, false);
  SetFontName(L"Vernada", false);
  SetFontSize(11, false);
  return true;
}

void CBitmapButtonEx::SetImages(std::vector<SkinImage> images) {
  images_ = std::move(images);
  Redraw(true);
}

void CBitmapButtonEx::SetImageIndexes(const ButtonImageIndexes& indexes) {
  indexes_ = indexes;
  Redraw(true);
}

void CBitmapButtonEx::SetCaptionColor(COLORREF color, bool redraw) {
  captionColor_ = color;
  Redraw(redraw);
}

void CBitmapButtonEx::SetCaption(const std::wstring& caption, bool redraw) {
  caption_ = caption;
  Redraw(redraw);
}

int CBitmapButtonEx::CurrentImage() const {
  if (images_.empty()) return -1;
  ButtonVisualState state;
  state.disabled = Handle() != nullptr && !IsWindowEnabled(Handle());
  state.pressed = pressed_;
  state.hovering = hovering_;
  state.focused = focused_;
  state.hoverMode = hoverMode_;
  const int index = ChooseButtonImage(indexes_, state);
  return index >= 0 && static_cast<size_t>(index) < images_.size() ? index : 0;
}

void CBitmapButtonEx::Redraw(bool redraw) {
  if (redraw && Handle() != nullptr) RedrawNow();
}

void CBitmapButtonEx::Draw(HDC dc) {
  RECT client;
  GetClientRect(Handle(), &client);
  const int image = CurrentImage();
  if (image >= 0) images_[static_cast<size_t>(image)].Draw(dc, 0, 0, client.right, client.bottom);
  if (!caption_.empty()) {
    HGDIOBJ previousFont = SelectObject(dc, CurrentFont());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, captionColor_);
    DrawTextW(dc, caption_.c_str(), static_cast<int>(caption_.size()), &client,
              DT_SINGLELINE | DT_CENTER | DT_VCENTER | DT_NOPREFIX);
    SelectObject(dc, previousFont);
  }
}

bool CBitmapButtonEx::PointerInside(LPARAM lParam) const {
  RECT client;
  GetClientRect(Handle(), &client);
  const POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
  return PtInRect(&client, point) != FALSE;
}

void CBitmapButtonEx::SetPressed(bool pressed) {
  if (pressed_ == pressed) return;
  pressed_ = pressed;
  RedrawNow();
}

void CBitmapButtonEx::SendClick() {
  HWND parent = GetParent(Handle());
  if (parent != nullptr) {
    SendMessageW(parent, WM_COMMAND, MAKEWPARAM(ControlId(), BN_CLICKED), reinterpret_cast<LPARAM>(Handle()));
  }
}

bool CBitmapButtonEx::HandleHoverMouse(UINT message, LPARAM lParam) {
  switch (message) {
    case WM_MOUSEMOVE:
      if (!hovering_) {
        hovering_ = true;
        TRACKMOUSEEVENT track{sizeof(track), TME_LEAVE, Handle(), 0};
        TrackMouseEvent(&track);
        RedrawNow();
      }
      if (GetCapture() == Handle()) SetPressed(PointerInside(lParam));
      return true;
    case WM_MOUSELEAVE:
      hovering_ = false;
      RedrawNow();
      return true;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
      SetCapture(Handle());
      SetPressed(true);
      return true;
    case WM_LBUTTONUP: {
      if (GetCapture() != Handle()) return true;
      // The release point decides: a press dragged out of the button and released there is no click.
      const bool click = pressed_ && PointerInside(lParam);
      ReleaseCapture();
      SetPressed(false);
      // Sent after the capture is gone: the command may open a modal box.
      if (click) SendClick();
      return true;
    }
    case WM_CAPTURECHANGED:
      SetPressed(false);
      return true;
    default:
      return false;
  }
}

bool CBitmapButtonEx::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (AnswerPaint(message, result, [this](HDC dc) { Draw(dc); })) return true;
  switch (message) {
    case WM_SETCURSOR:
      if (cursor_ == nullptr) return false;
      ::SetCursor(cursor_);
      result = TRUE;
      return true;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      focused_ = message == WM_SETFOCUS;
      result = CallOriginal(message, wParam, lParam);
      RedrawNow();
      return true;
    case WM_ENABLE:
      result = CallOriginal(message, wParam, lParam);
      RedrawNow();
      return true;
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
      if (hoverMode_ && wParam == VK_SPACE) {
        result = 0;
        return true;
      }
      return false;
    default:
      break;
  }
  if (hoverMode_ && HandleHoverMouse(message, lParam)) {
    result = 0;
    return true;
  }
  if (!hoverMode_ && (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP || message == WM_CAPTURECHANGED)) {
    // The button class keeps the pressed state and sends the click; the images follow its state.
    result = CallOriginal(message, wParam, lParam);
    pressed_ = (CallOriginal(BM_GETSTATE, 0, 0) & BST_PUSHED) != 0;
    RedrawNow();
    return true;
  }
  if (!ownsText_) return false;
  if (message == WM_SETTEXT) {
    SetCaption(lParam != 0 ? reinterpret_cast<const wchar_t*>(lParam) : L"");
    result = TRUE;
    return true;
  }
  return AnswerTextQuery(caption_, message, wParam, lParam, result);
}
