// The licence dialog: its texts, controls and size, the licence in its text box, and its answers.
#include "ui/eula_dialog.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "resources/resource_ids.h"
#include "tests/ui/support/ui_test_support.h"

using uitest::ChildRect;

namespace {

std::wstring textOf(HWND window) {
  const int length = GetWindowTextLengthW(window);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  GetWindowTextW(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

struct Seen {
  bool found = false;
  std::wstring title;
  RECT outer{};
  RECT client{};
  LONG_PTR style = 0;
  std::wstring okText, cancelText, prompt, vendor, licence;
  RECT ok{}, cancel{}, prompts{}, vendors{}, textBox{}, banner{};
  bool vendorEnabled = true;
  LONG_PTR textBoxStyle = 0;
  bool screenshotTaken = false;
};

// Shows the dialog; a helper thread looks at it and answers with `message` (wParam `answer`).
int showAndAnswer(HWND owner, UINT message, WPARAM answer, Seen* seen, const char* screenshot = nullptr) {
  const DWORD dialogThread = GetCurrentThreadId();
  std::thread helper([&] {
    HWND dialog = uitest::FindThreadDialogWithControl(dialogThread, IDC_LICENCE_TEXT, 5000);
    if (dialog == nullptr) return;
    seen->found = true;
    seen->title = textOf(dialog);
    GetWindowRect(dialog, &seen->outer);
    GetClientRect(dialog, &seen->client);
    seen->style = GetWindowLongPtrW(dialog, GWL_STYLE);
    seen->okText = textOf(GetDlgItem(dialog, IDOK));
    seen->cancelText = textOf(GetDlgItem(dialog, IDCANCEL));
    seen->prompt = textOf(GetDlgItem(dialog, IDC_LICENCE_PROMPT));
    seen->vendor = textOf(GetDlgItem(dialog, IDC_LICENCE_VENDOR));
    seen->vendorEnabled = IsWindowEnabled(GetDlgItem(dialog, IDC_LICENCE_VENDOR)) != FALSE;
    seen->licence = textOf(GetDlgItem(dialog, IDC_LICENCE_TEXT));
    seen->textBoxStyle = GetWindowLongPtrW(GetDlgItem(dialog, IDC_LICENCE_TEXT), GWL_STYLE);
    seen->ok = ChildRect(GetDlgItem(dialog, IDOK));
    seen->cancel = ChildRect(GetDlgItem(dialog, IDCANCEL));
    seen->prompts = ChildRect(GetDlgItem(dialog, IDC_LICENCE_PROMPT));
    seen->vendors = ChildRect(GetDlgItem(dialog, IDC_LICENCE_VENDOR));
    seen->textBox = ChildRect(GetDlgItem(dialog, IDC_LICENCE_TEXT));
    seen->banner = ChildRect(GetDlgItem(dialog, IDC_LICENCE_BANNER));
    if (screenshot != nullptr) seen->screenshotTaken = uitest::TakeScreenshot(screenshot, dialog, {{"skin", 190, 40}});
    SendMessageW(dialog, message, answer, 0);
  });
  CEULADlg dialog;
  const int result = dialog.Show(owner);
  helper.join();
  return result;
}

void expectRect(const RECT& actual, int x, int y, int width, int height) {
  EXPECT_EQ(actual.left, x);
  EXPECT_EQ(actual.top, y);
  EXPECT_EQ(actual.right - actual.left, width);
  EXPECT_EQ(actual.bottom - actual.top, height);
}

TEST(LicenceDialog, ShowsTheLicenceWithItsTextsAndControlsInPlace) {
  uitest::TestParent owner;
  Seen seen;
  EXPECT_EQ(showAndAnswer(owner.Handle(), WM_COMMAND, IDOK, &seen, "licence-dialog"), CEULADlg::kAccepted);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.title, L"License Agreement");
  EXPECT_TRUE(seen.style & WS_CAPTION);
  EXPECT_TRUE(seen.style & WS_SYSMENU);
  // Sized from its client area, whatever frame the system draws, and every control fits in it.
  EXPECT_EQ(seen.client.right, kLicenceClientWidth);
  EXPECT_EQ(seen.client.bottom, kLicenceClientHeight);
  for (const RECT& control : {seen.ok, seen.cancel, seen.prompts, seen.vendors, seen.textBox, seen.banner}) {
    EXPECT_GE(control.left, 0);
    EXPECT_GE(control.top, 0);
    EXPECT_LE(control.right, seen.client.right);
    EXPECT_LE(control.bottom, seen.client.bottom);
  }
  EXPECT_GT(seen.outer.bottom - seen.outer.top, kLicenceClientHeight) << "the caption and frame come on top";
  EXPECT_EQ(seen.okText, L"I Agree");
  EXPECT_EQ(seen.cancelText, L"Cancel");
  EXPECT_EQ(seen.prompt, L"Please accept the license to proceed");
  EXPECT_EQ(seen.vendor, L"Tessel Games");  // the publisher, a build setting
  EXPECT_EQ(LicenceBannerTitle(), L"Tessel Games Download Service");
  EXPECT_FALSE(seen.vendorEnabled);  // drawn greyed
  EXPECT_EQ(seen.licence, LicenceText());
  EXPECT_TRUE(seen.textBoxStyle & ES_READONLY);
  EXPECT_TRUE(seen.textBoxStyle & ES_MULTILINE);
  EXPECT_TRUE(seen.textBoxStyle & WS_VSCROLL);
  expectRect(seen.ok, 295, 368, 80, 25);
  expectRect(seen.cancel, 5, 368, 80, 25);
  expectRect(seen.prompts, 5, 72, 350, 40);
  expectRect(seen.vendors, 90, 371, 200, 25);
  expectRect(seen.textBox, 5, 110, 372, 250);
  expectRect(seen.banner, 5, 4, 371, 67);
  if (uitest::ScreenshotsAvailable()) {
    EXPECT_TRUE(seen.screenshotTaken);
  }
}

TEST(LicenceDialog, OnlyIAgreeAccepts) {
  const struct {
    const char* name;
    UINT message;
    WPARAM wParam;
    int result;
  } kAnswers[] = {
      {"I Agree", WM_COMMAND, IDOK, CEULADlg::kAccepted},
      {"Cancel", WM_COMMAND, IDCANCEL, CEULADlg::kDeclined},
      {"close box", WM_SYSCOMMAND, SC_CLOSE, CEULADlg::kDeclined},
      {"close request", WM_CLOSE, 0, CEULADlg::kDeclined},
  };
  for (const auto& answer : kAnswers) {
    Seen seen;
    EXPECT_EQ(showAndAnswer(nullptr, answer.message, answer.wParam, &seen), answer.result) << answer.name;
    EXPECT_TRUE(seen.found) << answer.name;
  }
}

}  // namespace
