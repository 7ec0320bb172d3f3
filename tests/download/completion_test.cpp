// The next file, and the hand-off to the installer after the last one.
#include <gtest/gtest.h>

#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

TEST(Completion, OneFileHandsOffToItsInstaller) {
  JobFixture f;
  f.StartDownloading(1);
  f.platform.Advance(90000);
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(0, Reading(kFileComplete, 1000, 0)); }), 0);
  EXPECT_EQ(f.events.names(),
            (std::vector<std::wstring>{L"download_partial_complete", L"download_complete"}));
  const RecordedEvent& complete = f.events.events[1];
  EXPECT_EQ(complete.job.fileId, L"fid");
  EXPECT_EQ(complete.job.now - complete.job.jobStartTime, 91) << "one second after the switch to Completed";
  EXPECT_EQ(f.job->state(), JobState::Completed);
  EXPECT_EQ(f.window.calls, std::vector<std::wstring>{L"HideTransportButtons"});
  EXPECT_EQ(f.window.statusTexts.back(), L"Completed - 1.0 KB");
  EXPECT_EQ(f.window.tooltips.back(), L"Completed - 1.0 KB");
  EXPECT_EQ(f.window.partProgress.back(), 100);
  EXPECT_EQ(f.window.totalProgress.back(), 100);
  ASSERT_EQ(f.window.prompts.size(), 1u);
  EXPECT_EQ(f.window.prompts[0].icon, PromptIcon::Success);
  EXPECT_EQ(f.window.prompts[0].message, L"Download successful. Please install the application.");
  EXPECT_EQ(f.platform.sleeps, (std::vector<uint32_t>{1000, 500}));
  EXPECT_EQ(f.platform.opened, std::vector<std::wstring>{L"C:\\TesselGames\\Downloader\\file0.exe"});
  EXPECT_EQ(f.client.calls, (std::vector<std::wstring>{L"AKGetFileAttr http://cdn.test/irf/file0.exe",
                                                       L"TSUninitialize"}));
}

TEST(Completion, ThreeFilesMoveOnTwiceThenOpenTheFirst) {
  JobFixture f;
  f.StartDownloading(3);
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  f.Poll(0, Reading(kFileComplete, 1000, 0));
  EXPECT_EQ(f.window.calls, (std::vector<std::wstring>{L"Part 2/3", L"Part 3/3"}));
  EXPECT_TRUE(f.platform.opened.empty());
  f.window.promptAnswers = {kPromptClosed};
  EXPECT_EQ(f.ExitCodeOf([&] { f.Poll(0, Reading(kFileComplete, 1000, 0)); }), 0);
  EXPECT_EQ(f.events.named(L"download_partial_complete").size(), 3u);
  EXPECT_EQ(f.events.named(L"download_partial_complete")[2].job.rnum, L"3");
  EXPECT_EQ(f.platform.opened, std::vector<std::wstring>{L"C:\\TesselGames\\Downloader\\file0.exe"});
  for (const std::wstring& call : f.client.calls) EXPECT_EQ(call.find(L"AKDelete"), std::wstring::npos);
}

TEST(Completion, FileSamplesRestartWithEachFile) {
  JobFixture f;
  f.StartDownloading(2);
  f.Poll(0, Reading(kFileDownloading, 500, 4096));
  f.Poll(0, Reading(kFileComplete, 1000, 8192));
  const auto partial = f.events.named(L"download_partial_complete");
  ASSERT_EQ(partial.size(), 1u);
  EXPECT_EQ(partial[0].job.fileSamples.MeanRate(), 4096u);
  EXPECT_EQ(f.job->fileSamples().count, 0u);
  EXPECT_EQ(f.job->totalSamples().count, 1u);
  EXPECT_EQ(f.job->speed(), 4116u) << "the speed carries over to the next file";
}

}  // namespace
}  // namespace downloadtest
