// The player's download speed: the limit the service is given for each choice and each state of
// the desktop, what the status line and the tooltip then say, and what is remembered.
// (Wine's shell never reports a full-screen program, so the decision is tested here, natively.)
#include "download/speed_choice.h"

#include <gtest/gtest.h>

#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

const std::wstring kGameKey = L"Software\\Tessel Games\\Downloader\\irf";

TEST(SpeedChoice, TheLimitIsThePlayersOwnOrOneMegabyteWhileAFullScreenProgramRuns) {
  SpeedChoice choice;  // no limit, slow down while playing: the defaults
  EXPECT_EQ(EffectiveDownloadLimit(choice, false), 0u);
  EXPECT_EQ(EffectiveDownloadLimit(choice, true), kWhilePlayingLimit);
  EXPECT_TRUE(SlowedDownForPlay(choice, true));
  choice.limitMiB = 25;
  EXPECT_EQ(EffectiveDownloadLimit(choice, false), 25 * kBytesPerMiB);
  EXPECT_EQ(EffectiveDownloadLimit(choice, true), kWhilePlayingLimit);
  choice.limitMiB = 1;  // the lower of the two: the player's own, which is then no slow-down
  EXPECT_EQ(EffectiveDownloadLimit(choice, true), kBytesPerMiB);
  EXPECT_FALSE(SlowedDownForPlay(choice, true));
  choice = SpeedChoice{10, false};
  EXPECT_EQ(EffectiveDownloadLimit(choice, true), 10 * kBytesPerMiB) << "the player turned the slow-down off";
  choice.limitMiB = 7;  // not a step (a hand-edited registry): no limit, as stored values that are no step read
  EXPECT_EQ(EffectiveDownloadLimit(choice, false), 0u);

  EXPECT_EQ(LimitNote(SpeedChoice{5, true}, false), L"limited to 5.0 MB/sec");
  EXPECT_EQ(LimitNote(SpeedChoice{5, true}, true), L"slowed down while you play");
  EXPECT_EQ(LimitNote(SpeedChoice{0, true}, false), L"");
  EXPECT_EQ(SpeedStepText(0), L"No limit");
  EXPECT_EQ(SpeedStepText(3), L"5 MB/s");
}

TEST(SpeedChoice, OnlyAGameOrFilmOnTheDesktopCountsAsPlaying) {
  for (NotificationState state : {NotificationState::Busy, NotificationState::RunningD3DFullScreen,
                                  NotificationState::PresentationMode}) {
    EXPECT_TRUE(MeansFullScreenProgram(static_cast<int32_t>(state))) << static_cast<int32_t>(state);
  }
  for (NotificationState state : {NotificationState::NotPresent, NotificationState::AcceptsNotifications,
                                  NotificationState::QuietTime, NotificationState::App}) {
    EXPECT_FALSE(MeansFullScreenProgram(static_cast<int32_t>(state))) << static_cast<int32_t>(state);
  }
  EXPECT_FALSE(MeansFullScreenProgram(0));
}

// The choice reaches the service at once, is remembered for the next run, and the slow-down
// follows the desktop within a tick; a service is asked only when the limit changes.
TEST(SpeedChoice, AChoiceReachesTheServiceAtOnceAndIsRememberedAndTheSlowDownFollowsTheDesktop) {
  JobFixture f;
  f.client.sizes[L"http://cdn.test/irf/file0.exe"] = 10485760;
  f.StartDownloading(1);
  EXPECT_EQ(f.client.limits, std::vector<uint64_t>{0}) << "a service that ran before may keep an old limit";
  f.Poll(0, Reading(kFileDownloading, 1048576, 1048576));
  EXPECT_EQ(f.client.limits.size(), 1u) << "not asked again while nothing changed";
  EXPECT_EQ(f.window.statusTexts.back().find(L"limited"), std::wstring::npos);

  EXPECT_TRUE(f.job->OnCommand(kCommandSpeedStepFirst + 3));  // 5 MB/s
  EXPECT_EQ(f.client.limits.back(), 5 * kBytesPerMiB);
  EXPECT_EQ((f.platform.dwords[{kGameKey, kDownloadLimitValue}]), 5u);
  EXPECT_NE(f.window.statusTexts.back().find(L" \u2014 limited to 5.0 MB/sec"), std::wstring::npos)
      << f.window.statusTexts.back();

  f.platform.fullScreen = true;
  f.Poll(0, Reading(kFileDownloading, 2097152, 1048576));
  EXPECT_EQ(f.client.limits.back(), kWhilePlayingLimit);
  EXPECT_NE(f.window.tooltips.back().find(L"\nslowed down while you play"), std::wstring::npos) << f.window.tooltips.back();
  f.job->OnCommand(kCommandSlowDownWhilePlaying);  // off: the player's own limit again
  EXPECT_EQ(f.client.limits.back(), 5 * kBytesPerMiB);
  EXPECT_EQ((f.platform.dwords[{kGameKey, kSlowDownWhilePlayingValue}]), 0u);
  f.job->OnCommand(kCommandSlowDownWhilePlaying);
  f.platform.fullScreen = false;
  f.Poll(0, Reading(kFileDownloading, 3145728, 1048576));
  EXPECT_EQ(f.client.limits.back(), 5 * kBytesPerMiB) << "the game ended: back within a tick";
  // A service started again meanwhile has no limit: it is given again now and then.
  const size_t asked = f.client.limits.size();
  for (int tick = 0; tick < kLimitRenewTicks; ++tick) f.Poll(0, Reading(kFileDownloading, 4194304, 1048576));
  EXPECT_EQ(f.client.limits.size(), asked + 1);
  EXPECT_EQ(f.client.limits.back(), 5 * kBytesPerMiB);
  f.job->OnCommand(kCommandSpeedStepFirst);  // No limit
  EXPECT_EQ(f.client.limits.back(), 0u);
  for (int tick = 0; tick < kLimitRenewTicks; ++tick) f.Poll(0, Reading(kFileDownloading, 5242880, 1048576));
  EXPECT_EQ(f.client.limits.back(), 0u);
  EXPECT_EQ(f.client.limits.size(), asked + 2) << "no limit is what a service starts with: not asked again";
  EXPECT_FALSE(f.job->OnCommand(kCommandSpeedStepFirst + kSpeedStepCount + 1)) << "no such step";

  // The next run (an automatic resume too) starts with what was chosen.
  JobFixture next;
  next.platform.dwords = f.platform.dwords;
  next.platform.dwords[{kGameKey, kDownloadLimitValue}] = 10;
  next.client.sizes[L"http://cdn.test/irf/file0.exe"] = 10485760;
  next.StartDownloading(1);
  EXPECT_EQ(next.client.limits, std::vector<uint64_t>{10 * kBytesPerMiB});
  EXPECT_EQ(next.job->speedChoice().limitMiB, 10u);
  EXPECT_TRUE(next.job->speedChoice().slowDownWhilePlaying);
}

// Chosen before the download began (the licence still open, the service being installed), the
// limit waits for the client start-up instead of reaching for a client that is not ready.
TEST(SpeedChoice, AChoiceBeforeTheDownloadBeganIsGivenWhenItBegins) {
  JobFixture f;
  f.StartAndReceiveSid();
  f.job->OnCommand(kCommandSpeedStepFirst + 1);
  EXPECT_TRUE(f.client.limits.empty());
  f.job->OnConfigReply(ConfigWithFiles(1));
  EXPECT_EQ(f.client.limits, std::vector<uint64_t>{kBytesPerMiB});
}

}  // namespace
}  // namespace downloadtest
