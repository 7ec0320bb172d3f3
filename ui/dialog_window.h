// Base of the program's dialogs: creates a dialog from a template, binds the object to its window
// (the pointer lives in GWLP_USERDATA) and routes every message to one handler per window.
#ifndef UI_DIALOG_WINDOW_H
#define UI_DIALOG_WINDOW_H

#include <windows.h>

#include <functional>

class CDialogWindow {
 public:
  CDialogWindow(const CDialogWindow&) = delete;
  CDialogWindow& operator=(const CDialogWindow&) = delete;

  HWND Handle() const { return hwnd_; }
  bool IsWindowThread() const;

  // Runs work on the thread that owns the window and returns when it has run there; on the owning
  // thread it runs at once. Nothing runs when the window does not exist.
  void RunOnWindowThread(const std::function<void()>& work) const;

 protected:
  CDialogWindow() = default;
  // Unbinds the object without destroying the window: derived classes destroy it in their own
  // destructors, while their handlers still exist.
  virtual ~CDialogWindow();

  // A modeless dialog; false when the window cannot be made.
  bool CreateModeless(int templateId, HWND owner);
  // A modal dialog; returns the value given to EndModal, or -1 when the dialog cannot be shown.
  INT_PTR RunModal(int templateId, HWND owner);
  void EndModal(INT_PTR result);

  // WM_INITDIALOG; the return value is the dialog manager's "set the default focus".
  virtual bool OnInitDialog() { return true; }
  // Every other message; returns true and sets result when the message was handled.
  virtual bool HandleMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) = 0;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

  HWND hwnd_ = nullptr;
};

#endif
