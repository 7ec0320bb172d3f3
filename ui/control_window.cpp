#include "ui/control_window.h"

#include <algorithm>
#include <vector>

CControlWindow::~CControlWindow() { Unsubclass(); }

int CControlWindow::ControlId() const { return hwnd_ != nullptr ? GetDlgCtrlID(hwnd_) : 0; }

bool CControlWindow::Subclass(HWND control) {
  if (hwnd_ != nullptr || control == nullptr || !IsWindow(control)) return false;
  if (GetWindowLongPtrW(control, GWLP_USERDATA) != 0) return false;
  hwnd_ = control;
  SetWindowLongPtrW(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  original_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CControlWindow::WindowProc)));
  return true;
}

void CControlWindow::Unsubclass() {
  if (hwnd_ == nullptr) return;
  if (IsWindow(hwnd_)) {
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(original_));
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  }
  hwnd_ = nullptr;
}

LRESULT CControlWindow::CallOriginal(UINT message, WPARAM wParam, LPARAM lParam) {
  return CallWindowProcW(original_, hwnd_, message, wParam, lParam);
}

void CControlWindow::RedrawNow() {
  if (hwnd_ != nullptr) RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
}

bool CControlWindow::AnswerPaint(UINT message, LRESULT& result, const std::function<void(HDC)>& draw) {
  if (message == WM_ERASEBKGND) {
    result = 1;
    return true;
  }
  if (message != WM_PAINT) return false;
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(hwnd_, &paint);
  draw(dc);
  EndPaint(hwnd_, &paint);
  result = 0;
  return true;
}

std::wstring CControlWindow::OriginalText(size_t maxLength) {
  std::vector<wchar_t> buffer(maxLength + 1, L'\0');
  const LRESULT length = CallOriginal(WM_GETTEXT, buffer.size(), reinterpret_cast<LPARAM>(buffer.data()));
  return std::wstring(buffer.data(), static_cast<size_t>(std::max<LRESULT>(0, std::min<LRESULT>(length, maxLength))));
}

void CControlWindow::ClearOriginalText() { CallOriginal(WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"")); }

LRESULT CALLBACK CControlWindow::WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CControlWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const WNDPROC original = self->original_;
    self->Unsubclass();
    return CallWindowProcW(original, hwnd, message, wParam, lParam);
  }
  LRESULT result = 0;
  if (self->HandleMessage(message, wParam, lParam, result)) return result;
  return self->CallOriginal(message, wParam, lParam);
}

bool AnswerTextQuery(const std::wstring& text, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
  if (message == WM_GETTEXTLENGTH) {
    result = static_cast<LRESULT>(text.size());
    return true;
  }
  if (message != WM_GETTEXT) return false;
  auto* buffer = reinterpret_cast<wchar_t*>(lParam);
  const size_t capacity = static_cast<size_t>(wParam);
  if (buffer == nullptr || capacity == 0) {
    result = 0;
    return true;
  }
  const size_t copied = std::min(text.size(), capacity - 1);
  text.copy(buffer, copied);
  buffer[copied] = L'\0';
  result = static_cast<LRESULT>(copied);
  return true;
}
