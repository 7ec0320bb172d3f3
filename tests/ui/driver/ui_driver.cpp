// ui_driver: drives the downloader's windows from outside, for the end-to-end tests and the demo.
//
//   ui_driver wait TITLE [--wait S]          exit 0 once a top-level window titled TITLE exists
//   ui_driver drawn TITLE [--wait S]         exit 0 once that window is visible and has painted itself
//                                            and every visible control (nothing left to repaint), so
//                                            that a screenshot shows what it is meant to show
//   ui_driver click TITLE ID [--wait S]      clicks control ID (BM_CLICK: the button's own press and release)
//   ui_driver press TITLE ID [--wait S]      the mouse messages of a click at the control's centre
//   ui_driver tray TITLE open|pause|speedN|slowdown [--wait S]
//                                            opens the notification-area menu and chooses "Open Download",
//                                            its "Pause" / "Resume" item, step N (0 "No limit" to 5) of
//                                            "Download speed" or "Slow down while I play" with the keyboard
//                                            (a greyed item closes the menu without a command)
//   ui_driver tray TITLE speedmenu|dismiss   opens the menu with its "Download speed" submenu and leaves
//                                            it open (for a screenshot), or closes the open menu
//   ui_driver endsession TITLE [--wait S]    tells the window that the user's logon ends
//   ui_driver text TITLE ID [--wait S]       prints the control's text
//   ui_driver info TITLE ID [--wait S]       prints "visible=V x=X y=Y width=W height=H" (window-relative)
//
// TITLE is matched exactly ("@box": the program's message box, which has no title); the window, and
// then the control, is waited for up to S seconds (default 10). Exit codes: 0 done, 1 no such
// window, 2 no such control, 3 the action could not be carried out, 64 wrong usage.
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

namespace {

constexpr int kDone = 0;
constexpr int kNoWindow = 1;
constexpr int kNoControl = 2;
constexpr int kFailed = 3;
constexpr int kUsage = 64;
constexpr UINT kTrayIconId = 1085;

struct Arguments {
  std::wstring command;
  std::wstring title;
  std::wstring operand;
  DWORD waitMs = 10000;
};

int usage() {
  fwprintf(stderr,
           L"usage: ui_driver wait|drawn|click|press|tray|endsession|text|info TITLE [ID|open|pause] [--wait S]\n");
  return kUsage;
}

bool parse(int argc, wchar_t** argv, Arguments* out) {
  std::vector<std::wstring> positional;
  for (int i = 1; i < argc; ++i) {
    if (wcscmp(argv[i], L"--wait") == 0 && i + 1 < argc) {
      out->waitMs = static_cast<DWORD>(_wtoi(argv[++i])) * 1000;
    } else {
      positional.push_back(argv[i]);
    }
  }
  if (positional.size() < 2) return false;
  static const wchar_t* const kCommands[] = {L"wait",       L"drawn", L"click", L"press",
                                             L"endsession", L"text",  L"info",  L"tray"};
  bool known = false;
  for (const wchar_t* command : kCommands) known = known || positional[0] == command;
  if (!known) return false;
  out->command = positional[0];
  out->title = positional[1];
  if (positional.size() > 2) out->operand = positional[2];
  const bool needsOperand = out->command != L"wait" && out->command != L"drawn" && out->command != L"endsession";
  return needsOperand == (positional.size() == 3) && positional.size() <= 3;
}

// The program's message boxes have no title: "@box" names the visible top-level window that holds
// the box's message (1026) and first button (2000).
constexpr wchar_t kMessageBoxTarget[] = L"@box";

BOOL CALLBACK findMessageBox(HWND window, LPARAM found) {
  if (!IsWindowVisible(window) || GetDlgItem(window, 1026) == nullptr || GetDlgItem(window, 2000) == nullptr) {
    return TRUE;
  }
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

HWND findWindow(const std::wstring& title) {
  if (title != kMessageBoxTarget) return FindWindowW(nullptr, title.c_str());
  HWND box = nullptr;
  EnumWindows(findMessageBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

HWND waitForWindow(const std::wstring& title, DWORD waitMs) {
  const ULONGLONG end = GetTickCount64() + waitMs;
  for (;;) {
    HWND window = findWindow(title);
    if (window != nullptr || GetTickCount64() >= end) return window;
    Sleep(100);
  }
}

// The visible pop-up menu window ("#32768") of the window's thread, waited for up to waitMs.
HWND waitForMenu(HWND owner, DWORD waitMs) {
  const DWORD thread = GetWindowThreadProcessId(owner, nullptr);
  const ULONGLONG end = GetTickCount64() + waitMs;
  for (;;) {
    HWND menu = nullptr;
    while ((menu = FindWindowExW(nullptr, menu, L"#32768", nullptr)) != nullptr) {
      if (IsWindowVisible(menu) && GetWindowThreadProcessId(menu, nullptr) == thread) return menu;
    }
    if (GetTickCount64() >= end) return nullptr;
    Sleep(50);
  }
}

void postKey(HWND window, WPARAM key) {
  PostMessageW(window, WM_KEYDOWN, key, 1);
  PostMessageW(window, WM_KEYUP, key, (1u << 30) | (1u << 31) | 1);
  Sleep(100);
}

// The menu's items are "Open Download", a separator, "Pause" / "Resume", a separator, "Download
// speed" (a submenu: "No limit", then the steps) and "Slow down while I play": the first press of
// the down key selects the first item, and the presses skip the separators.
int chooseTrayItem(HWND window, const std::wstring& item) {
  std::vector<WPARAM> keys;
  const bool leaveOpen = item == L"speedmenu";
  if (leaveOpen) {
    keys = {VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT};
  } else if (item == L"dismiss") {
    // Each Escape closes one level (the submenu, then the menu): until no menu of the window's
    // thread is open.
    if (waitForMenu(window, 1000) == nullptr) return kFailed;
    for (int level = 0; level < 5; ++level) {
      HWND open = waitForMenu(window, 300);
      if (open == nullptr) return kDone;
      postKey(open, VK_ESCAPE);
      Sleep(200);
    }
    return waitForMenu(window, 300) == nullptr ? kDone : kFailed;
  } else if (item == L"open") {
    keys = {VK_DOWN};
  } else if (item == L"pause") {
    keys = {VK_DOWN, VK_DOWN};
  } else if (item == L"slowdown") {
    keys = {VK_DOWN, VK_DOWN, VK_DOWN, VK_DOWN};
  } else if (item.size() == 6 && item.compare(0, 5, L"speed") == 0 && item[5] >= L'0' && item[5] <= L'5') {
    keys = {VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT};
    keys.insert(keys.end(), static_cast<size_t>(item[5] - L'0'), VK_DOWN);
  } else {
    return usage();
  }
  const UINT trayMessage = RegisterWindowMessageW(L"WM_TRAYICON");
  // Posted: the window opens the menu modally and would keep a sent message waiting.
  PostMessageW(window, trayMessage, kTrayIconId, WM_RBUTTONUP);
  HWND menu = waitForMenu(window, 5000);
  if (menu == nullptr) return kFailed;
  for (WPARAM key : keys) postKey(menu, key);
  if (leaveOpen) return kDone;
  postKey(menu, VK_RETURN);
  // Enter closes the menu; on a greyed item without a command, which the caller sees as nothing
  // happening.
  const ULONGLONG end = GetTickCount64() + 3000;
  while (IsWindowVisible(menu)) {
    if (GetTickCount64() >= end) {
      postKey(menu, VK_ESCAPE);
      return kFailed;
    }
    Sleep(50);
  }
  return kDone;
}

BOOL CALLBACK findPendingPaint(HWND child, LPARAM pending) {
  if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
    *reinterpret_cast<bool*>(pending) = true;
    return FALSE;
  }
  return TRUE;
}

// Waits until the window is visible, its thread has handled everything sent before (WM_NULL comes
// back only then) and neither it nor any visible control still has an area to repaint; twice in a
// row, since a paint can make another control invalid.
int waitUntilDrawn(HWND window, DWORD waitMs) {
  const ULONGLONG end = GetTickCount64() + waitMs;
  int settled = 0;
  while (GetTickCount64() < end) {
    DWORD_PTR ignored = 0;
    bool pending = !IsWindowVisible(window) ||
                   SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored) == 0 ||
                   GetUpdateRect(window, nullptr, FALSE);
    if (!pending) EnumChildWindows(window, findPendingPaint, reinterpret_cast<LPARAM>(&pending));
    settled = pending ? 0 : settled + 1;
    if (settled == 2) return kDone;
    Sleep(100);
  }
  fwprintf(stderr, L"ui_driver: the window did not finish drawing\n");
  return kFailed;
}

int printText(HWND control) {
  const LRESULT length = SendMessageW(control, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(control, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
  text.resize(static_cast<size_t>(copied));
  // As UTF-8 bytes: the runtime's wide printing stops at the first character outside the console's
  // code page (a dash, a name in another script).
  text += L"\n";
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &bytes[0], size, nullptr, nullptr);
  fwrite(bytes.data(), 1, bytes.size(), stdout);
  return kDone;
}

int printInfo(HWND window, HWND control) {
  RECT place;
  GetWindowRect(control, &place);
  RECT outer;
  GetWindowRect(window, &outer);
  const bool visible = (GetWindowLongPtrW(control, GWL_STYLE) & WS_VISIBLE) != 0;
  wprintf(L"visible=%d x=%ld y=%ld width=%ld height=%ld\n", visible ? 1 : 0, place.left - outer.left,
          place.top - outer.top, place.right - place.left, place.bottom - place.top);
  return kDone;
}

int pressWithMouseMessages(HWND control) {
  RECT client;
  GetClientRect(control, &client);
  const LPARAM centre = MAKELPARAM(client.right / 2, client.bottom / 2);
  // Posted, like real input: the click may open a modal box.
  PostMessageW(control, WM_MOUSEMOVE, 0, centre);
  PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, centre);
  PostMessageW(control, WM_LBUTTONUP, 0, centre);
  return kDone;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Arguments arguments;
  if (!parse(argc, argv, &arguments)) return usage();
  HWND window = waitForWindow(arguments.title, arguments.waitMs);
  if (window == nullptr) {
    fwprintf(stderr, L"ui_driver: no window titled \"%ls\"\n", arguments.title.c_str());
    return kNoWindow;
  }
  const std::wstring& command = arguments.command;
  if (command == L"wait") return kDone;
  if (command == L"drawn") return waitUntilDrawn(window, arguments.waitMs);
  if (command == L"tray") return chooseTrayItem(window, arguments.operand);
  if (command == L"endsession") {
    DWORD_PTR ignored = 0;
    // The program ends while handling it: a time-out here is no failure.
    SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, 0, SMTO_ABORTIFHUNG, 10000, &ignored);
    return kDone;
  }

  // A dialog gets its title before its controls: the control is waited for too.
  const ULONGLONG controlDeadline = GetTickCount64() + arguments.waitMs;
  HWND control = GetDlgItem(window, _wtoi(arguments.operand.c_str()));
  while (control == nullptr && IsWindow(window) && GetTickCount64() < controlDeadline) {
    Sleep(50);
    control = GetDlgItem(window, _wtoi(arguments.operand.c_str()));
  }
  if (control == nullptr) {
    fwprintf(stderr, L"ui_driver: no control %ls\n", arguments.operand.c_str());
    return kNoControl;
  }
  if (command == L"click") {
    // Posted: a click may open a modal box, and the driver must not wait for its answer.
    PostMessageW(control, BM_CLICK, 0, 0);
    return kDone;
  }
  if (command == L"press") return pressWithMouseMessages(control);
  if (command == L"text") return printText(control);
  if (command == L"info") return printInfo(window, control);
  return usage();
}
