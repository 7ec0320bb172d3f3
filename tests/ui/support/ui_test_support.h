// Helpers of the Windows UI tests: message pumping, window geometry, a plain parent window for
// control tests, dialogs watched from a helper thread, and screenshots taken by the test wrapper.
#ifndef TESTS_UI_SUPPORT_UI_TEST_SUPPORT_H
#define TESTS_UI_SUPPORT_UI_TEST_SUPPORT_H

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace uitest {

// Dispatches the calling thread's messages for the given time.
void PumpMessages(DWORD milliseconds);
// Dispatches messages until condition holds or the time is up; returns the condition.
bool PumpUntil(const std::function<bool()>& condition, DWORD timeoutMs);

// A child window's rectangle in its parent's client coordinates.
RECT ChildRect(HWND child);
// Whether the window itself has the visible style (its parent may still be hidden).
bool HasVisibleStyle(HWND window);
// The first top-level window of the thread that has a child control with the given id.
HWND FindThreadDialogWithControl(DWORD threadId, int controlId, DWORD timeoutMs);

// A plain top-level window holding controls under test; it records the commands it receives.
class TestParent {
 public:
  TestParent();
  ~TestParent();
  TestParent(const TestParent&) = delete;
  TestParent& operator=(const TestParent&) = delete;

  HWND Handle() const { return hwnd_; }
  HWND AddChild(const wchar_t* windowClass, const wchar_t* text, DWORD style, int id, int x, int y, int width,
                int height);
  const std::vector<int>& Commands() const { return commands_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND hwnd_ = nullptr;
  std::vector<int> commands_;
};

// Counts the paint messages a window receives, while the counter exists.
class PaintCounter {
 public:
  explicit PaintCounter(HWND window);
  ~PaintCounter();
  PaintCounter(const PaintCounter&) = delete;
  PaintCounter& operator=(const PaintCounter&) = delete;
  int Count() const { return count_; }

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  HWND window_;
  WNDPROC original_;
  int count_ = 0;
};

// What the screenshot checker expects at a window-relative point: "fill", "trough", "root", "skin".
struct PixelExpectation {
  std::string kind;
  int x;
  int y;
};

// True when the tests run under the wrapper that takes screenshots.
bool ScreenshotsAvailable();
// Asks the wrapper for a screenshot of the display with the window on it and waits (pumping the
// calling thread's messages) until it is taken; the wrapper checks the expectations afterwards.
bool TakeScreenshot(const std::string& name, HWND window, const std::vector<PixelExpectation>& expectations);

}  // namespace uitest

#endif
