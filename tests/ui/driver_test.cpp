// The UI driver helper against a live main window of this process: finding it, reading controls,
// clicking, the tray menu and the end of the logon.
#include <gtest/gtest.h>

#include <string>

#include "resources/resource_ids.h"
#include "tests/ui/support/fake_command_sink.h"
#include "tests/ui/support/open_main_window.h"
#include "tests/ui/support/ui_test_support.h"
#include "ui/main_dialog.h"

namespace {

struct DriverRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;
};

// Answers this thread's messages until the process ends, all but WM_PAINT: the windows answer
// sent messages but leave their update regions as they are.
void pumpWithoutPainting(HANDLE process, DWORD timeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (WaitForSingleObject(process, 0) != WAIT_OBJECT_0 && GetTickCount64() < end) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, WM_PAINT - 1, PM_REMOVE) ||
           PeekMessageW(&message, nullptr, WM_PAINT + 1, 0xFFFFFFFF, PM_REMOVE)) {
      DispatchMessageW(&message);
    }
    MsgWaitForMultipleObjects(1, &process, FALSE, 10, QS_SENDMESSAGE | QS_POSTMESSAGE | QS_INPUT);
  }
}

// Runs the driver and keeps this thread's windows answering until it ends (painting too, unless
// told not to).
DriverRun runDriver(const std::wstring& arguments, bool paint = true) {
  DriverRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" AK_UI_DRIVER L"\" " + arguments;
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (started) {
    if (paint) {
      uitest::PumpUntil([&] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; }, 60000);
    } else {
      pumpWithoutPainting(process.hProcess, 60000);
    }
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof(buffer), &got, nullptr) && got > 0) run.output.append(buffer, got);
  }
  CloseHandle(readEnd);
  while (!run.output.empty() && (run.output.back() == '\n' || run.output.back() == '\r')) run.output.pop_back();
  return run;
}

class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(uitest::OpenMainWindow(window, sink));
    title = L"\"" + DownloaderWindowTitleForTest() + L"\" ";
  }
  void TearDown() override { window.Destroy(); }
  std::wstring DownloaderWindowTitleForTest() const {
    wchar_t text[128] = L"";
    GetWindowTextW(window.Handle(), text, 128);
    return text;
  }
  void PumpUntilReceived(size_t count) {
    uitest::PumpUntil([&] { return sink.received.size() >= count; }, 3000);
  }

  FakeCommandSink sink;
  CMainDlg window;
  std::wstring title;
};

TEST_F(DriverTest, FindsWindowsByExactTitleOnly) {
  EXPECT_EQ(runDriver(L"wait " + title).exitCode, 0u);
  EXPECT_EQ(runDriver(L"wait \"No Such Downloader\" --wait 1").exitCode, 1u);
  EXPECT_EQ(runDriver(L"text " + title + L"4242 --wait 1").exitCode, 2u);
  EXPECT_EQ(runDriver(L"jump " + title + L"1").exitCode, 64u);
}

TEST_F(DriverTest, ReportsTextVisibilityAndPlacement) {
  window.SetStatusText(L"Paused - 1.0 MB of 2.0 MB");
  window.ShowResumeButton(true);
  const DriverRun text = runDriver(L"text " + title + std::to_wstring(IDC_STATUS_TEXT));
  EXPECT_EQ(text.exitCode, 0u);
  EXPECT_EQ(text.output, "Paused - 1.0 MB of 2.0 MB");
  EXPECT_EQ(runDriver(L"info " + title + std::to_wstring(IDC_RESUME)).output, "visible=1 x=448 y=208 width=24 height=24");
  EXPECT_EQ(runDriver(L"info " + title + std::to_wstring(IDC_PAUSE)).output, "visible=0 x=448 y=208 width=24 height=24");
}

TEST_F(DriverTest, WaitsUntilTheWindowHasDrawnItself) {
  ShowWindow(window.Handle(), SW_HIDE);
  EXPECT_EQ(runDriver(L"drawn " + title + L"--wait 1").exitCode, 3u) << "a hidden window counts as drawn";
  ShowWindow(window.Handle(), SW_SHOW);
  InvalidateRect(window.Handle(), nullptr, TRUE);
  EXPECT_EQ(runDriver(L"drawn " + title + L"--wait 2", false).exitCode, 3u) << "drawn with a paint pending";
  EXPECT_TRUE(GetUpdateRect(window.Handle(), nullptr, FALSE));
  EXPECT_EQ(runDriver(L"drawn " + title + L"--wait 10").exitCode, 0u);
}

TEST_F(DriverTest, ClicksGoThroughTheButtonsOwnHandling) {
  EXPECT_EQ(runDriver(L"click " + title + std::to_wstring(IDC_CLOSE)).exitCode, 0u);
  PumpUntilReceived(1);
  EXPECT_EQ(runDriver(L"press " + title + std::to_wstring(IDC_MINIMISE)).exitCode, 0u);
  PumpUntilReceived(2);
  EXPECT_EQ(sink.received, (std::vector<std::string>{"close", "minimise"}));
}

TEST_F(DriverTest, ChoosesTrayMenuItemsAndEndsTheSession) {
  sink.jobState = kJobStateDownloading;
  EXPECT_EQ(runDriver(L"tray " + title + L"pause").exitCode, 0u);
  PumpUntilReceived(1);
  EXPECT_EQ(runDriver(L"tray " + title + L"open").exitCode, 0u);
  PumpUntilReceived(2);
  sink.jobState = 2;  // starting: the pause item is greyed, choosing it gives no command
  EXPECT_EQ(runDriver(L"tray " + title + L"pause").exitCode, 0u);
  EXPECT_EQ(runDriver(L"endsession " + title).exitCode, 0u);
  PumpUntilReceived(3);
  EXPECT_EQ(sink.received, (std::vector<std::string>{"toggle", "restore", "session-ending"}));
}

}  // namespace
