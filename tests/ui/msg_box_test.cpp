// The skinned message box: its layout rules, its icons and button colours, and real boxes shown
// modally, looked at and answered from a helper thread.
#include "ui/msg_box.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>

#include "resources/resource_ids.h"
#include "tests/ui/support/fake_command_sink.h"
#include "tests/ui/support/open_main_window.h"
#include "tests/ui/support/ui_test_support.h"
#include "ui/main_dialog.h"

using uitest::ChildRect;
using uitest::HasVisibleStyle;

namespace {

MsgBoxContent content(int type1, int type2, int type3, size_t messageLength, const wchar_t* title) {
  MsgBoxContent made;
  made.icon = kMsgBoxError;
  made.buttons = {MsgBoxButton{type1, L"One"}, MsgBoxButton{type2, L"Two"}, MsgBoxButton{type3, L"Three"}};
  made.message = std::wstring(messageLength, L'm');
  made.title = title;
  return made;
}

TEST(MsgBoxLayout, ButtonsStandLeftToRightByHowManyAreShown) {
  const struct {
    int types[3];
    std::vector<int> shown;
    std::vector<int> xs;
  } kCases[] = {
      {{0, 0, 0}, {}, {}},
      {{3, 0, 0}, {0}, {187}},
      {{0, 0, 2}, {2}, {187}},
      {{2, 0, 3}, {0, 2}, {137, 276}},
      {{1, 3, 0}, {0, 1}, {137, 276}},
      {{1, 3, 2}, {0, 1, 2}, {87, 216, 345}},
      {{9, 2, -1}, {1}, {187}},  // unknown types are hidden like type 0
  };
  for (const auto& c : kCases) {
    const MsgBoxLayout layout = LayOutMsgBox(content(c.types[0], c.types[1], c.types[2], 20, L""));
    EXPECT_EQ(layout.shownButtons, c.shown);
    EXPECT_EQ(layout.buttonX, c.xs);
  }
}

TEST(MsgBoxLayout, MessagePlaceAndSizeFollowTheTitleAndTheMessagesLength) {
  const struct {
    size_t length;
    const wchar_t* title;
    int y;
    int height;
    int points;
  } kCases[] = {
      {20, L"ERROR!", 80, 40, 11}, {20, L"", 65, 60, 11},   {100, L"", 65, 60, 11},   {101, L"", 55, 60, 11},
      {101, L"T", 70, 40, 11},     {150, L"T", 70, 40, 11}, {151, L"T", 70, 40, 10}, {151, L"", 55, 60, 10},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.length);
    const MsgBoxLayout layout = LayOutMsgBox(content(2, 0, 0, c.length, c.title));
    EXPECT_TRUE(layout.messageVisible);
    EXPECT_EQ(layout.titleVisible, c.title[0] != L'\0');
    EXPECT_EQ(layout.messageY, c.y);
    EXPECT_EQ(layout.messageHeight, c.height);
    EXPECT_EQ(layout.messagePoints, c.points);
  }
  EXPECT_FALSE(LayOutMsgBox(content(2, 0, 0, 0, L"")).messageVisible);
}

TEST(MsgBoxImages, IconKindsAndButtonColours) {
  const std::pair<int, int> kIcons[] = {{0, 0},    {1, 1073}, {2, 1074}, {3, 1075},
                                        {7, 1073}, {-1, 1073}, {4, 1073}};
  for (const auto& icon : kIcons) EXPECT_EQ(MsgBoxIconImage(icon.first), icon.second) << icon.first;
  EXPECT_EQ(MsgBoxButtonImages(1), (std::array<int, 3>{1071, 1072, 1081}));
  EXPECT_EQ(MsgBoxButtonImages(2), (std::array<int, 3>{1067, 1068, 1082}));
  EXPECT_EQ(MsgBoxButtonImages(3), (std::array<int, 3>{1069, 1070, 1083}));
  EXPECT_EQ(MsgBoxButtonImages(0), (std::array<int, 3>{0, 0, 0}));
}

// What a helper thread saw of a shown box.
struct Seen {
  bool found = false;
  RECT box{};
  std::map<int, RECT> places;
  std::map<int, bool> visible;
  std::map<int, std::wstring> texts;
  int messageFontHeight = 0;
  LOGFONTW titleFont{};
  LOGFONTW messageFont{};
  bool titleDrawnInItsRed = false;
  COLORREF iconPixel = 0;
  bool screenshotTaken = false;
};

std::wstring textOf(HWND window) {
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  return text;
}

// Whether any pixel that the control shows on the screen has exactly the colour.
bool showsColour(HWND control, COLORREF colour) {
  RECT client;
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  bool found = false;
  for (int y = 0; y < client.bottom && !found; ++y) {
    for (int x = 0; x < client.right && !found; ++x) found = GetPixel(dc, x, y) == colour;
  }
  ReleaseDC(control, dc);
  return found;
}

// Shows the box on this thread; a helper thread looks at it, then answers by clicking `answer`
// (a button, or the close button) or by sending `message`.
int showAndAnswer(CMsgBox& box, HWND owner, int answer, Seen* seen, const char* screenshot = nullptr,
                  UINT message = 0) {
  const DWORD boxThread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND shown = uitest::FindThreadDialogWithControl(boxThread, IDC_BOX_BUTTON1, 5000);
    if (shown == nullptr) return;
    seen->found = true;
    GetWindowRect(shown, &seen->box);
    for (int id : {IDC_BOX_ICON, IDC_BOX_TITLE, IDC_BOX_MESSAGE, IDC_BOX_CLOSE, IDC_BOX_BUTTON1, IDC_BOX_BUTTON2,
                   IDC_BOX_BUTTON3}) {
      HWND control = GetDlgItem(shown, id);
      seen->places[id] = ChildRect(control);
      seen->visible[id] = HasVisibleStyle(control);
      seen->texts[id] = textOf(control);
    }
    LOGFONTW font{};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(shown, IDC_BOX_MESSAGE), WM_GETFONT, 0, 0)),
               sizeof(font), &font);
    seen->messageFontHeight = font.lfHeight;
    seen->messageFont = font;
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(GetDlgItem(shown, IDC_BOX_TITLE), WM_GETFONT, 0, 0)),
               sizeof(seen->titleFont), &seen->titleFont);
    Sleep(200);
    seen->titleDrawnInItsRed = showsColour(GetDlgItem(shown, IDC_BOX_TITLE), RGB(151, 27, 30));
    HDC dc = GetDC(GetDlgItem(shown, IDC_BOX_ICON));
    seen->iconPixel = GetPixel(dc, 20, 10);
    ReleaseDC(GetDlgItem(shown, IDC_BOX_ICON), dc);
    if (screenshot != nullptr) {
      seen->screenshotTaken = uitest::TakeScreenshot(
          screenshot, shown, {{"root", 0, 0}, {"root", 479, 0}, {"root", 0, 161}, {"root", 479, 161}, {"skin", 240, 80}});
    }
    if (message != 0) {
      SendMessageW(shown, message, 0, 0);
    } else {
      SendMessageW(GetDlgItem(shown, answer), BM_CLICK, 0, 0);
    }
  });
  const int result = box.Show(owner);
  helper.join();
  return result;
}

void expectPlace(const Seen& seen, int id, RECT expected) {
  SCOPED_TRACE(id);
  const RECT& place = seen.places.at(id);
  EXPECT_EQ(place.left, expected.left);
  EXPECT_EQ(place.top, expected.top);
  EXPECT_EQ(place.right - place.left, expected.right);
  EXPECT_EQ(place.bottom - place.top, expected.bottom);
}

class MsgBoxTest : public ::testing::Test {
 protected:
  uitest::TestParent owner;
};

TEST_F(MsgBoxTest, TwoShownButtonsKeepTheirResultsAndTheTitleMovesTheMessage) {
  CMsgBox box(kMsgBoxError, kMsgBoxGreen, L"Retry", kMsgBoxNoButton, L"", kMsgBoxGrey, L"Cancel",
              L"Your computer doesn't have enough disk space.", L"ERROR!");
  Seen seen;
  EXPECT_EQ(showAndAnswer(box, owner.Handle(), IDC_BOX_BUTTON3, &seen), 3);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.box.right - seen.box.left, 480);
  EXPECT_EQ(seen.box.bottom - seen.box.top, 162);
  expectPlace(seen, IDC_BOX_BUTTON1, {137, 115, 124, 36});
  expectPlace(seen, IDC_BOX_BUTTON3, {276, 115, 124, 36});
  EXPECT_FALSE(seen.visible[IDC_BOX_BUTTON2]);
  expectPlace(seen, IDC_BOX_TITLE, {90, 55, 380, 20});
  expectPlace(seen, IDC_BOX_MESSAGE, {90, 80, 380, 40});
  expectPlace(seen, IDC_BOX_ICON, {10, 45, 70, 70});
  expectPlace(seen, IDC_BOX_CLOSE, {459, 2, 20, 19});
  EXPECT_EQ(seen.texts[IDC_BOX_BUTTON1], L"Retry");
  EXPECT_EQ(seen.texts[IDC_BOX_BUTTON3], L"Cancel");
  EXPECT_EQ(seen.texts[IDC_BOX_TITLE], L"ERROR!");
  EXPECT_EQ(seen.messageFontHeight, -15);
  EXPECT_STREQ(seen.messageFont.lfFaceName, L"Arial");
  EXPECT_EQ(seen.messageFont.lfWeight, FW_BOLD);
  EXPECT_STREQ(seen.titleFont.lfFaceName, L"Arial");
  EXPECT_EQ(seen.titleFont.lfHeight, -16);  // 12 points
  EXPECT_EQ(seen.titleFont.lfWeight, FW_BOLD);
  EXPECT_TRUE(seen.titleDrawnInItsRed);
}

TEST_F(MsgBoxTest, ThreeButtonsWithoutTitleAndALongMessage) {
  const std::wstring message =
      L"Are you sure you want to stop your download? What has arrived so far stays with the download service.";
  ASSERT_GT(message.size(), 100u);
  ASSERT_LE(message.size(), 150u);
  CMsgBox box(kMsgBoxError, kMsgBoxRed, L"Stop", kMsgBoxGrey, L"Pause", kMsgBoxGreen, L"Continue", message, L"");
  Seen seen;
  EXPECT_EQ(showAndAnswer(box, owner.Handle(), IDC_BOX_BUTTON2, &seen, "prompt-three-buttons"), 2);
  ASSERT_TRUE(seen.found);
  expectPlace(seen, IDC_BOX_BUTTON1, {87, 115, 124, 36});
  expectPlace(seen, IDC_BOX_BUTTON2, {216, 115, 124, 36});
  expectPlace(seen, IDC_BOX_BUTTON3, {345, 115, 124, 36});
  EXPECT_FALSE(seen.visible[IDC_BOX_TITLE]);
  expectPlace(seen, IDC_BOX_MESSAGE, {90, 55, 380, 60});
  EXPECT_EQ(seen.messageFontHeight, -15);
  if (uitest::ScreenshotsAvailable()) {
    EXPECT_TRUE(seen.screenshotTaken);
  }
}

TEST_F(MsgBoxTest, AVeryLongMessageIsSmallerAndTheCloseButtonAnswersZero) {
  CMsgBox box(kMsgBoxSuccess, kMsgBoxGreen, L"OK", std::wstring(151, L'b'), L"Done");
  Seen seen;
  EXPECT_EQ(showAndAnswer(box, owner.Handle(), IDC_BOX_CLOSE, &seen), 0);
  ASSERT_TRUE(seen.found);
  expectPlace(seen, IDC_BOX_BUTTON1, {187, 115, 124, 36});
  EXPECT_FALSE(seen.visible[IDC_BOX_BUTTON2]);
  EXPECT_FALSE(seen.visible[IDC_BOX_BUTTON3]);
  expectPlace(seen, IDC_BOX_MESSAGE, {90, 70, 380, 40});
  EXPECT_EQ(seen.messageFontHeight, -13);
}

TEST_F(MsgBoxTest, FirstButtonAnswersOneAndEscapeOrCloseAnswerZero) {
  CMsgBox first(kMsgBoxError, kMsgBoxGrey, L"Yes", kMsgBoxGreen, L"No", kMsgBoxNoButton, L"",
                L"Are you sure you want to quit?", L"");
  Seen seen;
  EXPECT_EQ(showAndAnswer(first, owner.Handle(), IDC_BOX_BUTTON1, &seen), 1);
  CMsgBox escape(kMsgBoxError, kMsgBoxGrey, L"OK", L"Escape closes", L"");
  EXPECT_EQ(showAndAnswer(escape, owner.Handle(), 0, &seen, nullptr, WM_CLOSE), 0);
}

TEST_F(MsgBoxTest, NoIconNoButtonsAndNoTextLeaveOnlyTheCloseButton) {
  CMsgBox box(kMsgBoxNoIcon, kMsgBoxNoButton, L"", kMsgBoxNoButton, L"", kMsgBoxNoButton, L"", L"", L"");
  Seen seen;
  EXPECT_EQ(showAndAnswer(box, owner.Handle(), IDC_BOX_CLOSE, &seen), 0);
  ASSERT_TRUE(seen.found);
  for (int id : {IDC_BOX_ICON, IDC_BOX_TITLE, IDC_BOX_MESSAGE, IDC_BOX_BUTTON1, IDC_BOX_BUTTON2, IDC_BOX_BUTTON3}) {
    EXPECT_FALSE(seen.visible[id]) << id;
  }
  EXPECT_TRUE(seen.visible[IDC_BOX_CLOSE]);
}

TEST_F(MsgBoxTest, IconKindSevenShowsTheOrangeWarningIcon) {
  CMsgBox box(7, kMsgBoxGrey, L"OK", L"Something odd happened.", L"");
  Seen seen;
  EXPECT_EQ(showAndAnswer(box, owner.Handle(), IDC_BOX_BUTTON1, &seen), 1);
  ASSERT_TRUE(seen.found);
  EXPECT_TRUE(seen.visible[IDC_BOX_ICON]);
  EXPECT_GT(GetRValue(seen.iconPixel), 200);
  EXPECT_GT(GetGValue(seen.iconPixel), 100);
  EXPECT_LT(GetGValue(seen.iconPixel), 170);
  EXPECT_LT(GetBValue(seen.iconPixel), 90);
}

TEST_F(MsgBoxTest, CentredOverAVisibleOwnerOrElseInTheWorkArea) {
  SetWindowPos(owner.Handle(), nullptr, 300, 200, 600, 400, SWP_NOZORDER);
  CMsgBox over(kMsgBoxError, kMsgBoxGrey, L"OK", L"over the owner", L"");
  Seen seen;
  showAndAnswer(over, owner.Handle(), IDC_BOX_BUTTON1, &seen);
  EXPECT_EQ(seen.box.left, 300 + (600 - 480) / 2);
  EXPECT_EQ(seen.box.top, 200 + (400 - 162) / 2);

  // An owner near the edge: the box stays wholly inside the work area.
  SetWindowPos(owner.Handle(), nullptr, -250, -100, 300, 200, SWP_NOZORDER);
  RECT work;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  CMsgBox edge(kMsgBoxError, kMsgBoxGrey, L"OK", L"near the edge", L"");
  showAndAnswer(edge, owner.Handle(), IDC_BOX_BUTTON1, &seen);
  EXPECT_EQ(seen.box.left, work.left);
  EXPECT_EQ(seen.box.top, work.top);

  ShowWindow(owner.Handle(), SW_HIDE);
  CMsgBox hidden(kMsgBoxError, kMsgBoxGrey, L"OK", L"owner hidden", L"");
  showAndAnswer(hidden, owner.Handle(), IDC_BOX_BUTTON1, &seen);
  EXPECT_EQ(seen.box.left, work.left + (work.right - work.left - 480) / 2);
  EXPECT_EQ(seen.box.top, work.top + (work.bottom - work.top - 162) / 2);
}

TEST(MsgBoxFromAnotherThread, IsOwnedByTheMainWindowWhoseThreadGoesOn) {
  FakeCommandSink sink;
  CMainDlg window;
  ASSERT_TRUE(uitest::OpenMainWindow(window, sink));
  std::atomic<int> result{-1};
  Seen seen;
  // As the client start-up does: its prompts run on its own thread, over the main window.
  std::thread startUp([&] {
    window.SetStatusText(L"Starting download...");
    CMsgBox box(kMsgBoxError, kMsgBoxGreen, L"Retry", kMsgBoxGrey, L"Cancel", kMsgBoxNoButton, L"",
                L"Cannot connect to server, please retry later.", L"");
    result = showAndAnswer(box, window.Handle(), IDC_BOX_BUTTON2, &seen);
  });
  EXPECT_TRUE(uitest::PumpUntil([&] { return result.load() != -1; }, 15000));
  startUp.join();
  EXPECT_EQ(result.load(), 2);
  EXPECT_TRUE(seen.found);
  EXPECT_EQ(window.StatusText(), L"Starting download...");
  EXPECT_TRUE(IsWindowEnabled(window.Handle()));  // the owner is given back when the box ends
  window.Destroy();
}

}  // namespace
