// The once-a-second poll: readings, stalls, client failures, disk space, speed, samples and the
// texts it pushes to the window.
#include <gtest/gtest.h>

#include <algorithm>

#include "service_client/client_errors.h"
#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

const std::wstring kUrl0 = L"http://cdn.test/irf/file0.exe";
const std::wstring kPath0 = L"C:\\TesselGames\\Downloader\\file0.exe";

int32_t code(ClientError error) { return static_cast<int32_t>(error); }

int pollsMade(const JobFixture& f) {
  return static_cast<int>(std::count(f.client.calls.begin(), f.client.calls.end(), L"AKGetFileAttr " + kUrl0));
}

TEST(Poll, ReadingUpdatesCountersBarsAndTexts) {
  JobFixture f;
  f.client.sizes[kUrl0] = 10485760;
  f.client.sizes[L"http://cdn.test/irf/file1.bin"] = 10485760;
  f.StartDownloading(2);
  f.Poll(0, Reading(kFileDownloading, 5242880, 1048576));
  EXPECT_EQ(f.job->config()->files[0].received, 5242880u);
  EXPECT_EQ(f.job->lastRate(), 1048576u);
  EXPECT_EQ(f.job->speed(), 1048576u);
  EXPECT_EQ(f.job->timeLeft(), 15u);
  EXPECT_EQ(f.window.partProgress, std::vector<int32_t>{50});
  EXPECT_EQ(f.window.totalProgress, std::vector<int32_t>{25});
  EXPECT_EQ(f.window.statusTexts.back(), L"15 seconds left - 5.00 MB of 20.00 MB (1.0 MB/sec)");
  EXPECT_EQ(f.window.tooltips.back(), L"25% completed - 15 seconds left\n5.00 MB of 20.00 MB (1.0 MB/sec)");
}

TEST(Poll, NothingIsAskedOutsideAnOrdinaryDownloadingTick) {
  JobFixture starting;
  starting.StartAndReceiveSid();
  starting.job->OnTimer(kProgressTimerId);
  EXPECT_EQ(pollsMade(starting), 0);

  JobFixture paused;
  paused.StartDownloading(1);
  paused.job->Pause();
  paused.job->OnTimer(kProgressTimerId);
  EXPECT_EQ(pollsMade(paused), 0);

  JobFixture pending;
  pending.StartDownloading(1);
  pending.job->ScheduleRetry(RetryReason::RetryDownload);
  pending.job->OnTimer(kProgressTimerId);
  EXPECT_EQ(pollsMade(pending), 0);
}

TEST(Poll, SixReadingsWithoutProgressStartOneRetryCountdown) {
  JobFixture f;
  f.StartDownloading(2);
  for (int i = 0; i < 5; ++i) f.Poll(0, Reading(kFileDownloading, 100, 0));
  EXPECT_EQ(f.job->stallTicks(), 5);
  EXPECT_TRUE(f.events.events.empty());
  f.Poll(0, Reading(kFileDownloading, 100, 0));
  EXPECT_EQ(f.job->stallTicks(), 0);
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryDownload);
  EXPECT_EQ(f.job->retryDelay(), 30);
  EXPECT_TRUE(f.window.timerRunning[kRetryTimerId]);
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].description, L"Connection problems");
  EXPECT_EQ(errors[0].code, 0);
  EXPECT_FALSE(errors[0].flag);
  EXPECT_FALSE(f.job->errorReportEnabled());
  // While the retry is pending the poll rests.
  f.job->OnTimer(kProgressTimerId);
  EXPECT_EQ(pollsMade(f), 6);
}

TEST(Poll, AFileTheServiceCannotWriteIsToldAndNotRetriedAsAStall) {
  JobFixture f;
  f.client.sizes[kUrl0] = 10485760;
  f.StartDownloading(1);
  FileReading held = Reading(kFileWaiting, 1048576, 0);
  held.error = 32;  // a sharing violation: a scanner or an installer holds the file
  for (int i = 0; i < 10; ++i) f.Poll(0, held);
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryNone) << "the service retries by itself";
  EXPECT_EQ(f.job->stallTicks(), 0);
  EXPECT_EQ(f.job->config()->files[0].received, 1048576u);
  EXPECT_EQ(f.window.statusTexts.back(), L"Waiting for another program to release the file - 1.00 MB of 10.00 MB");
  EXPECT_EQ(f.window.tooltips.back(), L"Waiting for another program to release the file\n1.00 MB of 10.00 MB");
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u) << "reported once, not on every poll";
  EXPECT_EQ(errors[0].description, L"Waiting for another program to release the file");

  held.error = 5;  // access denied: the folder refuses it
  f.Poll(0, held);
  EXPECT_EQ(f.window.statusTexts.back(), L"The file cannot be written - 1.00 MB of 10.00 MB");

  f.Poll(0, Reading(kFileDownloading, 2097152, 1048576));
  EXPECT_EQ(f.window.statusTexts.back().find(L"cannot"), std::wstring::npos);
  // A waiting file the service says nothing about is still a stall.
  for (int i = 0; i < 6; ++i) f.Poll(0, Reading(kFileWaiting, 2097152, 0));
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryDownload);
}

TEST(Poll, StallCountdownRunsThirtyToOneThenDownloadsAgain) {
  JobFixture f;
  f.StartDownloading(2);
  for (int i = 0; i < 6; ++i) f.Poll(0, Reading(kFileDownloading, 0, 0));
  // The stalled poll itself already shows the full wait.
  EXPECT_EQ(f.window.statusTexts.back(), L"Connection problems - Retrying in 30 secs - 0 B of 2.0 KB");
  EXPECT_EQ(f.window.tooltips.back(), L"0 B of 2.0 KB");
  f.ClearRecords();
  for (int i = 0; i < 30; ++i) f.job->OnTimer(kRetryTimerId);
  ASSERT_EQ(f.window.statusTexts.size(), 30u);
  for (int i = 0; i < 29; ++i) {
    EXPECT_EQ(f.window.statusTexts[i],
              L"Connection problems - Retrying in " + std::to_wstring(29 - i) + L" secs - 0 B of 2.0 KB");
  }
  EXPECT_EQ(f.window.statusTexts.back(), L"Downloading - 0 B of 2.0 KB");
  EXPECT_EQ(f.window.tooltips.back(), L"0 B of 2.0 KB");
  EXPECT_EQ(f.client.calls, std::vector<std::wstring>{L"AKDownload " + kUrl0 + L" " + kPath0});
  EXPECT_FALSE(f.window.timerRunning[kRetryTimerId]);
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryNone);
  EXPECT_EQ(f.job->retryCounters().level, 3);

  // The next fresh reading forgets the retry level; the status is ordinary again.
  f.Poll(0, Reading(kFileDownloading, 500, 2048));
  EXPECT_EQ(f.job->retryCounters().level, 0);
  EXPECT_TRUE(f.job->errorReportEnabled());
  EXPECT_EQ(f.window.statusTexts.back(), L"500 B of 2.0 KB (2 KB/sec)");
}

TEST(Poll, RepeatedStallsWaitThirtyThreeTimesThenTwoMinutes) {
  JobFixture f;
  f.StartDownloading(1);
  std::vector<int32_t> delays;
  for (int stall = 0; stall < 5; ++stall) {
    for (int i = 0; i < 6; ++i) f.Poll(0, Reading(kFileDownloading, 0, 0));
    delays.push_back(f.job->retryDelay());
    f.job->FireRetry();
  }
  EXPECT_EQ(delays, (std::vector<int32_t>{30, 30, 30, 120, 120}));
  EXPECT_EQ(f.events.named(L"error").size(), 1u);
}

TEST(Poll, DisconnectedReadingsCountTowardsTheStallAndKeepTheRetry) {
  JobFixture f;
  f.StartDownloading(1);
  f.Poll(0, Reading(kFileDownloading, 100, 4096));
  for (int i = 0; i < 6; ++i) f.Poll(0, Reading(kFileDisconnected, 300, 9999));
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryDownload);
  EXPECT_TRUE(f.window.timerRunning[kRetryTimerId]);
  EXPECT_EQ(f.job->lastRate(), 4096u) << "a disconnected client's rate is not progress";
  EXPECT_EQ(f.job->speed(), 4096u);
  EXPECT_EQ(f.events.named(L"error").size(), 1u);
}

TEST(Poll, NetworkFailuresCountTowardsTheStall) {
  JobFixture f;
  f.StartDownloading(1);
  for (int i = 0; i < 6; ++i) f.Poll(code(ClientError::NetworkFailure));
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryDownload);
  EXPECT_EQ(f.job->errorTicks(), 0);
  EXPECT_EQ(f.events.named(L"error").size(), 1u);
}

TEST(Poll, FourthClientErrorInARowEndsTheRun) {
  const struct {
    ClientError error;
    std::wstring message;
  } kCases[] = {
      {ClientError::DiskIoFailure, L"Disk I/O Failure"},
      {ClientError::InsufficientMemory, L"Insufficient Memory"},
      {ClientError::InternalFailure, L"Internal Failure"},
      {ClientError::FileNotFound, L"client text 13"},
  };
  for (const auto& c : kCases) {
    JobFixture f;
    f.StartDownloading(2);
    for (int i = 0; i < 3; ++i) f.Poll(code(c.error));
    EXPECT_EQ(f.job->errorTicks(), 3);
    EXPECT_TRUE(f.window.prompts.empty());
    EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(code(c.error)); }), 0);
    const auto errors = f.events.named(L"error");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].description, L"client text " + std::to_wstring(code(c.error)));
    EXPECT_EQ(errors[0].code, code(c.error));
    EXPECT_TRUE(errors[0].flag);
    ASSERT_EQ(f.window.prompts.size(), 1u);
    EXPECT_EQ(f.window.prompts[0].title, L"ERROR!");
    EXPECT_EQ(f.window.prompts[0].message, c.message);
    EXPECT_TRUE(f.events.events.back().flag) << "download_cancel with the error flag";
    EXPECT_EQ(f.client.calls.back(), L"TSUninitialize");
    EXPECT_EQ(f.client.calls[f.client.calls.size() - 2], L"AKPause " + kUrl0);
  }
}

TEST(Poll, AGoodReadingBreaksARunOfClientErrors) {
  JobFixture f;
  f.StartDownloading(1);
  for (int i = 0; i < 3; ++i) f.Poll(code(ClientError::FileNotFound));
  f.Poll(0, Reading(kFileDownloading, 10, 0));
  EXPECT_EQ(f.job->errorTicks(), 0);
  for (int i = 0; i < 3; ++i) f.Poll(code(ClientError::FileNotFound));
  EXPECT_EQ(f.job->errorTicks(), 3);
  EXPECT_TRUE(f.window.prompts.empty());
}

TEST(Poll, ConfigurationFailureAsksAndRetriesTheFile) {
  JobFixture f;
  f.StartDownloading(1);
  int pollsDuringPrompt = -1;
  f.window.whilePromptOpen = [&](const Prompt&) {
    EXPECT_TRUE(f.job->promptOpen());
    f.job->OnTimer(kProgressTimerId);
    pollsDuringPrompt = pollsMade(f);
  };
  f.window.promptAnswers = {1};
  f.Poll(code(ClientError::ClientConfigurationFailure));
  EXPECT_EQ(pollsDuringPrompt, 1);
  EXPECT_FALSE(f.job->promptOpen());
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].message, L"Your computer doesn't have enough disk space to download this game.");
  EXPECT_TRUE(f.events.events.empty());
  EXPECT_EQ(f.client.calls.back(), L"AKRetry " + kUrl0 + L" " + kPath0);

  f.window.whilePromptOpen = nullptr;
  f.window.promptAnswers = {2};
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(code(ClientError::ClientConfigurationFailure)); }), 0);
  EXPECT_TRUE(f.events.events.back().flag);
}

TEST(Poll, FullDiskPausesAsksAndDownloadsAgainReportingEachTime) {
  JobFixture f;
  f.StartDownloading(1);
  f.window.promptAnswers = {1, 0};
  f.Poll(0, Reading(kFileInsufficientDiskSpace, 100, 0));
  f.Poll(0, Reading(kFileInsufficientDiskSpace, 100, 0));
  EXPECT_EQ(f.client.calls, (std::vector<std::wstring>{L"AKGetFileAttr " + kUrl0, L"AKPause " + kUrl0,
                                                       L"AKDownload " + kUrl0 + L" " + kPath0,
                                                       L"AKGetFileAttr " + kUrl0, L"AKPause " + kUrl0,
                                                       L"AKDownload " + kUrl0 + L" " + kPath0}));
  EXPECT_EQ(f.window.prompts.size(), 2u);
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[1].description, L"Not enough disk space");
  EXPECT_FALSE(errors[1].flag);
  EXPECT_TRUE(f.job->errorReportEnabled());

  f.window.promptAnswers = {2};
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(0, Reading(kFileInsufficientDiskSpace, 100, 0)); }), 0);
  EXPECT_TRUE(f.events.events.back().flag);
}

TEST(Poll, PausingDuringTheDiskPromptIsNotUndoneByItsAnswer) {
  JobFixture f;
  f.StartDownloading(1);
  f.window.whilePromptOpen = [&](const Prompt&) { f.job->Pause(); };
  f.window.promptAnswers = {1};
  f.Poll(0, Reading(kFileInsufficientDiskSpace, 100, 0));
  EXPECT_EQ(f.job->state(), JobState::Paused);
  EXPECT_EQ(f.client.calls.back(), L"AKPause " + kUrl0);
  EXPECT_FALSE(f.job->promptOpen());
}

TEST(Poll, SpeedIsSmoothedAndSamplesTaken) {
  JobFixture f;
  f.StartDownloading(1);
  const int64_t start = f.platform.NowSeconds();
  f.Poll(0, Reading(kFileDownloading, 1, 51200));
  EXPECT_EQ(f.job->speed(), 51200u);
  f.platform.Advance(11000);
  f.Poll(0, Reading(kFileDownloading, 2, 102400));
  EXPECT_EQ(f.job->speed(), 51456u);
  EXPECT_EQ(f.job->fileSamples().count, 2u);
  EXPECT_EQ(f.job->fileSamples().sum, 153600u);
  EXPECT_EQ(f.job->totalSamples().count, 1u) << "the first sample after the start-up, then every 180 s";
  EXPECT_EQ(f.job->totalSamples().lastTime, start);
  f.platform.Advance(170000);
  f.Poll(0, Reading(kFileDownloading, 3, 1024));
  EXPECT_EQ(f.job->totalSamples().count, 2u);
  EXPECT_EQ(f.job->totalSamples().sum, 52224u);
}

TEST(Poll, BelowOneKibPerSecondTheEstimateStays) {
  JobFixture f;
  f.client.sizes[kUrl0] = 100000000;
  f.StartDownloading(1);
  f.Poll(0, Reading(kFileDownloading, 1000, 2048));
  EXPECT_EQ(f.job->timeLeft(), (100000000u - 1000u) / 2048u);
  uint64_t before = 0;
  while (f.job->speed() >= 1024) {
    before = f.job->timeLeft();
    f.Poll(0, Reading(kFileDownloading, 1000, 1));
  }
  EXPECT_EQ(f.job->timeLeft(), before);
  EXPECT_NE(before, 0u);
}

TEST(Poll, MoreReceivedThanTheTotalShowsFullBarsAndNoTimeLeft) {
  JobFixture f;
  f.StartDownloading(2);
  f.Poll(0, Reading(kFileDownloading, 3000, 4096));
  EXPECT_EQ(f.window.partProgress.back(), 100);
  EXPECT_EQ(f.window.totalProgress.back(), 100);
  EXPECT_EQ(f.job->timeLeft(), 0u);
  EXPECT_EQ(f.window.statusTexts.back(), L"2.9 KB of 2.0 KB (4 KB/sec)");
}

TEST(Poll, AFileTheClientHoldsWholeMovesOnAtTheFirstPoll) {
  JobFixture f;
  f.StartDownloading(3);
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  const auto partials = f.events.named(L"download_partial_complete");
  ASSERT_EQ(partials.size(), 1u);
  EXPECT_EQ(partials[0].job.rnum, L"1");
  EXPECT_EQ(partials[0].job.fileReceived, 1000u);
  EXPECT_EQ(f.job->currentIndex(), 1);
  EXPECT_EQ(f.window.calls, std::vector<std::wstring>{L"Part 2/3"});
  EXPECT_EQ(f.client.calls.back(), L"AKDownload http://cdn.test/irf/file1.bin C:\\TesselGames\\Downloader\\file1.bin");
}

TEST(Poll, AFailedReadingIsNeverCompletion) {
  JobFixture f;
  f.StartDownloading(2);
  FileReading complete = Reading(kFileComplete, 1000, 0);
  f.Poll(code(ClientError::NetworkFailure), complete);
  EXPECT_EQ(f.job->currentIndex(), 0);
  EXPECT_TRUE(f.events.named(L"download_partial_complete").empty());
}

}  // namespace
}  // namespace downloadtest
