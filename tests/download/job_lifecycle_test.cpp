// Start, the server hooks, the commands and every transition of the state table.
#include <gtest/gtest.h>

#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

const std::wstring kEulaKey = L"Software\\Tessel Games\\Downloader\\irf";

TEST(JobStart, DoesNothingWithoutAMainWindow) {
  JobFixture f;
  f.job->Start(false);
  EXPECT_EQ(f.job->state(), JobState::NotStarted);
  EXPECT_TRUE(f.events.events.empty());
  EXPECT_TRUE(f.server.requests.empty());

  f.window.createSucceeds = false;
  EXPECT_FALSE(f.job->CreateMainWindow());
  EXPECT_TRUE(f.job->settingsKeyPath().empty());
  f.job->Start(false);
  EXPECT_TRUE(f.events.events.empty());
}

TEST(JobStart, ShowsTheWindowMakesTheFoldersAndAsksForTheSid) {
  JobFixture f;
  f.platform.environment[L"SystemDrive"] = L"D:";
  f.platform.dwords[{kEulaKey, L"accepted_eula"}] = 1;
  ASSERT_TRUE(f.job->CreateMainWindow());
  EXPECT_EQ(f.job->settingsKeyPath(), L"Software\\Tessel Games\\Downloader");
  f.job->Start(false);
  EXPECT_EQ(f.job->state(), JobState::Starting);
  EXPECT_EQ(f.events.names(), std::vector<std::wstring>{L"start"});
  EXPECT_EQ(f.window.eulaShown, 0);
  EXPECT_EQ(f.platform.folders, (std::vector<std::wstring>{L"D:\\TesselGames", L"D:\\TesselGames\\Downloader"}));
  EXPECT_EQ(f.window.calls,
            (std::vector<std::wstring>{L"Create", L"Show", L"ResetProgressView", L"BringToForeground"}));
  EXPECT_EQ(f.window.partProgress, std::vector<int32_t>{3});
  EXPECT_EQ(f.server.requests, std::vector<std::wstring>{L"sid irf"});
  EXPECT_TRUE(f.job->errorReportEnabled());

  f.job->Start(false);  // a second start changes nothing
  EXPECT_EQ(f.server.requests.size(), 1u);
}

// The game's folder on the system drive is used when it can be made private; otherwise the same
// folders under the user's own local application data, where every file then goes.
TEST(JobStart, FallsBackToTheUsersOwnFolderWhenTheSharedOneCannotBeMadePrivate) {
  const std::wstring own = L"C:\\Users\\Ann Lee\\AppData\\Local";
  JobFixture f;
  f.platform.refusedFolders.insert(L"C:\\TesselGames\\Downloader");
  f.StartDownloading(2);
  EXPECT_EQ(f.platform.folders, (std::vector<std::wstring>{L"C:\\TesselGames", L"C:\\TesselGames\\Downloader",
                                                           own + L"\\TesselGames", own + L"\\TesselGames\\Downloader"}));
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(0, Reading(kFileComplete, 1000, 0)); }), 0);
  EXPECT_EQ(f.platform.opened, std::vector<std::wstring>{own + L"\\TesselGames\\Downloader\\file0.exe"});
  EXPECT_EQ(f.platform.openedIn, std::vector<std::wstring>{own + L"\\TesselGames\\Downloader"});

  // Neither can be made private: the user's own profile is still the safer of the two.
  JobFixture g;
  g.platform.refusedFolders = {L"C:\\TesselGames", own + L"\\TesselGames"};
  g.StartDownloading(1);
  EXPECT_EQ(g.ExitCodeOf([&] { g.Poll(0, Reading(kFileComplete, 1000, 0)); }), 0);
  EXPECT_EQ(g.platform.opened, std::vector<std::wstring>{own + L"\\TesselGames\\Downloader\\file0.exe"});
}

TEST(JobStart, AutoStartSendsItsOwnEvent) {
  JobFixture f;
  f.platform.dwords[{kEulaKey, L"accepted_eula"}] = 1;
  ASSERT_TRUE(f.job->CreateMainWindow());
  f.job->Start(true);
  EXPECT_EQ(f.events.names(), std::vector<std::wstring>{L"auto_start"});
}

TEST(Licence, ShownUnlessAcceptedBefore) {
  const struct {
    std::optional<uint32_t> stored;
    bool shown;
  } kCases[] = {{std::nullopt, true}, {0u, true}, {1u, false}, {7u, false}};
  for (const auto& c : kCases) {
    JobFixture f;
    if (c.stored) f.platform.dwords[{kEulaKey, L"accepted_eula"}] = *c.stored;
    ASSERT_TRUE(f.job->CreateMainWindow());
    f.job->Start(false);
    EXPECT_EQ(f.window.eulaShown, c.shown ? 1 : 0);
  }
}

TEST(Licence, AgreeingStoresItAndGoesOn) {
  JobFixture f;
  ASSERT_TRUE(f.job->CreateMainWindow());
  f.job->Start(false);
  EXPECT_EQ((f.platform.dwords[{kEulaKey, L"accepted_eula"}]), 1u);
  EXPECT_EQ(f.server.requests.size(), 1u);
}

TEST(Licence, AFailedWriteIsSilentAndTheRunGoesOn) {
  JobFixture f;
  f.platform.settingsWritable = false;
  ASSERT_TRUE(f.job->CreateMainWindow());
  f.job->Start(false);
  EXPECT_TRUE(f.platform.dwords.empty());
  EXPECT_EQ(f.server.requests.size(), 1u);
}

TEST(Licence, DecliningEndsTheRunBeforeAnyRequest) {
  JobFixture f;
  f.window.eulaAccepted = false;
  ASSERT_TRUE(f.job->CreateMainWindow());
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->Start(false); }), 0);
  EXPECT_TRUE(f.server.requests.empty());
  EXPECT_EQ(f.events.names(), (std::vector<std::wstring>{L"start", L"download_cancel"}));
  EXPECT_FALSE(f.events.events.back().flag);
  EXPECT_EQ(f.platform.sleeps, std::vector<uint32_t>{500});
  EXPECT_TRUE(f.client.calls.empty());
}

TEST(ServerHooks, ASidAsksForTheConfiguration) {
  JobFixture f;
  f.StartAndReceiveSid();
  EXPECT_EQ(f.job->sid(), L"sid1");
  EXPECT_EQ(f.server.requests, (std::vector<std::wstring>{L"sid irf", L"config irf sid1"}));
  EXPECT_EQ(f.window.partProgress.back(), 10);
}

TEST(ServerHooks, UnusableAnswersEndTheRunAfterOneMessage) {
  const struct {
    const char* name;
    std::function<void(DownloadJob&)> answer;
    std::wstring text;
  } kCases[] = {
      {"no sid", [](DownloadJob& job) { job.OnSidReply(std::nullopt); }, L"Cannot connect to server, please retry later."},
      {"empty sid", [](DownloadJob& job) { job.OnSidReply(std::wstring()); },
       L"Cannot connect to server, please retry later."},
      {"no configuration",
       [](DownloadJob& job) {
         job.OnSidReply(std::wstring(L"s"));
         job.OnConfigReply(nullptr);
       },
       L"Game data is invalid."},
      {"no files",
       [](DownloadJob& job) {
         job.OnSidReply(std::wstring(L"s"));
         job.OnConfigReply(ConfigWithFiles(0));
       },
       L"Game data is invalid."},
      {"a file outside the download folder",
       [](DownloadJob& job) {
         job.OnSidReply(std::wstring(L"s"));
         auto config = ConfigWithFiles(2);
         config->files[1].uri = L"http://cdn.test/x/..\\..\\Windows\\evil.exe";
         job.OnConfigReply(std::move(config));
       },
       L"Game data is invalid."},
      {"a malformed digest",
       [](DownloadJob& job) {
         job.OnSidReply(std::wstring(L"s"));
         auto config = ConfigWithFiles(2);
         config->files[0].sha256Text = std::wstring(64, L'a');
         config->files[1].sha256Text = std::wstring(63, L'a');
         job.OnConfigReply(std::move(config));
       },
       L"Game data is invalid."},
  };
  for (const auto& c : kCases) {
    JobFixture f;
    f.platform.dwords[{kEulaKey, L"accepted_eula"}] = 1;
    ASSERT_TRUE(f.job->CreateMainWindow());
    f.job->Start(false);
    EXPECT_EQ(f.ExitCodeOf([&] { c.answer(*f.job); }), 0) << c.name;
    const auto errors = f.events.named(L"error");
    ASSERT_EQ(errors.size(), 1u) << c.name;
    EXPECT_EQ(errors[0].description, c.text);
    EXPECT_EQ(errors[0].code, 0);
    EXPECT_TRUE(errors[0].flag);
    ASSERT_EQ(f.window.prompts.size(), 1u);
    EXPECT_EQ(f.window.prompts[0].message, c.text);
    EXPECT_EQ(f.window.prompts[0].buttons[0].text, L"OK");
    const auto cancels = f.events.named(L"download_cancel");
    ASSERT_EQ(cancels.size(), 1u);
    EXPECT_TRUE(cancels[0].flag);
    EXPECT_FALSE(cancels[0].job.downloadUnderWay);
    EXPECT_TRUE(f.client.calls.empty()) << c.name;
    EXPECT_EQ(f.window.retryTimerStarts, 0) << c.name << ": an unusable answer is not retried";
  }
}

TEST(ServerHooks, AConfigurationIsTakenOnlyOnce) {
  JobFixture f;
  f.StartDownloading(2);
  f.job->OnConfigReply(ConfigWithFiles(5));
  f.job->OnSidReply(std::wstring(L"other"));
  EXPECT_EQ(f.job->config()->files.size(), 2u);
  EXPECT_EQ(f.job->sid(), L"sid1");
  EXPECT_TRUE(f.client.calls.empty());
  EXPECT_TRUE(f.server.requests.empty());
}

TEST(ServerHooks, ConfigurationGetsLocalPathsAndStartsTheClient) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.job->OnConfigReply(ConfigWithFiles(1));
  ASSERT_NE(f.job->config(), nullptr);
  EXPECT_EQ(f.job->config()->files[0].localPath, L"C:\\TesselGames\\Downloader\\file0.exe");
  EXPECT_EQ(f.job->state(), JobState::Downloading);
}

// Which calls and events each transport operation makes in each state.
struct TransportRow {
  JobState from;
  int32_t command;
  JobState to;
  std::vector<std::wstring> clientCalls;
  std::vector<std::wstring> events;
};

void driveTo(JobFixture& f, JobState state) {
  if (state == JobState::Starting) {
    f.StartAndReceiveSid();
    f.ClearRecords();
    return;
  }
  f.StartDownloading(2);
  if (state == JobState::Paused) {
    f.job->Pause();
    f.ClearRecords();
  }
}

TEST(StateTable, PauseResumeAndToggleInEveryState) {
  const std::wstring url = L"http://cdn.test/irf/file0.exe";
  const std::wstring download = L"AKDownload " + url + L" C:\\TesselGames\\Downloader\\file0.exe";
  const TransportRow kRows[] = {
      {JobState::Starting, kCommandPause, JobState::Starting, {}, {}},
      {JobState::Starting, kCommandResume, JobState::Starting, {}, {}},
      {JobState::Starting, kCommandTogglePause, JobState::Starting, {}, {}},
      {JobState::Downloading, kCommandPause, JobState::Paused, {L"AKPause " + url}, {L"download_pause"}},
      {JobState::Downloading, kCommandResume, JobState::Downloading, {}, {}},
      {JobState::Downloading, kCommandTogglePause, JobState::Paused, {L"AKPause " + url}, {L"download_pause"}},
      {JobState::Paused, kCommandPause, JobState::Paused, {}, {}},
      {JobState::Paused, kCommandResume, JobState::Downloading, {download}, {L"download_unpause"}},
      {JobState::Paused, kCommandTogglePause, JobState::Downloading, {download}, {L"download_unpause"}},
  };
  for (const TransportRow& row : kRows) {
    JobFixture f;
    driveTo(f, row.from);
    EXPECT_TRUE(f.job->OnCommand(row.command));
    EXPECT_EQ(f.job->state(), row.to) << row.command;
    EXPECT_EQ(f.client.calls, row.clientCalls) << row.command;
    EXPECT_EQ(f.events.names(), row.events) << row.command;
    if (row.to == JobState::Paused && row.from != row.to) {
      EXPECT_EQ(f.window.calls, std::vector<std::wstring>{L"ShowResume"});
      EXPECT_EQ(f.window.statusTexts.back(), L"Paused - 0 B of 2.0 KB");
    }
    if (row.to == JobState::Downloading && row.from == JobState::Paused) {
      EXPECT_EQ(f.window.calls, std::vector<std::wstring>{L"HideResume"});
    }
  }
}

TEST(StateTable, PauseCancelsAPendingRetry) {
  JobFixture f;
  f.StartDownloading(1);
  f.job->ScheduleRetry(RetryReason::RetryDownload);
  f.job->Pause();
  EXPECT_EQ(f.job->retryReason(), RetryReason::RetryNone);
  EXPECT_EQ(f.job->retryCounters().level, 0);
  EXPECT_FALSE(f.window.timerRunning[kRetryTimerId]);
}

TEST(StateTable, PauseEventCarriesTheCurrentFile) {
  JobFixture f;
  f.StartDownloading(2);
  f.Poll(0, Reading(kFileDownloading, 250, 100));
  f.job->Pause();
  const auto pauses = f.events.named(L"download_pause");
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_TRUE(pauses[0].job.downloadUnderWay);
  EXPECT_EQ(pauses[0].job.rid, L"r0");
  EXPECT_EQ(pauses[0].job.rnum, L"1");
  EXPECT_EQ(pauses[0].job.fileReceived, 250u);
  EXPECT_EQ(pauses[0].job.fileSize, 1000u);
  EXPECT_EQ(pauses[0].job.totalReceived, 250u);
  EXPECT_EQ(pauses[0].job.sid, L"sid1");
}

TEST(StateTable, MinimiseAndRestoreSendEventsOnlyOnceTheDownloadStarted) {
  const struct {
    JobState state;
    bool events;
  } kCases[] = {{JobState::NotStarted, false}, {JobState::Starting, false},
                {JobState::Downloading, true}, {JobState::Paused, true}};
  for (const auto& c : kCases) {
    JobFixture f;
    if (c.state != JobState::NotStarted) driveTo(f, c.state);
    EXPECT_TRUE(f.job->OnCommand(kCommandMinimise));
    EXPECT_TRUE(f.job->OnCommand(kCommandOpenDownload));
    EXPECT_EQ(f.window.calls, (std::vector<std::wstring>{L"MinimiseToTray", L"RestoreFromTray"}));
    EXPECT_EQ(f.window.statusTexts.size(), 2u) << "the status is refreshed each time";
    const std::vector<std::wstring> expected =
        c.events ? std::vector<std::wstring>{L"minimize_window", L"restore_window"} : std::vector<std::wstring>{};
    EXPECT_EQ(f.events.names(), expected) << static_cast<int>(c.state);
  }
}

TEST(Commands, UnknownIdsAreNotTheJobs) {
  JobFixture f;
  EXPECT_FALSE(f.job->OnCommand(1002));
  EXPECT_FALSE(f.job->OnCommand(0));
  f.job->OnTimer(300);
  EXPECT_TRUE(f.window.calls.empty());
  EXPECT_TRUE(f.client.calls.empty());
}

TEST(SystemShutdown, InStartingWritesTheResumeEntryWithoutTouchingTheClient) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.ClearRecords();
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->OnSystemShutdown(); }), 0);
  EXPECT_TRUE(f.client.calls.empty());
  EXPECT_EQ(f.platform.runOnce[L"Iron Fable Downloader"],
            L"\"C:\\Users\\Ann Lee\\Downloads\\Iron Fable Downloader.exe\" auto");
  EXPECT_EQ(f.events.names(), std::vector<std::wstring>{L"system_shutdown"});
  EXPECT_EQ(f.platform.sleeps, std::vector<uint32_t>{2000});
}

TEST(SystemShutdown, WhileDownloadingPausesTheFileAndKeepsEverything) {
  JobFixture f;
  f.StartDownloading(3);
  EXPECT_EQ(f.ExitCodeOf([&] { f.job->OnSystemShutdown(); }), 0);
  EXPECT_EQ(f.client.calls,
            (std::vector<std::wstring>{L"AKPause http://cdn.test/irf/file0.exe", L"TSUninitialize"}));
  EXPECT_EQ(f.job->state(), JobState::Paused);
  EXPECT_EQ(f.events.names(), std::vector<std::wstring>{L"system_shutdown"});
}

TEST(ProcessJob, MadeOnceAndKept) {
  static JobFixture f;
  EXPECT_EQ(GetDownloadJob(), nullptr);
  JobServices services{f.window, f.client, f.server, f.events, f.inventory, f.platform, f.game, f.files};
  DownloadJob& first = CreateDownloadJob(services);
  EXPECT_EQ(&CreateDownloadJob(services), &first);
  EXPECT_EQ(GetDownloadJob(), &first);
}

}  // namespace
}  // namespace downloadtest
