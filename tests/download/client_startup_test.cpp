// The client start-up: install and initialise attempts, the client's GUID, file sizes, the disk
// check and the begin of the download.
#include <gtest/gtest.h>

#include <algorithm>

#include "service_client/client_errors.h"
#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

int32_t code(ClientError error) { return static_cast<int32_t>(error); }

int countOf(const std::vector<std::wstring>& calls, const std::wstring& name) {
  return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

// Runs the start-up on a fresh fixture up to the configuration answer; the exit code, if it ended.
std::optional<int32_t> runStartup(JobFixture& f, int files = 2) {
  f.StartAndReceiveSid();
  f.ClearRecords();
  return f.ExitCodeOf([&] { f.job->OnConfigReply(ConfigWithFiles(files)); });
}

// The configuration's answer arrives on the HTTP stack's thread, which gets it back at once: the
// start-up (minutes of waiting for an installer, and prompts) runs on a thread of its own.
TEST(ClientStartup, RunsOnAThreadOfItsOwnNotTheHttpStacks) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.platform.deferStartup = true;
  f.job->OnConfigReply(ConfigWithFiles(1));
  EXPECT_EQ(f.platform.threadsStarted, 1);
  EXPECT_EQ(countOf(f.client.calls, L"TSInstall"), 0) << "the start-up ran on the HTTP stack's thread";
  ASSERT_TRUE(f.platform.pendingStartup);
  f.platform.pendingStartup();
  EXPECT_EQ(countOf(f.client.calls, L"TSInstall"), 1);
  EXPECT_EQ(f.job->state(), JobState::Downloading);
}

TEST(ClientStartup, RunningClientGoesStraightToTheDownload) {
  JobFixture f;
  f.client.sizes[L"http://cdn.test/irf/file0.exe"] = 5000;
  f.client.sizes[L"http://cdn.test/irf/file1.bin"] = 7000;
  f.client.held[L"http://cdn.test/irf/file1.bin"] = 1000;
  EXPECT_EQ(runStartup(f), std::nullopt);
  EXPECT_EQ(f.job->state(), JobState::Downloading);
  EXPECT_EQ(f.client.calls,
            (std::vector<std::wstring>{
                L"TSInstall", L"TSInitialize", L"AKGetAttr", L"TSUninitialize", L"TSInitialize",
                L"AKGetFileSize http://cdn.test/irf/file0.exe C:\\TesselGames\\Downloader\\file0.exe",
                L"AKGetReceivedSize http://cdn.test/irf/file0.exe",
                L"AKGetFileSize http://cdn.test/irf/file1.bin C:\\TesselGames\\Downloader\\file1.bin",
                L"AKGetReceivedSize http://cdn.test/irf/file1.bin",
                L"AKDownload http://cdn.test/irf/file0.exe C:\\TesselGames\\Downloader\\file0.exe"}));
  EXPECT_EQ(f.window.partProgress, (std::vector<int32_t>{20, 20, 80, 80, 80, 90, 100, 0}));
  EXPECT_EQ(f.job->config()->totalBytes, 12000u);
  EXPECT_EQ(f.job->config()->fileCount, 2);
  EXPECT_EQ(f.job->config()->files[1].size, 7000u);
  EXPECT_EQ(f.window.calls, (std::vector<std::wstring>{L"ResetProgressView", L"Part 1/2", L"ShowProgressRows"}));
  EXPECT_EQ(f.events.names(), (std::vector<std::wstring>{L"download_init", L"stats"}));
  EXPECT_EQ(f.platform.workersRun, 1);
  EXPECT_EQ(f.inventory.gathered, 1);
  EXPECT_EQ(f.inventory.guid, L"0123456789abcdef0123456789abcdef");
  EXPECT_EQ(f.job->startTime(), f.platform.NowSeconds());
  EXPECT_GT(f.job->config()->files[0].startTime, 0);
  EXPECT_EQ(f.job->config()->files[1].startTime, 0);
  EXPECT_TRUE(f.window.timerRunning[kProgressTimerId]);
}

TEST(ClientStartup, InstallerProgressFillsTwentyToEightyOnTheFirstAttemptOnly) {
  JobFixture f;
  f.client.installResults = {code(ClientError::NotInstalled), 0};
  f.client.installProgressSteps = {0, 33, 50, 100};
  EXPECT_EQ(runStartup(f), std::nullopt);
  EXPECT_EQ(f.client.installWithProgress, (std::vector<bool>{true, false}));
  const std::vector<int32_t> head(f.window.partProgress.begin(), f.window.partProgress.begin() + 7);
  EXPECT_EQ(head, (std::vector<int32_t>{20, 20, 20, 39, 50, 80, 80}));
}

TEST(ClientStartup, TheGuidIsFetchedAfterEveryInstallAttemptAndFailuresAreSilent) {
  JobFixture f;
  f.client.installResults = {code(ClientError::NotInstalled), 0};
  f.client.guidInitializeResult = code(ClientError::NotInstalled);
  EXPECT_EQ(runStartup(f), std::nullopt);
  EXPECT_EQ(countOf(f.client.calls, L"AKGetAttr"), 0);
  EXPECT_TRUE(f.inventory.guid.empty());

  JobFixture g;
  g.client.attrResult = code(ClientError::NetworkFailure);
  EXPECT_EQ(runStartup(g), std::nullopt);
  EXPECT_EQ(countOf(g.client.calls, L"TSUninitialize"), 1);
  EXPECT_TRUE(g.inventory.guid.empty());
}

struct FailureRow {
  int32_t code;
  std::wstring message;
};

void expectStartupFailure(JobFixture& f, const FailureRow& row, const wchar_t* call, int calls) {
  EXPECT_EQ(runStartup(f), 0) << row.code;
  EXPECT_EQ(countOf(f.client.calls, call), calls) << row.code;
  EXPECT_EQ(f.platform.sleeps, (std::vector<uint32_t>{1000, 1000, 1000, 500})) << row.code;
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].message, row.message);
  EXPECT_EQ(f.window.prompts[0].buttons[0].text, L"OK");
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].description, L"client text " + std::to_wstring(row.code));
  EXPECT_EQ(errors[0].code, row.code);
  EXPECT_TRUE(errors[0].flag);
  EXPECT_EQ(f.events.names().back(), L"download_cancel");
  EXPECT_TRUE(f.events.events.back().flag);
  EXPECT_EQ(f.job->state(), JobState::Starting);
  EXPECT_EQ(countOf(f.client.calls, L"AKDownload"), 0);
}

TEST(ClientStartup, InstallFailingFourTimesNamesTheLastCode) {
  const FailureRow kRows[] = {
      {code(ClientError::DiskIoFailure), L"Disk I/O Failure"},
      {code(ClientError::InsufficientMemory), L"Insufficient Memory"},
      {code(ClientError::InternalFailure), L"Internal Failure"},
      {code(ClientError::NotInstalled), L"Cannot install the download service."},
      {code(ClientError::InstallerExecError), L"Cannot install the download service."},
  };
  for (const FailureRow& row : kRows) {
    JobFixture f;
    f.client.installResults = {5, 5, 5, row.code};
    expectStartupFailure(f, row, L"TSInstall", 4);
    EXPECT_EQ(f.window.statusTexts, std::vector<std::wstring>(4, L"Starting download..."));
  }
}

// The service's installer refused by its signature check: the player sees the install failure,
// analytics learn which file failed and why.
TEST(ClientStartup, AnInstallerThatFailsVerificationIsNamedInTheErrorEvent) {
  JobFixture f;
  const int32_t failed = code(ClientError::VerificationFailed);
  f.client.errorTexts[failed] = L"%s failed verification";
  f.client.installResults = {failed, failed, failed, failed};
  EXPECT_EQ(runStartup(f), 0);
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].message, L"Cannot install the download service.");
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0].description, L"service_installer.exe failed verification");
  EXPECT_EQ(errors[0].code, failed);
  EXPECT_TRUE(errors[0].flag);
}

TEST(ClientStartup, InitialiseFailingFourTimesNamesTheLastCode) {
  const FailureRow kRows[] = {
      {code(ClientError::DiskIoFailure), L"Disk I/O Failure"},
      {code(ClientError::InsufficientMemory), L"Insufficient Memory"},
      {code(ClientError::InternalFailure), L"Internal Failure"},
      {code(ClientError::NotInstalled), L"Cannot install the download service."},
      {code(ClientError::NetworkFailure), L"Failed to initialize the download service"},
  };
  for (const FailureRow& row : kRows) {
    JobFixture f;
    f.client.guidInitializeResult = code(ClientError::NotInstalled);
    f.client.startupInitializeResults = {2, 2, 2, row.code};
    // One call for the GUID after the install, then the four attempts.
    expectStartupFailure(f, row, L"TSInitialize", 5);
  }
}

TEST(ClientStartup, ThirdRetrySucceedsWithoutAPrompt) {
  JobFixture f;
  f.client.installResults = {2, 2, 2, 0};
  f.client.startupInitializeResults = {5, 5, 5, 0};
  EXPECT_EQ(runStartup(f), std::nullopt);
  EXPECT_EQ(f.job->state(), JobState::Downloading);
  EXPECT_TRUE(f.window.prompts.empty());
  EXPECT_EQ(f.platform.sleeps, std::vector<uint32_t>(6, 1000));
}

TEST(ClientStartup, AnAttemptThatThrowsIsRepeatedButNotForever) {
  JobFixture f;
  f.client.installThrows = 2;
  f.client.initializeThrows = 3;
  EXPECT_EQ(runStartup(f), std::nullopt);
  EXPECT_EQ(f.job->state(), JobState::Downloading);
  EXPECT_EQ(countOf(f.client.calls, L"TSInstall"), 3);
  // Throwing attempts do not count towards the four, and the first real one still reports progress.
  EXPECT_EQ(f.client.installWithProgress, (std::vector<bool>{true, true, true}));
  EXPECT_TRUE(f.platform.sleeps.empty()) << "an attempt that throws starts over without a wait";

  JobFixture g;
  g.client.installThrows = 1000;
  EXPECT_EQ(runStartup(g), 0);
  EXPECT_EQ(countOf(g.client.calls, L"TSInstall"), kStartupExceptionRestarts + 1);
  ASSERT_EQ(g.window.prompts.size(), 1u);
  EXPECT_EQ(g.window.prompts[0].message, L"Internal Failure");
  EXPECT_EQ(g.platform.sleeps, std::vector<uint32_t>{500}) << "only the exit procedure's wait";

  JobFixture h;
  h.client.initializeThrows = 1000;
  EXPECT_EQ(runStartup(h), 0);
  ASSERT_EQ(h.window.prompts.size(), 1u);
  EXPECT_EQ(h.window.prompts[0].message, L"Internal Failure");
}

TEST(ClientStartup, AFileWhoseSizeNeverArrivesEndsTheRunWithAMessage) {
  JobFixture f;
  f.client.sizes[L"http://cdn.test/irf/file1.bin"] = 0;
  EXPECT_EQ(runStartup(f, 3), 0);
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].message, L"Cannot read the size of the game files, please retry later.");
  const auto errors = f.events.named(L"error");
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_TRUE(errors[0].flag);
  EXPECT_EQ(countOf(f.client.calls, L"AKGetFileSize http://cdn.test/irf/file2.bin C:\\TesselGames\\Downloader\\file2.bin"),
            0);
  EXPECT_EQ(f.events.names().back(), L"download_cancel");
}

// Disk check: 2 files of 1000 bytes, the client already holding some.
struct DiskRow {
  const char* name;
  uint64_t held;                  // of file 0
  std::deque<uint64_t> freeSpace;  // successive answers
  std::deque<int32_t> answers;    // to the disk prompt
  int prompts;
  bool ends;
};

TEST(DiskCheck, BoundariesAnswersAndTheOnceOnlyEvent) {
  const DiskRow kRows[] = {
      {"query failed: no check", 0, {0}, {}, 0, false},
      {"exactly enough", 0, {1, 2200}, {}, 0, false},
      {"one byte short, then freed", 0, {1, 2199, 2199, 5000}, {1, 1}, 2, false},
      {"nothing missing needs nothing", 1000, {1, 1100}, {}, 0, false},
      {"closed box measures again", 0, {1, 10, 9000}, {0}, 1, false},
      {"cancel ends the run", 0, {1, 10}, {2}, 1, true},
  };
  for (const DiskRow& row : kRows) {
    JobFixture f;
    f.client.held[L"http://cdn.test/irf/file0.exe"] = row.held;
    f.client.held[L"http://cdn.test/irf/file1.bin"] = row.held;
    f.platform.freeSpace = row.freeSpace;
    f.window.promptAnswers = row.answers;
    const auto exit = runStartup(f);
    EXPECT_EQ(exit.has_value(), row.ends) << row.name;
    EXPECT_EQ(static_cast<int>(f.window.prompts.size()), row.prompts) << row.name;
    EXPECT_EQ(f.events.named(L"error").size(), row.prompts > 0 ? 1u : 0u) << row.name;
    EXPECT_EQ(f.job->state(), row.ends ? JobState::Starting : JobState::Downloading) << row.name;
    if (row.prompts > 0) {
      EXPECT_EQ(f.window.prompts[0].message,
                L"Your computer doesn't have enough disk space to download this game. Please make sure you have at "
                L"least 2 KB free to continue.");
      EXPECT_EQ(f.window.prompts[0].buttons[0].text, L"Retry");
      EXPECT_EQ(f.window.prompts[0].buttons[1].text, L"Cancel");
      EXPECT_EQ(f.events.named(L"error")[0].description, L"Not enough disk space");
      EXPECT_FALSE(f.events.named(L"error")[0].flag);
    }
    if (row.ends) {
      EXPECT_TRUE(f.events.events.back().flag) << "download_cancel with the error flag";
      EXPECT_EQ(countOf(f.client.calls, L"TSUninitialize"), 1) << "only the guid fetch's";
    }
  }
}

TEST(DiskCheck, MillionMissingBytesNeedAMillionAndAHundredThousand) {
  const struct {
    uint64_t free;
    bool prompt;
  } kCases[] = {{1100000, false}, {1099999, true}};
  for (const auto& c : kCases) {
    JobFixture f;
    f.client.sizes[L"http://cdn.test/irf/file0.exe"] = 1500000;
    f.client.held[L"http://cdn.test/irf/file0.exe"] = 500000;
    f.platform.freeSpace = {1, c.free};
    f.window.promptAnswers = {2};
    f.StartAndReceiveSid();
    f.ExitCodeOf([&] { f.job->OnConfigReply(ConfigWithFiles(1)); });
    EXPECT_EQ(f.window.prompts.size(), c.prompt ? 1u : 0u) << c.free;
  }
}

TEST(DiskCheck, BeginReEnablesErrorReports) {
  JobFixture f;
  f.platform.freeSpace = {1, 10, 9000};
  f.window.promptAnswers = {1};
  EXPECT_EQ(runStartup(f), std::nullopt);
  EXPECT_TRUE(f.job->errorReportEnabled());
}

}  // namespace
}  // namespace downloadtest
