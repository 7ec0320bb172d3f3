// Base of the program's controls: takes over a child control that a dialog template created (its
// window procedure is replaced, the object pointer lives in GWLP_USERDATA) and routes every message
// to one handler; what the handler leaves goes to the control's own procedure.
#ifndef UI_CONTROL_WINDOW_H
#define UI_CONTROL_WINDOW_H

#include <windows.h>

#include <functional>
#include <string>

class CControlWindow {
 public:
  CControlWindow(const CControlWindow&) = delete;
  CControlWindow& operator=(const CControlWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  int ControlId() const;

 protected:
  CControlWindow() = default;
  // Gives the control back its own procedure if it still exists.
  virtual ~CControlWindow();

  // False when the control does not exist or another object has it already.
  bool Subclass(HWND control);
  // Returns true and sets result when the message was handled.
  virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;
  LRESULT CallOriginal(UINT message, WPARAM wParam, LPARAM lParam);
  // Invalidates, erases and repaints at once.
  void RedrawNow();
  // For a control that paints its area itself: answers WM_PAINT by calling draw between BeginPaint
  // and EndPaint, and WM_ERASEBKGND without erasing, as the drawing covers the area (or lets the
  // parent's painting show through). False for any other message.
  bool AnswerPaint(UINT message, LRESULT& result, const std::function<void(HDC)>& draw);
  // The control's own text storage, bypassing the handler.
  std::wstring OriginalText(size_t maxLength);
  void ClearOriginalText();

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  void Unsubclass();

  HWND hwnd_ = nullptr;
  WNDPROC original_ = nullptr;
};

// Answers WM_GETTEXT and WM_GETTEXTLENGTH from a control's own text, so that the text a control
// draws is also the text that others (tests, accessibility tools) read from it.
bool AnswerTextQuery(const std::wstring& text, UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);

#endif
