// The main window as the tests open it: its commands go to a recording sink, and it is created,
// shown and brought to the foreground.
#ifndef TESTS_UI_SUPPORT_OPEN_MAIN_WINDOW_H
#define TESTS_UI_SUPPORT_OPEN_MAIN_WINDOW_H

#include "tests/ui/support/fake_command_sink.h"
#include "ui/main_dialog.h"

namespace uitest {

// False when the window cannot be created.
inline bool OpenMainWindow(CMainDlg& window, FakeCommandSink& sink) {
  window.SetCommandSink(&sink);
  if (!window.Create()) return false;
  window.Show();
  window.BringToForeground();
  return true;
}

}  // namespace uitest

#endif
