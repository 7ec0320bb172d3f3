// The main window: its controls and their places, its operations, the commands and ticks it passes
// on, calls from other threads, dragging, the notification area, and screenshots of its states.
#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "resources/resource_ids.h"
#include "tests/ui/support/fake_command_sink.h"
#include "tests/ui/support/ui_test_support.h"

using uitest::ChildRect;
using uitest::HasVisibleStyle;
using uitest::PumpUntil;

namespace {

std::wstring textOf(HWND window) {
  wchar_t text[256] = L"";
  GetWindowTextW(window, text, 256);
  return text;
}

// Whether the notification area still knows an icon of the window: modifying an absent icon fails.
bool trayIconExists(HWND owner) {
  NOTIFYICONDATAW data{};
  data.cbSize = sizeof(data);
  data.hWnd = owner;
  data.uID = ID_TRAY_ICON;
  data.uFlags = NIF_TIP;
  return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.SetCommandSink(&sink);
    ASSERT_TRUE(window.Create());
  }
  void TearDown() override { window.Destroy(); }

  HWND Item(int id) const { return GetDlgItem(window.Handle(), id); }
  HWND Banner() const { return ChildWindowFromPointEx(window.Handle(), POINT{250, 100}, CWP_ALL); }
  void ShowWindowNow() {
    window.Show();
    window.BringToForeground();
    uitest::PumpMessages(100);
  }

  FakeCommandSink sink;
  CMainDlg window;
};

TEST_F(MainWindowTest, EveryControlStandsAtItsPlaceInItsInitialState) {
  const struct {
    int id;
    RECT place;
    bool visible;
  } kControls[] = {
      {IDC_MINIMISE, {458, 2, 478, 21}, true},     {IDC_CLOSE, {482, 2, 502, 21}, true},
      {IDC_PART_CAPTION, {5, 214, 92, 234}, false}, {IDC_PART_PROGRESS, {101, 212, 101, 230}, true},
      {IDC_PAUSE, {448, 208, 472, 232}, false},     {IDC_RESUME, {448, 208, 472, 232}, false},
      {IDC_TOTAL_CAPTION, {5, 248, 92, 268}, false}, {IDC_TOTAL_PROGRESS, {101, 246, 101, 264}, true},
      {IDC_STATUS_TEXT, {10, 273, 442, 293}, true},
  };
  for (const auto& control : kControls) {
    SCOPED_TRACE(control.id);
    const RECT place = ChildRect(Item(control.id));
    EXPECT_EQ(place.left, control.place.left);
    EXPECT_EQ(place.top, control.place.top);
    EXPECT_EQ(place.right, control.place.right);
    EXPECT_EQ(place.bottom, control.place.bottom);
    EXPECT_EQ(HasVisibleStyle(Item(control.id)), control.visible);
  }
  const RECT banner = ChildRect(Banner());
  EXPECT_EQ(banner.left, 9);
  EXPECT_EQ(banner.top, 42);
  EXPECT_EQ(banner.right - banner.left, 485);
  EXPECT_EQ(banner.bottom - banner.top, 145);
  EXPECT_EQ(textOf(Item(IDC_TOTAL_CAPTION)), L"Total");
  EXPECT_EQ(textOf(Item(IDC_STATUS_TEXT)), L"");
  EXPECT_EQ(textOf(Item(IDC_PART_CAPTION)), L"");
}

TEST_F(MainWindowTest, IsAFramelessRoundedWindowTitledAfterTheGame) {
  EXPECT_FALSE(IsWindowVisible(window.Handle()));  // hidden until the run begins
  RECT outer;
  GetWindowRect(window.Handle(), &outer);
  EXPECT_EQ(outer.right - outer.left, 503);
  EXPECT_EQ(outer.bottom - outer.top, 300);
  EXPECT_EQ(GetWindowLongPtrW(window.Handle(), GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
  EXPECT_EQ(textOf(window.Handle()), L"Iron Fable Downloader");

  HRGN region = CreateRectRgn(0, 0, 0, 0);
  ASSERT_NE(GetWindowRgn(window.Handle(), region), ERROR);
  EXPECT_FALSE(PtInRegion(region, 0, 0));
  EXPECT_FALSE(PtInRegion(region, 502, 0));
  EXPECT_FALSE(PtInRegion(region, 0, 299));
  EXPECT_FALSE(PtInRegion(region, 502, 299));
  EXPECT_TRUE(PtInRegion(region, 7, 7));
  EXPECT_TRUE(PtInRegion(region, 251, 0));
  EXPECT_TRUE(PtInRegion(region, 502, 150));
  DeleteObject(region);
}

TEST_F(MainWindowTest, LabelsAreBoldNinePointVerdanaAtNinetySixDpi) {
  for (int id : {IDC_STATUS_TEXT, IDC_PART_CAPTION, IDC_TOTAL_CAPTION}) {
    SCOPED_TRACE(id);
    LOGFONTW font{};
    ASSERT_NE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(Item(id), WM_GETFONT, 0, 0)), sizeof(font), &font), 0);
    EXPECT_EQ(font.lfHeight, -12);
    EXPECT_EQ(font.lfWeight, FW_BOLD);
    EXPECT_STREQ(font.lfFaceName, L"MS Verdana");
  }
}

// The darkest and the top-left pixel of what a control shows on the screen.
struct LabelPixels {
  COLORREF corner;
  int darkest;  // the smallest sum of red, green and blue
};
LabelPixels labelPixels(HWND label) {
  RECT client;
  GetClientRect(label, &client);
  HDC dc = GetDC(label);
  LabelPixels pixels{GetPixel(dc, 0, 0), 3 * 255};
  for (int y = 0; y < client.bottom; ++y) {
    for (int x = 0; x < client.right; ++x) {
      const COLORREF pixel = GetPixel(dc, x, y);
      pixels.darkest = std::min(pixels.darkest, GetRValue(pixel) + GetGValue(pixel) + GetBValue(pixel));
    }
  }
  ReleaseDC(label, dc);
  return pixels;
}

TEST_F(MainWindowTest, LabelsDrawBlackTextOnLightGreyAlignedByTheirRole) {
  window.ShowProgressRows();
  window.SetPartCaption(0, 2);
  ShowWindowNow();
  const struct {
    int id;
    LONG_PTR alignment;
  } kLabels[] = {{IDC_PART_CAPTION, SS_LEFT}, {IDC_TOTAL_CAPTION, SS_CENTER}, {IDC_STATUS_TEXT, SS_CENTER}};
  for (const auto& label : kLabels) {
    SCOPED_TRACE(label.id);
    EXPECT_EQ(GetWindowLongPtrW(Item(label.id), GWL_STYLE) & SS_TYPEMASK, label.alignment);
    const LabelPixels pixels = labelPixels(Item(label.id));
    EXPECT_EQ(pixels.corner, RGB(244, 244, 244));
    EXPECT_LT(pixels.darkest, 3 * 40);  // the text's strokes are black
  }
}

TEST_F(MainWindowTest, ResetProgressViewClearsTheTotalButKeepsTheCurrentFileBar) {
  window.SetPartProgress(40);
  window.SetTotalProgress(70);
  window.ShowProgressRows();
  window.ShowResumeButton(true);
  window.SetStatusText(L"something else");
  window.ResetProgressView();
  EXPECT_EQ(window.PartProgress(), 40);
  EXPECT_EQ(ChildRect(Item(IDC_PART_PROGRESS)).right, 101 + 136);
  EXPECT_EQ(window.TotalProgress(), 0);
  EXPECT_EQ(ChildRect(Item(IDC_TOTAL_PROGRESS)).right, 101);
  EXPECT_FALSE(HasVisibleStyle(Item(IDC_PART_CAPTION)));
  EXPECT_FALSE(HasVisibleStyle(Item(IDC_TOTAL_CAPTION)));
  EXPECT_FALSE(HasVisibleStyle(Item(IDC_PAUSE)));
  EXPECT_EQ(window.StatusText(), L"Starting download...");
}

TEST_F(MainWindowTest, PartCaptionCountsFromOne) {
  window.SetPartCaption(0, 3);
  EXPECT_EQ(textOf(Item(IDC_PART_CAPTION)), L"Part 1/3");
  window.SetPartCaption(2, 3);
  EXPECT_EQ(textOf(Item(IDC_PART_CAPTION)), L"Part 3/3");
}

TEST_F(MainWindowTest, ShowProgressRowsShowsTheCaptionsAndStartsTheProgressTimer) {
  window.ShowProgressRows();
  EXPECT_TRUE(HasVisibleStyle(Item(IDC_PART_CAPTION)));
  EXPECT_TRUE(HasVisibleStyle(Item(IDC_TOTAL_CAPTION)));
  EXPECT_EQ(window.StatusText(), L"Starting download...");
  EXPECT_TRUE(PumpUntil([this] { return sink.Count("progress-tick") >= 2; }, 5000));
  EXPECT_EQ(sink.Count("retry-tick"), 0);
}

TEST_F(MainWindowTest, RetryTimerTicksUntilStopped) {
  window.StartTimer(CMainDlg::kRetryTimer, CMainDlg::kTimerPeriodMs);
  ASSERT_TRUE(PumpUntil([this] { return sink.Count("retry-tick") >= 1; }, 2500));
  window.StopTimer(CMainDlg::kRetryTimer);
  const int ticks = sink.Count("retry-tick");
  uitest::PumpMessages(1500);
  EXPECT_EQ(sink.Count("retry-tick"), ticks);
  EXPECT_EQ(sink.Count("progress-tick"), 0);
}

TEST_F(MainWindowTest, ClicksTrayCommandsAndTheEndOfTheLogonReachTheSink) {
  ShowWindowNow();
  window.ShowResumeButton(true);
  const struct {
    UINT message;
    WPARAM wParam;
    HWND target;
    const char* expected;
  } kCases[] = {
      {BM_CLICK, 0, Item(IDC_PAUSE), "pause"},
      {BM_CLICK, 0, Item(IDC_RESUME), "resume"},
      {BM_CLICK, 0, Item(IDC_CLOSE), "close"},
      {BM_CLICK, 0, Item(IDC_MINIMISE), "minimise"},
      {WM_COMMAND, ID_TRAY_OPEN_DOWNLOAD, window.Handle(), "restore"},
      {WM_COMMAND, ID_TRAY_PAUSE_RESUME, window.Handle(), "toggle"},
      {WM_ENDSESSION, FALSE, window.Handle(), "session-ending"},  // acted on even when cancelled
  };
  for (const auto& step : kCases) {
    SCOPED_TRACE(step.expected);
    sink.received.clear();
    SendMessageW(step.target, step.message, step.wParam, 0);
    ASSERT_EQ(sink.received.size(), 1u);
    EXPECT_EQ(sink.received[0], step.expected);
  }
}

TEST_F(MainWindowTest, TheSystemsCloseRequestsAreIgnored) {
  ShowWindowNow();
  SendMessageW(window.Handle(), WM_SYSCOMMAND, SC_CLOSE, 0);
  SendMessageW(window.Handle(), WM_CLOSE, 0, 0);
  SendMessageW(window.Handle(), WM_COMMAND, IDCANCEL, 0);
  SendMessageW(window.Handle(), WM_COMMAND, IDOK, 0);
  uitest::PumpMessages(50);
  EXPECT_TRUE(IsWindow(window.Handle()));
  EXPECT_TRUE(IsWindowVisible(window.Handle()));
  EXPECT_TRUE(sink.received.empty());
}

TEST_F(MainWindowTest, ResumeButtonTakesThePausePlaceWhilePaused) {
  window.ShowResumeButton(true);
  EXPECT_TRUE(HasVisibleStyle(Item(IDC_RESUME)));
  EXPECT_EQ(ChildRect(Item(IDC_RESUME)).left, ChildRect(Item(IDC_PAUSE)).left);
  window.ShowResumeButton(false);
  EXPECT_FALSE(HasVisibleStyle(Item(IDC_RESUME)));
  ShowWindow(Item(IDC_PAUSE), SW_SHOW);
  window.ShowResumeButton(true);
  window.HideTransportButtons();
  EXPECT_FALSE(HasVisibleStyle(Item(IDC_RESUME)));
  EXPECT_FALSE(HasVisibleStyle(Item(IDC_PAUSE)));
}

TEST_F(MainWindowTest, TheFourButtonsShowTheHandCursor) {
  HCURSOR hand = LoadCursorW(nullptr, IDC_HAND);
  for (int id : {IDC_PAUSE, IDC_RESUME, IDC_MINIMISE, IDC_CLOSE}) {
    SCOPED_TRACE(id);
    SetCursor(LoadCursorW(nullptr, IDC_ARROW));
    EXPECT_TRUE(SendMessageW(Item(id), WM_SETCURSOR, reinterpret_cast<WPARAM>(Item(id)),
                             MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
    EXPECT_EQ(GetCursor(), hand);
  }
}

TEST_F(MainWindowTest, OperationsFromAnotherThreadRunOnTheWindowThreadInOrder) {
  std::atomic<bool> done{false};
  DWORD workThread = 0;
  std::wstring statusSeenInOrder;
  std::thread caller([&] {
    window.SetStatusText(L"first");
    window.SetPartCaption(1, 4);
    window.SetPartProgress(30);
    window.ShowProgressRows();  // its timer must belong to the window's thread
    window.StartTimer(CMainDlg::kRetryTimer, CMainDlg::kTimerPeriodMs);
    window.SetStatusText(L"second");
    window.RunOnWindowThread([&] {
      workThread = GetCurrentThreadId();
      statusSeenInOrder = window.StatusText();
    });
    done = true;
  });
  ASSERT_TRUE(PumpUntil([&] { return done.load(); }, 5000));
  caller.join();
  EXPECT_EQ(workThread, GetCurrentThreadId());
  EXPECT_EQ(statusSeenInOrder, L"second");
  EXPECT_EQ(textOf(Item(IDC_PART_CAPTION)), L"Part 2/4");
  EXPECT_EQ(ChildRect(Item(IDC_PART_PROGRESS)).right, 101 + 102);
  EXPECT_TRUE(PumpUntil([this] { return sink.Count("progress-tick") >= 1 && sink.Count("retry-tick") >= 1; }, 3000));
}

TEST_F(MainWindowTest, MinimiseThenRestoreLeavesNoTrayIcon) {
  ShowWindowNow();
  window.MinimiseToTray();
  EXPECT_FALSE(IsWindowVisible(window.Handle()));
  EXPECT_TRUE(window.IsTrayIconInstalled());
  EXPECT_TRUE(trayIconExists(window.Handle()));
  EXPECT_EQ(window.TrayTooltip(), L"");

  window.RestoreFromTray();
  uitest::PumpMessages(50);
  EXPECT_TRUE(IsWindowVisible(window.Handle()));
  EXPECT_FALSE(IsIconic(window.Handle()));
  EXPECT_FALSE(window.IsTrayIconInstalled());
  EXPECT_FALSE(trayIconExists(window.Handle()));
}

TEST_F(MainWindowTest, MinimisingTwiceStillLeavesNoIconAfterRestoring) {
  ShowWindowNow();
  window.MinimiseToTray();
  window.SetTrayTooltip(L"12% completed, Paused");
  window.MinimiseToTray();
  EXPECT_TRUE(window.IsTrayIconInstalled());
  EXPECT_EQ(window.TrayTooltip(), L"");
  window.RestoreFromTray();
  EXPECT_FALSE(trayIconExists(window.Handle()));
}

TEST_F(MainWindowTest, ShownAgainFromOutsideTheIconGoesAway) {
  ShowWindowNow();
  window.MinimiseToTray();
  ASSERT_TRUE(window.IsTrayIconInstalled());
  ShowWindow(window.Handle(), SW_RESTORE);  // what a second start of the program does
  EXPECT_FALSE(window.IsTrayIconInstalled());
  EXPECT_FALSE(trayIconExists(window.Handle()));
}

TEST_F(MainWindowTest, DestroyingTheWindowRemovesItsTrayIcon) {
  ShowWindowNow();
  window.MinimiseToTray();
  const HWND handle = window.Handle();
  ASSERT_TRUE(trayIconExists(handle));
  window.Destroy();
  EXPECT_FALSE(IsWindow(handle));
  EXPECT_FALSE(window.IsTrayIconInstalled());
}

TEST_F(MainWindowTest, TrayIconClicksRestoreAndOtherIconsAreIgnored) {
  const UINT tray = window.TrayNotificationMessage();
  ASSERT_NE(tray, 0u);
  const struct {
    WPARAM icon;
    LPARAM event;
    int restores;
  } kCases[] = {
      {ID_TRAY_ICON, WM_LBUTTONUP, 1},
      {ID_TRAY_ICON, WM_LBUTTONDBLCLK, 1},
      {ID_TRAY_ICON, WM_MOUSEMOVE, 0},
      {ID_TRAY_ICON, WM_LBUTTONDOWN, 0},
      {ID_TRAY_ICON + 1, WM_LBUTTONUP, 0},
      {ID_TRAY_ICON + 1, WM_RBUTTONUP, 0},
  };
  for (const auto& notification : kCases) {
    SCOPED_TRACE(notification.event);
    sink.received.clear();
    SendMessageW(window.Handle(), tray, notification.icon, notification.event);
    EXPECT_EQ(sink.Count("restore"), notification.restores);
    EXPECT_EQ(sink.received.size(), static_cast<size_t>(notification.restores));
  }
}

// Presses the left button at a window point, moves by (dx, dy) and releases, with real input.
void dragWithMouse(HWND window, POINT from, int dx, int dy) {
  ClientToScreen(window, &from);
  SetCursorPos(from.x, from.y);
  uitest::PumpMessages(50);
  INPUT input{};
  input.type = INPUT_MOUSE;
  input.mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
  SendInput(1, &input, sizeof(input));
  uitest::PumpMessages(50);
  for (int step = 1; step <= 5; ++step) {
    SetCursorPos(from.x + dx * step / 5, from.y + dy * step / 5);
    uitest::PumpMessages(30);
  }
  input.mi.dwFlags = MOUSEEVENTF_LEFTUP;
  SendInput(1, &input, sizeof(input));
  uitest::PumpMessages(100);
}

TEST_F(MainWindowTest, DraggingTheStatusLineMovesTheWindowButTheBannerDoesNot) {
  ShowWindowNow();
  window.SetStatusText(L"drag me");
  RECT before;
  GetWindowRect(window.Handle(), &before);

  dragWithMouse(window.Handle(), POINT{200, 282}, 40, 25);  // on the status line
  RECT moved;
  GetWindowRect(window.Handle(), &moved);
  EXPECT_EQ(moved.left - before.left, 40);
  EXPECT_EQ(moved.top - before.top, 25);
  EXPECT_EQ(moved.right - moved.left, 503);
  EXPECT_EQ(GetCapture(), nullptr);

  dragWithMouse(window.Handle(), POINT{250, 100}, 40, 25);  // on the banner
  RECT after;
  GetWindowRect(window.Handle(), &after);
  EXPECT_EQ(after.left, moved.left);
  EXPECT_EQ(after.top, moved.top);
  EXPECT_TRUE(sink.received.empty());
}

// The bar's fill ends where its width says: blue just inside, the background's trough just after.
void expectBar(std::vector<uitest::PixelExpectation>& checks, int top, int percent) {
  const int width = 341 * percent / 100;
  if (width >= 3) checks.push_back({"fill", 101 + width - 3, top + 9});
  if (width + 3 <= 340) checks.push_back({"trough", 101 + width + 3, top + 9});
}

std::vector<uitest::PixelExpectation> windowChecks(int partPercent, int totalPercent) {
  std::vector<uitest::PixelExpectation> checks = {
      {"root", 0, 0}, {"root", 502, 0}, {"root", 0, 299}, {"root", 502, 299}, {"skin", 6, 6}, {"skin", 496, 293},
  };
  expectBar(checks, 212, partPercent);
  expectBar(checks, 246, totalPercent);
  return checks;
}

TEST_F(MainWindowTest, ScreenshotsOfStartingDownloadingAndPaused) {
  if (!uitest::ScreenshotsAvailable()) GTEST_SKIP() << "screenshots are taken under the test wrapper only";
  ShowWindowNow();
  window.ResetProgressView();
  window.SetPartProgress(3);
  EXPECT_TRUE(uitest::TakeScreenshot("main-starting", window.Handle(), windowChecks(3, 0)));

  window.ShowProgressRows();
  window.SetPartCaption(1, 3);
  window.SetPartProgress(50);
  window.SetTotalProgress(25);
  window.SetStatusText(L"2 min left - 120.5 MB of 480.0 MB (1.2 MB/sec)");
  EXPECT_TRUE(uitest::TakeScreenshot("main-downloading", window.Handle(), windowChecks(50, 25)));

  window.ShowResumeButton(true);
  window.SetPartProgress(99);
  window.SetTotalProgress(1);
  window.SetStatusText(L"Paused - 361.0 MB of 480.0 MB");
  EXPECT_TRUE(uitest::TakeScreenshot("main-paused", window.Handle(), windowChecks(99, 1)));
}

}  // namespace
