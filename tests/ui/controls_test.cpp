// The skin's controls: progress bar widths and repaints, image button states and clicks, caption
// and label fonts, label layout, and the image view.
#include <gtest/gtest.h>

#include "resources/resource_ids.h"
#include "tests/ui/support/ui_test_support.h"
#include "ui/bitmap_button.h"
#include "ui/color_label.h"
#include "ui/font_description.h"
#include "ui/image_view.h"
#include "ui/progress_bar.h"

using uitest::ChildRect;
using uitest::PaintCounter;
using uitest::TestParent;

namespace {

TEST(ProgressBarWidth, FollowsThePercentageOfTheFullWidth) {
  const struct {
    int percent;
    int width;
  } kCases[] = {{0, 0}, {1, 3}, {50, 170}, {99, 337}, {100, 341}, {150, 341}, {-20, 0}};
  for (const auto& c : kCases) EXPECT_EQ(ProgressBarWidth(341, c.percent), c.width) << c.percent;
}

class ProgressBarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    bar.SetPlacement(20, 30);
    ASSERT_TRUE(bar.Attach(parent.AddChild(L"Static", L"text", SS_LEFT, 1005, 0, 0, 100, 10)));
  }
  RECT Place() const { return ChildRect(bar.Handle()); }

  TestParent parent;
  CTSProgressBar bar;
};

TEST_F(ProgressBarTest, AttachingClearsTheTextAndLaysTheBarOutForItsValue) {
  wchar_t text[16] = L"x";
  GetWindowTextW(bar.Handle(), text, 16);
  EXPECT_STREQ(text, L"");
  EXPECT_EQ(Place().left, 20);
  EXPECT_EQ(Place().top, 30);
  EXPECT_EQ(Place().right, 20);  // 0 %: nothing of the bar shows
  EXPECT_EQ(Place().bottom, 30 + 18);
}

TEST_F(ProgressBarTest, WidthsForTheUsualValues) {
  const struct {
    int percent;
    int stored;
    int width;
  } kCases[] = {{1, 1, 3}, {50, 50, 170}, {99, 99, 337}, {100, 100, 341}, {150, 100, 341}, {0, 0, 0}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.percent);
    bar.SetPos(c.percent);
    EXPECT_EQ(bar.Pos(), c.stored);
    EXPECT_EQ(Place().right - Place().left, c.width);
    EXPECT_EQ(Place().bottom - Place().top, 18);
  }
}

TEST_F(ProgressBarTest, TheSameValueNeitherMovesNorRepaints) {
  bar.SetPos(40);
  PaintCounter paints(bar.Handle());
  const RECT before = Place();
  bar.SetPos(40);
  uitest::PumpMessages(50);
  EXPECT_EQ(paints.Count(), 0);
  EXPECT_EQ(Place().right, before.right);

  bar.SetPos(41);
  EXPECT_EQ(paints.Count(), 1);  // repainted at once, not later
}

TEST_F(ProgressBarTest, AValueAbove100IsStoredAs100SoRepeatingItRepaintsAgain) {
  bar.SetPos(150);
  PaintCounter paints(bar.Handle());
  bar.SetPos(150);
  EXPECT_EQ(paints.Count(), 1);
  EXPECT_EQ(bar.Pos(), 100);
  EXPECT_EQ(Place().right - Place().left, 341);
}

TEST_F(ProgressBarTest, NewPlacementWaitsForTheNextChangeOfValue) {
  bar.SetPos(10);
  bar.SetPlacement(60, 70);
  EXPECT_EQ(Place().left, 20);
  bar.SetPos(10);
  EXPECT_EQ(Place().left, 20);
  bar.SetPos(11);
  EXPECT_EQ(Place().left, 60);
  EXPECT_EQ(Place().top, 70);
}

TEST(ButtonImageChoice, FollowsDisabledPressedHoverAndFocus) {
  const ButtonImageIndexes three{0, 2, 1, 3};
  const ButtonImageIndexes unset{-1, -1, -1, -1};
  const ButtonImageIndexes hoverAsPressed{0, 1, 1, -1};
  const struct {
    const char* name;
    ButtonImageIndexes indexes;
    ButtonVisualState state;
    int image;
  } kCases[] = {
      {"normal", three, {false, false, false, false, true}, 0},
      {"hover in hover mode", three, {false, false, true, false, true}, 1},
      {"focus ignored in hover mode", three, {false, false, false, true, true}, 0},
      {"focus shows hover without hover mode", three, {false, false, false, true, false}, 1},
      {"pointer ignored without hover mode", three, {false, false, true, false, false}, 0},
      {"pressed wins over hover", three, {false, true, true, false, true}, 2},
      {"disabled wins over pressed", three, {true, true, true, false, true}, 3},
      {"disabled without its image", hoverAsPressed, {true, false, false, false, true}, 0},
      {"pressed with hover image as pressed", hoverAsPressed, {false, true, false, false, true}, 1},
      {"nothing set", unset, {false, true, true, true, true}, 0},
  };
  for (const auto& c : kCases) EXPECT_EQ(ChooseButtonImage(c.indexes, c.state), c.image) << c.name;
}

TEST(PointsToPixels, UsesAFixed96Dpi) {
  const struct {
    int points;
    int pixels;
  } kCases[] = {{8, -11}, {9, -12}, {10, -13}, {11, -15}, {12, -16}};
  for (const auto& c : kCases) EXPECT_EQ(PointsToPixelHeight(c.points), c.pixels) << c.points;
}

TEST(FontDescription, SetsOneFieldAtATimeAndIgnoresSizesBelowOne) {
  FontDescription font;
  font.SetFace(L"Vernada");
  font.SetPoints(11);
  font.SetBold(true);
  const HFONT first = font.Font();
  font.SetPoints(0);
  font.SetPoints(-4);
  EXPECT_EQ(font.Description().lfHeight, -15);
  font.SetItalic(true);
  EXPECT_NE(font.Font(), first);
  LOGFONTW built{};
  ASSERT_NE(GetObjectW(font.Font(), sizeof(built), &built), 0);
  EXPECT_STREQ(built.lfFaceName, L"Vernada");
  EXPECT_EQ(built.lfCharSet, DEFAULT_CHARSET);
  EXPECT_EQ(built.lfHeight, -15);
  EXPECT_EQ(built.lfWeight, FW_BOLD);
  EXPECT_TRUE(built.lfItalic);
  EXPECT_FALSE(built.lfUnderline);
}

class ImageButtonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(button.Attach(parent.AddChild(L"Button", L"", BS_OWNERDRAW, 77, 50, 50, 24, 24)));
    std::vector<SkinImage> images;
    for (int id : {IDB_PAUSE_NORMAL, IDB_PAUSE_HOVER, IDB_PAUSE_PRESSED}) images.push_back(LoadSkinImage(id));
    button.SetImages(std::move(images));
    button.SetImageIndexes(ButtonImageIndexes{0, 2, 1, -1});
    button.SetHoverMode(true);
  }
  void Send(UINT message, int x, int y) { SendMessageW(button.Handle(), message, 0, MAKELPARAM(x, y)); }
  int Clicks() const { return static_cast<int>(parent.Commands().size()); }

  TestParent parent;
  CBitmapButtonEx button;
};

TEST_F(ImageButtonTest, ClicksOnlyWhenReleasedInside) {
  const struct {
    const char* name;
    std::vector<POINT> movesWhileHeld;
    POINT release;
    int clicks;
  } kCases[] = {
      {"press and release inside", {}, {12, 12}, 1},
      {"dragged out and released outside", {{40, 12}}, {40, 12}, 0},
      {"dragged out and back in", {{40, 12}, {10, 10}}, {10, 10}, 1},
      {"released outside without a move", {}, {-5, 12}, 0},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const int before = Clicks();
    Send(WM_LBUTTONDOWN, 12, 12);
    EXPECT_TRUE(button.IsPressed());
    EXPECT_EQ(GetCapture(), button.Handle());
    for (POINT move : c.movesWhileHeld) Send(WM_MOUSEMOVE, move.x, move.y);
    Send(WM_LBUTTONUP, c.release.x, c.release.y);
    EXPECT_EQ(Clicks() - before, c.clicks);
    EXPECT_FALSE(button.IsPressed());
    EXPECT_EQ(GetCapture(), nullptr);
  }
  for (int command : parent.Commands()) EXPECT_EQ(command, 77);
}

TEST_F(ImageButtonTest, PressedStateFollowsThePointerWhileHeld) {
  Send(WM_LBUTTONDOWN, 5, 5);
  EXPECT_EQ(button.CurrentImage(), 2);
  Send(WM_MOUSEMOVE, 30, 5);
  EXPECT_FALSE(button.IsPressed());
  EXPECT_EQ(button.CurrentImage(), 1);  // still hovering as far as the button knows
  Send(WM_MOUSEMOVE, 5, 5);
  EXPECT_TRUE(button.IsPressed());
  ReleaseCapture();  // capture taken away: no click, no longer pressed
  EXPECT_FALSE(button.IsPressed());
  EXPECT_EQ(Clicks(), 0);
}

TEST_F(ImageButtonTest, HoverComesAndGoesWithThePointer) {
  EXPECT_EQ(button.CurrentImage(), 0);
  Send(WM_MOUSEMOVE, 3, 3);
  EXPECT_TRUE(button.IsHovering());
  EXPECT_EQ(button.CurrentImage(), 1);
  Send(WM_MOUSELEAVE, 0, 0);
  EXPECT_FALSE(button.IsHovering());
  EXPECT_EQ(button.CurrentImage(), 0);
}

TEST_F(ImageButtonTest, DoubleClickPressesLikeAClickAndSpaceDoesNothing) {
  Send(WM_LBUTTONDBLCLK, 5, 5);
  EXPECT_TRUE(button.IsPressed());
  Send(WM_LBUTTONUP, 5, 5);
  EXPECT_EQ(Clicks(), 1);
  SetFocus(button.Handle());
  SendMessageW(button.Handle(), WM_KEYDOWN, VK_SPACE, 0);
  SendMessageW(button.Handle(), WM_CHAR, L' ', 0);
  SendMessageW(button.Handle(), WM_KEYUP, VK_SPACE, 0);
  uitest::PumpMessages(20);
  EXPECT_EQ(Clicks(), 1);
}

TEST_F(ImageButtonTest, BmClickGoesThroughTheButtonsOwnPressAndRelease) {
  SendMessageW(button.Handle(), BM_CLICK, 0, 0);
  EXPECT_EQ(Clicks(), 1);
  EXPECT_EQ(GetCapture(), nullptr);
}

TEST(CaptionButton, TakesTheTextAndTheMessageBoxCaptionStyle) {
  TestParent parent;
  CBitmapButtonEx button;
  ASSERT_TRUE(button.AttachCaptionButton(parent.AddChild(L"Button", L"Retry", BS_OWNERDRAW, 2000, 0, 0, 124, 36)));
  EXPECT_EQ(button.Caption(), L"Retry");
  EXPECT_EQ(button.CaptionColor(), RGB(248, 248, 248));
  LOGFONTW font{};
  ASSERT_NE(GetObjectW(button.CaptionFont(), sizeof(font), &font), 0);
  EXPECT_STREQ(font.lfFaceName, L"Vernada");
  EXPECT_EQ(font.lfHeight, -15);
  EXPECT_EQ(font.lfWeight, FW_BOLD);
  button.SetFontSize(0);
  ASSERT_NE(GetObjectW(button.CaptionFont(), sizeof(font), &font), 0);
  EXPECT_EQ(font.lfHeight, -15);
  // What the button draws is also what others read from it.
  wchar_t text[16] = L"";
  GetWindowTextW(button.Handle(), text, 16);
  EXPECT_STREQ(text, L"Retry");
}

TEST(LabelTextFormat, FollowsTheTemplateStyle) {
  const struct {
    const char* name;
    LONG style;
    UINT format;
  } kCases[] = {
      {"left wraps", SS_LEFT, DT_LEFT | DT_WORDBREAK},
      {"centred does not wrap", SS_CENTER, DT_CENTER},
      {"right does not wrap", SS_RIGHT, DT_RIGHT},
      {"vertically centred left", SS_LEFT | SS_CENTERIMAGE, DT_LEFT | DT_WORDBREAK | DT_SINGLELINE | DT_VCENTER},
      {"vertically centred", SS_CENTER | SS_CENTERIMAGE, DT_CENTER | DT_SINGLELINE | DT_VCENTER},
  };
  for (const auto& c : kCases) EXPECT_EQ(LabelTextFormat(c.style), c.format | DT_NOPREFIX) << c.name;
}

TEST(ColorLabel, TakesTheControlsTextAndKeepsItsOwn) {
  TestParent parent;
  ui_ColorLabel label;
  ASSERT_TRUE(label.Attach(parent.AddChild(L"Static", L"Total", SS_CENTER, 1008, 5, 5, 87, 20)));
  EXPECT_EQ(label.Text(), L"Total");
  SetWindowTextW(label.Handle(), L"Part 1/2");
  EXPECT_EQ(label.Text(), L"Part 1/2");
  wchar_t text[16] = L"";
  GetWindowTextW(label.Handle(), text, 16);
  EXPECT_STREQ(text, L"Part 1/2");
  label.SetFontSize(-1);
  label.SetFontSize(9);
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(label.Handle(), WM_GETFONT, 0, 0)), sizeof(font), &font);
  EXPECT_EQ(font.lfHeight, -12);
}

// Copies what the label shows into a bitmap and reports whether any pixel from row fromY down
// differs from the background.
bool drawsAnythingBesides(HWND label, COLORREF background, int fromY) {
  RECT client;
  GetClientRect(label, &client);
  InvalidateRect(label, nullptr, TRUE);
  UpdateWindow(label);
  HDC screen = GetDC(label);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, client.right, client.bottom);
  HGDIOBJ previous = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, client.right, client.bottom, screen, 0, 0, SRCCOPY);
  bool found = false;
  for (int y = fromY; y < client.bottom && !found; ++y) {
    for (int x = 0; x < client.right && !found; ++x) found = GetPixel(memory, x, y) != background;
  }
  SelectObject(memory, previous);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(label, screen);
  return found;
}

TEST(ColorLabel, ALongLeftAlignedTextWrapsButACentredOneDoesNot) {
  TestParent parent;
  const std::wstring longText = L"a long status text that cannot possibly fit on one line of this label";
  for (const auto& c : {std::make_pair(SS_LEFT, true), std::make_pair(SS_CENTER, false)}) {
    SCOPED_TRACE(c.first);
    ui_ColorLabel label;
    ASSERT_TRUE(label.Attach(parent.AddChild(L"Static", L"", c.first, 1, 10, 10, 150, 60)));
    label.SetBackgroundColor(RGB(244, 244, 244));
    label.SetTextColor(RGB(0, 0, 0));
    label.SetFontSize(9);
    label.SetText(longText);
    uitest::PumpMessages(50);
    // One line of 12-pixel text ends above y = 20; wrapped text goes on below.
    EXPECT_EQ(drawsAnythingBesides(label.Handle(), RGB(244, 244, 244), 20), c.second);
    DestroyWindow(label.Handle());
  }
}

TEST(ImageView, ShowsTheTopLeftPartOfItsImage) {
  TestParent parent;
  CImageView view;
  ASSERT_TRUE(view.Attach(parent.AddChild(L"Static", L"gone", SS_LEFT, 1022, 0, 0, 10, 10)));
  wchar_t text[8] = L"x";
  GetWindowTextW(view.Handle(), text, 8);
  EXPECT_STREQ(text, L"");
  ASSERT_TRUE(view.SetImage(IDB_ICON_WARNING));
  view.SetPlacement(RECT{10, 45, 80, 115});
  const RECT place = ChildRect(view.Handle());
  EXPECT_EQ(place.left, 10);
  EXPECT_EQ(place.top, 45);
  EXPECT_EQ(place.right, 80);
  EXPECT_EQ(place.bottom, 115);
  EXPECT_EQ(view.ImageId(), IDB_ICON_WARNING);
  EXPECT_FALSE(view.SetImage(4242));  // no such image: shows nothing
}

}  // namespace
