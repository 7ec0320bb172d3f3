// Server-request retries with their countdown, the close prompts and the exit procedure.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

// Runs retry ticks until the pending retry fires; returns how many ticks it took.
int ticksUntilFired(JobFixture& f) {
  int ticks = 0;
  while (f.job->retryReason() != RetryReason::RetryNone && ticks < 1000) {
    f.job->OnTimer(kRetryTimerId);
    ++ticks;
  }
  return ticks;
}

TEST(ServerRetries, FiveSidFailuresWaitOneOneFiveFiveThirtyWithOneEvent) {
  JobFixture f;
  f.platform.dwords[{L"Software\\Tessel Games\\Downloader\\irf", L"accepted_eula"}] = 1;
  ASSERT_TRUE(f.job->CreateMainWindow());
  f.job->Start(false);
  std::vector<int> waits;
  for (int i = 0; i < 5; ++i) {
    f.job->OnServerRequestFailed(ServerRequestKind::Sid);
    waits.push_back(ticksUntilFired(f));
  }
  EXPECT_EQ(waits, (std::vector<int>{1, 1, 5, 5, 30}));
  EXPECT_EQ(f.server.requests, std::vector<std::wstring>(6, L"sid irf"));
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].description, L"Connection problems");
  EXPECT_FALSE(errors[0].flag);
  EXPECT_FALSE(f.window.timerRunning[kRetryTimerId]);
}

TEST(ServerRetries, CountdownInStartingShowsFromTheFirstTick) {
  const struct {
    int failuresBefore;  // to reach the wanted delay
    std::vector<std::wstring> statuses;
  } kCases[] = {
      {0, {L"Starting download..."}},
      {2,
       {L"Connection problems - Retrying in 4 secs", L"Connection problems - Retrying in 3 secs",
        L"Connection problems - Retrying in 2 secs", L"Connection problems - Retrying in 1 secs",
        L"Starting download..."}},
  };
  for (const auto& c : kCases) {
    JobFixture f;
    f.StartAndReceiveSid();
    for (int i = 0; i < c.failuresBefore; ++i) {
      f.job->OnServerRequestFailed(ServerRequestKind::Config);
      f.job->FireRetry();
    }
    f.ClearRecords();
    f.job->OnServerRequestFailed(ServerRequestKind::Config);
    EXPECT_TRUE(f.window.statusTexts.empty()) << "nothing shows before the first tick";
    ticksUntilFired(f);
    EXPECT_EQ(f.window.statusTexts, c.statuses);
    EXPECT_EQ(f.window.tooltips, std::vector<std::wstring>(c.statuses.size(), L"Starting download..."));
    EXPECT_EQ(f.server.requests, std::vector<std::wstring>{L"config irf sid1"});
  }
}

TEST(ServerRetries, ASuccessfulSidStartsTheConfigurationRetriesAfresh) {
  JobFixture f;
  f.platform.dwords[{L"Software\\Tessel Games\\Downloader\\irf", L"accepted_eula"}] = 1;
  ASSERT_TRUE(f.job->CreateMainWindow());
  f.job->Start(false);
  for (int i = 0; i < 3; ++i) {
    f.job->OnServerRequestFailed(ServerRequestKind::Sid);
    f.job->FireRetry();
  }
  f.job->OnSidReply(std::wstring(L"s2"));
  EXPECT_EQ(f.job->retryCounters().level, 0);
  f.job->OnServerRequestFailed(ServerRequestKind::Config);
  EXPECT_EQ(f.job->retryDelay(), 1);
  EXPECT_EQ(f.events.named(L"error").size(), 2u) << "the sid reset re-enabled the report";
  ticksUntilFired(f);
  EXPECT_EQ(f.server.requests.back(), L"config irf s2");
}

TEST(ServerRetries, ALateTickAfterTheRetryFiredNeitherRepeatsItNorCountsBelowZero) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.job->OnServerRequestFailed(ServerRequestKind::Config);
  f.job->OnTimer(kRetryTimerId);
  f.ClearRecords();
  f.job->OnTimer(kRetryTimerId);
  EXPECT_EQ(f.job->retryCountdown(), 0);
  EXPECT_TRUE(f.server.requests.empty());
  EXPECT_EQ(f.window.statusTexts, std::vector<std::wstring>{L"Starting download..."});
}

TEST(ServerRetries, ATickWithoutARetryStopsTheTimer) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.ClearRecords();
  f.window.timerRunning[kRetryTimerId] = true;
  f.job->OnTimer(kRetryTimerId);
  EXPECT_FALSE(f.window.timerRunning[kRetryTimerId]);
  EXPECT_TRUE(f.window.statusTexts.empty());
  EXPECT_TRUE(f.server.requests.empty());
}

// One close-button press in a state, with the answers given to its prompts.
struct CloseRow {
  const char* name;
  JobState state;
  std::deque<int32_t> answers;
  std::vector<std::wstring> promptMessages;
  std::optional<int32_t> exitCode;
  std::vector<std::wstring> clientCalls;  // after the press
  JobState after;
};

void reach(JobFixture& f, JobState state) {
  if (state == JobState::Starting) {
    f.StartAndReceiveSid();
  } else {
    f.StartDownloading(2);
    if (state == JobState::Paused) f.job->Pause();
  }
  f.ClearRecords();
}

TEST(ClosePrompts, EveryStateAndAnswer) {
  const std::wstring quit = L"Are you sure you want to quit?";
  const std::wstring stop = L"Are you sure you want to stop your download?";
  const std::wstring save = L"Would you like to save your download progress?";
  const std::wstring pause0 = L"AKPause http://cdn.test/irf/file0.exe";
  const std::vector<std::wstring> deleteAll = {pause0, L"AKDelete http://cdn.test/irf/file0.exe",
                                               L"AKDelete http://cdn.test/irf/file1.bin", L"TSUninitialize"};
  const CloseRow kRows[] = {
      {"starting, yes", JobState::Starting, {1}, {quit}, 0, {}, JobState::Starting},
      {"starting, no", JobState::Starting, {2}, {quit}, std::nullopt, {}, JobState::Starting},
      {"starting, closed", JobState::Starting, {0}, {quit}, std::nullopt, {}, JobState::Starting},
      {"stop, save", JobState::Downloading, {1, 1}, {stop, save}, 0, {pause0, L"TSUninitialize"}, JobState::Paused},
      {"stop, discard", JobState::Downloading, {1, 2}, {stop, save}, 0, deleteAll, JobState::Paused},
      {"stop, cancel", JobState::Downloading, {1, 3}, {stop, save}, std::nullopt, {}, JobState::Downloading},
      {"stop, save closed", JobState::Downloading, {1, 0}, {stop, save}, std::nullopt, {}, JobState::Downloading},
      {"pause", JobState::Downloading, {2}, {stop}, std::nullopt, {pause0}, JobState::Paused},
      {"continue", JobState::Downloading, {3}, {stop}, std::nullopt, {}, JobState::Downloading},
      {"stop closed", JobState::Downloading, {0}, {stop}, std::nullopt, {}, JobState::Downloading},
      {"paused, stop, discard", JobState::Paused, {1, 2}, {stop, save}, 0,
       {L"AKDelete http://cdn.test/irf/file0.exe", L"AKDelete http://cdn.test/irf/file1.bin", L"TSUninitialize"},
       JobState::Paused},
      {"paused, continue", JobState::Paused, {3}, {stop}, std::nullopt, {}, JobState::Paused},
  };
  for (const CloseRow& row : kRows) {
    JobFixture f;
    reach(f, row.state);
    f.window.promptAnswers = row.answers;
    EXPECT_EQ(f.ExitCodeOf([&] { EXPECT_TRUE(f.job->OnCommand(kCommandClose)); }), row.exitCode) << row.name;
    std::vector<std::wstring> messages;
    for (const Prompt& prompt : f.window.prompts) {
      messages.push_back(prompt.message);
      EXPECT_EQ(prompt.owner, PromptOwner::ActiveWindow) << row.name;
    }
    EXPECT_EQ(messages, row.promptMessages) << row.name;
    EXPECT_EQ(f.client.calls, row.clientCalls) << row.name;
    EXPECT_EQ(f.job->state(), row.after) << row.name;
    if (row.exitCode) {
      const auto cancels = f.events.named(L"download_cancel");
      ASSERT_EQ(cancels.size(), 1u) << row.name;
      EXPECT_FALSE(cancels[0].flag) << row.name;
      EXPECT_EQ(f.platform.sleeps, std::vector<uint32_t>{500}) << row.name;
    } else {
      EXPECT_TRUE(f.events.named(L"download_cancel").empty()) << row.name;
    }
  }
}

TEST(ClosePrompts, DiscardingDeletesCompletedFilesToo) {
  JobFixture f;
  f.StartDownloading(3);
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  ASSERT_EQ(f.job->currentIndex(), 2);
  f.ClearRecords();
  size_t callsWhenReleased = 99;
  f.files.onRelease = [&](const std::wstring&) { callsWhenReleased = f.client.calls.size(); };
  f.window.promptAnswers = {1, 2};
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->OnCommand(kCommandClose); }), 0);
  EXPECT_EQ(f.client.calls,
            (std::vector<std::wstring>{L"AKPause http://cdn.test/irf/file2.bin", L"AKDelete http://cdn.test/irf/file0.exe",
                                       L"AKDelete http://cdn.test/irf/file1.bin",
                                       L"AKDelete http://cdn.test/irf/file2.bin", L"TSUninitialize"}));
  EXPECT_EQ(callsWhenReleased, 1u) << "the installer, held since its check, is let go before the service deletes it";
}

TEST(ClosePrompts, PausedStopPromptHidesPauseButKeepsContinueThird) {
  JobFixture f;
  reach(f, JobState::Paused);
  f.job->ConfirmQuit();
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].buttons[1].colour, ButtonColour::Hidden);
  EXPECT_EQ(f.window.prompts[0].buttons[2].text, L"Continue");
}

TEST(ClosePrompts, NothingHappensOnceCompleted) {
  JobFixture f;
  f.StartDownloading(1);
  bool pressed = false;
  size_t promptsAfterPress = 0;
  f.window.whilePromptOpen = [&](const Prompt&) {
    if (pressed) return;
    pressed = true;
    EXPECT_EQ(f.job->state(), JobState::Completed);
    f.job->OnCommand(kCommandClose);
    promptsAfterPress = f.window.prompts.size();
  };
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(0, Reading(kFileComplete, 1000, 0)); }), 0);
  EXPECT_TRUE(pressed);
  EXPECT_EQ(promptsAfterPress, 1u) << "only the success notice";
  EXPECT_TRUE(f.events.named(L"download_cancel").empty());
}

TEST(ExitProcedure, StartingMakesNoClientCall) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.ClearRecords();
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->ExitDownloader(true); }), 0);
  EXPECT_TRUE(f.client.calls.empty());
}

TEST(ExitProcedure, EndsTheProcessEvenWhenTheClientThrows) {
  struct ThrowingClient : FakeClient {
    int32_t AKPause(const std::wstring&) override { throw std::runtime_error("client gone"); }
  };
  JobFixture f;
  ThrowingClient client;
  DownloadJob job(JobServices{f.window, client, f.server, f.events, f.inventory, f.platform, f.game, f.files});
  f.platform.dwords[{L"Software\\Tessel Games\\Downloader\\irf", L"accepted_eula"}] = 1;
  ASSERT_TRUE(job.CreateMainWindow());
  job.Start(false);
  job.OnSidReply(std::wstring(L"s"));
  job.OnConfigReply(ConfigWithFiles(1));
  ASSERT_EQ(job.state(), JobState::Downloading);
  EXPECT_EQ(f.ExitCodeOf([&] { job.ExitDownloader(false); }), 0);
  EXPECT_EQ(f.platform.exitCodes, std::vector<int32_t>{0});
}

}  // namespace
}  // namespace downloadtest
