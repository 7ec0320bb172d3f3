// Moves a window with the mouse while the left button is held down on its own surface.
#ifndef UI_WINDOW_DRAGGER_H
#define UI_WINDOW_DRAGGER_H

#include <windows.h>

class WindowDragger {
 public:
  // Handles the window's left-button presses and releases and its mouse moves; true when the
  // message was one of them.
  bool HandleMessage(HWND window, UINT message, LPARAM lParam);

 private:
  POINT anchor_{0, 0};
};

#endif
