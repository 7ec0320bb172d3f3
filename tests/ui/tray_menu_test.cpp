// The notification-area menu: its items per job state as prepared and as really shown, the command
// it delivers, and the tooltip's bound.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/ui/support/fake_command_sink.h"
#include "tests/ui/support/open_main_window.h"
#include "tests/ui/support/ui_test_support.h"
#include "ui/main_dialog.h"
#include "ui/tray_icon.h"

namespace {

constexpr int kNotStarted = 0;
constexpr int kStarting = 2;
constexpr int kDownloading = 3;
constexpr int kPaused = 4;
constexpr int kCompleted = 5;
constexpr UINT kGetMenuOfPopup = 0x01E1;  // MN_GETHMENU

struct ItemState {
  std::wstring text;
  bool enabled;
};

ItemState itemState(HMENU menu, UINT command) {
  wchar_t text[64] = L"";
  GetMenuStringW(menu, command, text, 64, MF_BYCOMMAND);
  const UINT state = GetMenuState(menu, command, MF_BYCOMMAND);
  return {text, (state & (MF_GRAYED | MF_DISABLED)) == 0};
}

const struct {
  int jobState;
  const wchar_t* pauseText;
  bool pauseEnabled;
} kPerState[] = {
    {kNotStarted, L"Pause", false}, {kStarting, L"Pause", false},  {kDownloading, L"Pause", true},
    {kPaused, L"Resume", true},     {kCompleted, L"Pause", false},
};

TEST(TrayMenu, PauseItemFollowsTheJobState) {
  for (const auto& expected : kPerState) {
    SCOPED_TRACE(expected.jobState);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    HMENU popup = GetSubMenu(menu, 0);
    PrepareTrayMenu(popup, expected.jobState);
    EXPECT_EQ(itemState(popup, ID_TRAY_OPEN_DOWNLOAD).text, L"Open Download");
    EXPECT_TRUE(itemState(popup, ID_TRAY_OPEN_DOWNLOAD).enabled);
    EXPECT_EQ(itemState(popup, ID_TRAY_PAUSE_RESUME).text, expected.pauseText);
    EXPECT_EQ(itemState(popup, ID_TRAY_PAUSE_RESUME).enabled, expected.pauseEnabled);
    DestroyMenu(menu);
  }
}

TEST(TrayTooltip, KeepsAtMost127Characters) {
  CTrayIconImpl tray;
  tray.SetTrayTooltip(std::wstring(200, L'x'));
  EXPECT_EQ(tray.TrayTooltip(), std::wstring(127, L'x'));
  tray.SetTrayTooltip(L"42% completed - 3 min left\n120.0 MB of 300.0 MB");
  EXPECT_EQ(tray.TrayTooltip(), L"42% completed - 3 min left\n120.0 MB of 300.0 MB");
  EXPECT_FALSE(tray.IsTrayIconInstalled());
}

// What the open pop-up menu showed, read from inside its own modal loop, and then the keys sent.
struct MenuVisit {
  bool seen = false;
  ItemState open;
  ItemState pause;
  UINT defaultItem = 0;
  int downPresses = 0;
};
MenuVisit* currentVisit = nullptr;

void CALLBACK inspectOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = nullptr;
  while ((popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) != nullptr) {
    if (IsWindowVisible(popup) && GetWindowThreadProcessId(popup, nullptr) == GetCurrentThreadId()) break;
  }
  if (popup == nullptr) return;  // not open yet: the timer comes back
  KillTimer(nullptr, timer);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, kGetMenuOfPopup, 0, 0));
  currentVisit->seen = true;
  currentVisit->open = itemState(menu, ID_TRAY_OPEN_DOWNLOAD);
  currentVisit->pause = itemState(menu, ID_TRAY_PAUSE_RESUME);
  currentVisit->defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
  for (int i = 0; i < currentVisit->downPresses; ++i) PostMessageW(popup, WM_KEYDOWN, VK_DOWN, 0);
  // The menu chooses on the character of the Enter key.
  PostMessageW(popup, WM_CHAR, L'\r', 0);
}

TEST(TrayMenu, RightClickShowsTheMenuForTheStateAndDeliversTheChosenCommand) {
  const struct {
    int jobState;
    int downPresses;
    const char* command;
  } kCases[] = {
      {kPaused, 2, "toggle"},
      {kDownloading, 2, "toggle"},
      {kStarting, 2, nullptr},
      {kCompleted, 1, "restore"},
  };
  FakeCommandSink sink;
  CMainDlg window;
  ASSERT_TRUE(uitest::OpenMainWindow(window, sink));
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.jobState);
    sink.jobState = c.jobState;
    sink.received.clear();
    MenuVisit visit;
    visit.downPresses = c.downPresses;
    currentVisit = &visit;
    SetTimer(nullptr, 0, 50, &inspectOpenMenu);
    SendMessageW(window.Handle(), window.TrayNotificationMessage(), ID_TRAY_ICON, WM_RBUTTONUP);
    uitest::PumpMessages(100);
    ASSERT_TRUE(visit.seen);
    EXPECT_EQ(visit.open.text, L"Open Download");
    EXPECT_EQ(visit.defaultItem, static_cast<UINT>(ID_TRAY_OPEN_DOWNLOAD));
    for (const auto& expected : kPerState) {
      if (expected.jobState != c.jobState) continue;
      EXPECT_EQ(visit.pause.text, expected.pauseText);
      EXPECT_EQ(visit.pause.enabled, expected.pauseEnabled);
    }
    if (c.command == nullptr) {
      EXPECT_TRUE(sink.received.empty());
    } else {
      ASSERT_EQ(sink.received.size(), 1u);
      EXPECT_EQ(sink.received[0], c.command);
    }
  }
  currentVisit = nullptr;
  window.Destroy();
}

bool isChecked(HMENU menu, UINT command) { return (GetMenuState(menu, command, MF_BYCOMMAND) & MF_CHECKED) != 0; }

TEST(TrayMenu, TheDownloadSpeedItemsShowWhatThePlayerChose) {
  for (const SpeedMenuState speed : {SpeedMenuState{0, true}, SpeedMenuState{3, false}, SpeedMenuState{5, true}}) {
    SCOPED_TRACE(speed.step);
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_TRAY_MENU));
    HMENU popup = GetSubMenu(menu, 0);
    PrepareTrayMenu(popup, kDownloading, speed);
    for (UINT step = ID_SPEED_STEP_FIRST; step <= ID_SPEED_STEP_LAST; ++step) {
      EXPECT_EQ(isChecked(popup, step), step == static_cast<UINT>(ID_SPEED_STEP_FIRST + speed.step)) << step;
    }
    EXPECT_EQ(isChecked(popup, ID_SLOW_DOWN_WHILE_PLAYING), speed.slowDownWhilePlaying);
    EXPECT_EQ(itemState(popup, ID_SPEED_STEP_FIRST).text, L"No limit");
    EXPECT_EQ(itemState(popup, ID_SPEED_STEP_FIRST + 3).text, L"5 MB/s");
    DestroyMenu(menu);
  }
}

// The window's own menu (a right click on it): pause or resume and the download speed, without
// "Open Download"; a step chosen in its submenu reaches the controller as that step's command.
struct WindowMenuVisit {
  bool seen = false;
  bool hasOpenDownload = true;
  ItemState pause;
};
WindowMenuVisit* windowMenuVisit = nullptr;

void CALLBACK chooseFromWindowMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND popup = nullptr;
  while ((popup = FindWindowExW(nullptr, popup, L"#32768", nullptr)) != nullptr) {
    if (IsWindowVisible(popup) && GetWindowThreadProcessId(popup, nullptr) == GetCurrentThreadId()) break;
  }
  if (popup == nullptr) return;
  KillTimer(nullptr, timer);
  HMENU menu = reinterpret_cast<HMENU>(SendMessageW(popup, kGetMenuOfPopup, 0, 0));
  windowMenuVisit->seen = true;
  windowMenuVisit->hasOpenDownload = GetMenuState(menu, ID_TRAY_OPEN_DOWNLOAD, MF_BYCOMMAND) != static_cast<UINT>(-1);
  windowMenuVisit->pause = itemState(menu, ID_TRAY_PAUSE_RESUME);
  // "Pause", then (past the separator) "Download speed"; into it, and down to "5 MB/s".
  for (WPARAM key : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_DOWN, VK_DOWN, VK_DOWN}) PostMessageW(popup, WM_KEYDOWN, key, 0);
  PostMessageW(popup, WM_CHAR, L'\r', 0);
}

TEST(WindowMenu, ARightClickOnTheWindowOffersPauseAndTheDownloadSpeed) {
  FakeCommandSink sink;
  CMainDlg window;
  ASSERT_TRUE(uitest::OpenMainWindow(window, sink));
  sink.jobState = kPaused;
  WindowMenuVisit visit;
  windowMenuVisit = &visit;
  SetTimer(nullptr, 0, 50, &chooseFromWindowMenu);
  RECT area{};
  GetWindowRect(window.Handle(), &area);
  SendMessageW(window.Handle(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(window.Handle()),
               MAKELPARAM(area.left + 40, area.top + 40));
  uitest::PumpMessages(100);
  windowMenuVisit = nullptr;
  ASSERT_TRUE(visit.seen);
  EXPECT_FALSE(visit.hasOpenDownload) << "the window is open already";
  EXPECT_EQ(visit.pause.text, L"Resume");
  ASSERT_EQ(sink.received.size(), 1u);
  EXPECT_EQ(sink.received[0], "speed " + std::to_string(ID_SPEED_STEP_FIRST + 3));
  window.Destroy();
}

// Explorer forgets every icon when it restarts and then broadcasts "TaskbarCreated": the icon of a
// window minimised to the notification area comes back, with its tooltip; no icon is added for a
// window that showed none.
TEST(TrayIcon, ComesBackWhenTheTaskbarIsCreatedAgain) {
  FakeCommandSink sink;
  CMainDlg window;
  ASSERT_TRUE(uitest::OpenMainWindow(window, sink));
  NOTIFYICONDATAW probe{};
  probe.cbSize = sizeof probe;
  probe.hWnd = window.Handle();
  probe.uID = ID_TRAY_ICON;
  probe.uFlags = NIF_TIP;
  const UINT taskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
  EXPECT_EQ(window.TaskbarCreatedMessage(), taskbarCreated);

  SendMessageW(window.Handle(), taskbarCreated, 0, 0);
  EXPECT_FALSE(window.IsTrayIconInstalled()) << "no icon for a window that is not in the notification area";
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe));

  window.MinimiseToTray();
  window.SetTrayTooltip(L"42% completed");
  ASSERT_TRUE(window.IsTrayIconInstalled());
  // The restart: the notification area loses the icon behind the window's back.
  ASSERT_TRUE(Shell_NotifyIconW(NIM_DELETE, &probe));
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe));
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, taskbarCreated, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
  uitest::PumpMessages(100);
  EXPECT_TRUE(Shell_NotifyIconW(NIM_MODIFY, &probe)) << "the icon is back";
  EXPECT_TRUE(window.IsTrayIconInstalled());
  EXPECT_EQ(window.TrayTooltip(), L"42% completed");

  // A broadcast without a restart leaves the one icon in place.
  SendMessageW(window.Handle(), taskbarCreated, 0, 0);
  EXPECT_TRUE(window.IsTrayIconInstalled());
  window.RestoreFromTray();
  EXPECT_FALSE(Shell_NotifyIconW(NIM_MODIFY, &probe)) << "removed with the window's own removal";
  window.Destroy();
}

}  // namespace
