// Every row of the status line and tooltip table, and every prompt with its exact texts, buttons,
// colours and owner.
#include <gtest/gtest.h>

#include "download/prompt_catalogue.h"
#include "download/status_text.h"

namespace {

StatusInputs inputs(JobState state, int32_t level, int32_t countdown, uint64_t timeLeft, uint64_t speed) {
  StatusInputs in;
  in.state = state;
  in.retryLevel = level;
  in.retryCountdown = countdown;
  in.totalReceived = 1048576;
  in.totalBytes = 4194304;
  in.totalPercent = 25;
  in.timeLeft = timeLeft;
  in.speed = speed;
  return in;
}

TEST(StatusTexts, EveryStateAndRetryRow) {
  const std::wstring s = L"1.00 MB of 4.00 MB";
  const struct {
    const char* row;
    StatusInputs in;
    std::wstring status;
    std::wstring tooltip;
  } kRows[] = {
      {"not started", inputs(JobState::NotStarted, 0, 0, 0, 0), L"", L""},
      {"starting", inputs(JobState::Starting, 0, 0, 0, 0), L"Starting download...", L"Starting download..."},
      {"starting, retry fired", inputs(JobState::Starting, 2, 0, 0, 0), L"Starting download...",
       L"Starting download..."},
      {"starting, countdown", inputs(JobState::Starting, 2, 4, 0, 0), L"Connection problems - Retrying in 4 secs",
       L"Starting download..."},
      {"downloading, countdown", inputs(JobState::Downloading, 3, 30, 90, 51200),
       L"Connection problems - Retrying in 30 secs - " + s, s},
      {"downloading, retry fired", inputs(JobState::Downloading, 3, 0, 90, 51200), L"Downloading - " + s, s},
      {"downloading, estimate and speed", inputs(JobState::Downloading, 0, 0, 90, 51200),
       L"1.5 minutes left - " + s + L" (50 KB/sec)", L"25% completed - 1.5 minutes left\n" + s + L" (50 KB/sec)"},
      {"downloading, no estimate", inputs(JobState::Downloading, 0, 0, 0, 51200), s + L" (50 KB/sec)",
       s + L" (50 KB/sec)"},
      {"downloading, no speed", inputs(JobState::Downloading, 0, 0, 30, 0), L"30 seconds left - " + s,
       L"25% completed - 30 seconds left\n" + s},
      {"paused", inputs(JobState::Paused, 0, 0, 90, 51200), L"Paused - " + s, L"25% completed, Paused"},
      {"paused with a retry level", inputs(JobState::Paused, 3, 12, 0, 0), L"Paused - " + s,
       L"25% completed, Paused"},
      {"completed", inputs(JobState::Completed, 0, 0, 90, 51200), L"Completed - 4.00 MB", L"Completed - 4.00 MB"},
  };
  for (const auto& row : kRows) {
    StatusTexts texts = ComposeStatus(row.in);
    EXPECT_EQ(texts.status, row.status) << row.row;
    EXPECT_EQ(texts.tooltip, row.tooltip) << row.row;
  }
}

struct ExpectedButton {
  ButtonColour colour;
  std::wstring text;
};

struct PromptRow {
  const char* name;
  Prompt prompt;
  PromptIcon icon;
  std::wstring message;
  std::wstring title;
  PromptOwner owner;
  ExpectedButton buttons[3];
};

TEST(PromptCatalogue, EveryPromptsTextsButtonsAndOwner) {
  const ExpectedButton none{ButtonColour::Hidden, L""};
  const std::wstring disk = L"Your computer doesn't have enough disk space to download this game.";
  const PromptRow kRows[] = {
      {"error notice", ErrorNoticePrompt(L"Game data is invalid."), PromptIcon::Error, L"Game data is invalid.", L"",
       PromptOwner::MainWindow, {{ButtonColour::Grey, L"OK"}, none, none}},
      {"disk space", DiskSpacePrompt(disk), PromptIcon::Error, disk, L"", PromptOwner::MainWindow,
       {{ButtonColour::Green, L"Retry"}, {ButtonColour::Grey, L"Cancel"}, none}},
      {"fatal poll error", FatalPollErrorPrompt(L"Disk I/O Failure"), PromptIcon::Error, L"Disk I/O Failure",
       L"ERROR!", PromptOwner::MainWindow, {{ButtonColour::Grey, L"OK"}, none, none}},
      {"quit", QuitPrompt(), PromptIcon::Error, L"Are you sure you want to quit?", L"", PromptOwner::ActiveWindow,
       {{ButtonColour::Grey, L"Yes"}, {ButtonColour::Green, L"No"}, none}},
      {"stop while downloading", StopPrompt(true), PromptIcon::Error, L"Are you sure you want to stop your download?",
       L"", PromptOwner::ActiveWindow,
       {{ButtonColour::Red, L"Stop"}, {ButtonColour::Grey, L"Pause"}, {ButtonColour::Green, L"Continue"}}},
      {"stop while paused", StopPrompt(false), PromptIcon::Error, L"Are you sure you want to stop your download?", L"",
       PromptOwner::ActiveWindow, {{ButtonColour::Red, L"Stop"}, none, {ButtonColour::Green, L"Continue"}}},
      {"save progress", SaveProgressPrompt(), PromptIcon::Error, L"Would you like to save your download progress?",
       L"", PromptOwner::ActiveWindow,
       {{ButtonColour::Grey, L"Yes"}, {ButtonColour::Grey, L"No"}, {ButtonColour::Green, L"Cancel"}}},
      {"success", DownloadSuccessPrompt(), PromptIcon::Success, L"Download successful. Please install the application.",
       L"", PromptOwner::MainWindow, {{ButtonColour::Green, L"OK"}, none, none}},
  };
  for (const PromptRow& row : kRows) {
    EXPECT_EQ(row.prompt.icon, row.icon) << row.name;
    EXPECT_EQ(row.prompt.message, row.message) << row.name;
    EXPECT_EQ(row.prompt.title, row.title) << row.name;
    EXPECT_EQ(row.prompt.owner, row.owner) << row.name;
    for (int i = 0; i < 3; ++i) {
      EXPECT_EQ(row.prompt.buttons[i].colour, row.buttons[i].colour) << row.name << " button " << i + 1;
      EXPECT_EQ(row.prompt.buttons[i].text, row.buttons[i].text) << row.name << " button " << i + 1;
    }
  }
}

TEST(PromptCatalogue, StartupDiskMessageNamesTheNeed) {
  EXPECT_EQ(StartupDiskSpaceMessage(1100000),
            L"Your computer doesn't have enough disk space to download this game. Please make sure you have at "
            L"least 1.0 MB free to continue.");
}

}  // namespace
