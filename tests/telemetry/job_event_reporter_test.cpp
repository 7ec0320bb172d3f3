// The controller's event calls through the reporter: the right event with the snapshot's
// figures and time, statistics records under the game code and the snapshot's sid, and nothing
// from gated events when no download is under way.
#include <gtest/gtest.h>

#include "telemetry/job_event_reporter.h"
#include "testbed/analytics_sink.h"
#include "tests/telemetry/telemetry_fakes.h"
#include "tests/telemetry/track_readback.h"

namespace telemetrytest {
namespace {

struct PostedStats {
  std::wstring gameCode;
  std::wstring sid;
  PropertyList record;
};

class RecordingStatsRequests : public StatsRequests {
 public:
  void PostStats(const std::wstring& gameCode, const std::wstring& sid, const PropertyList& record) override {
    posts.push_back({gameCode, sid, record});
  }
  std::vector<PostedStats> posts;
};

class JobEventReporterTest : public ::testing::Test {
 protected:
  JobEventReporterTest() : reporter_(game_, system_, clock_, transport_, stats_) {
    game_.code = L"irf";
    clock_.now = 1700000000;
    snapshot_.now = 1000000090;
    snapshot_.downloadUnderWay = true;
    snapshot_.sid = L"sid-9";
    snapshot_.fileId = L"game-7";
    snapshot_.rid = L"1002";
    snapshot_.rnum = L"2";
    snapshot_.fileReceived = 300;
    snapshot_.fileSize = 400;
    snapshot_.fileStartTime = 1000000000;
    snapshot_.totalReceived = 3ull << 30;
    // Every figure distinct from the others, so a field read in place of another shows.
    snapshot_.jobStartTime = 1000000090 - 179;
    snapshot_.fileSamples.sum = 4096;
    snapshot_.fileSamples.count = 2;
    snapshot_.totalSamples.sum = 3 * 10240;
    snapshot_.totalSamples.count = 3;
  }

  testbed::TrackedEvent OnlyEvent() {
    EXPECT_EQ(transport_.paths.size(), 1u);
    return transport_.paths.empty() ? testbed::TrackedEvent{} : ReadBack(transport_.paths[0]);
  }

  GameInfo game_;
  FixedSystem system_;
  FakeClock clock_;
  RecordingTransport transport_;
  RecordingStatsRequests stats_;
  JobSnapshot snapshot_;
  JobEventReporter reporter_;
};

TEST_F(JobEventReporterTest, SnapshotEventsCarryTheSnapshotsFiguresAndTime) {
  reporter_.DownloadPartialComplete(snapshot_);
  testbed::TrackedEvent event = OnlyEvent();
  ASSERT_TRUE(event.readable) << event.error;
  EXPECT_EQ(event.event, "download_partial_complete");
  EXPECT_EQ(event.property("file_piece"), "2");
  EXPECT_EQ(event.property("elapsed_time"), "1.5");
  EXPECT_EQ(event.property("approx_speed"), "2");
  EXPECT_EQ(event.property("time"), "1000000090");
  ASSERT_EQ(stats_.posts.size(), 1u);
  EXPECT_EQ(stats_.posts[0].gameCode, L"irf");
  EXPECT_EQ(stats_.posts[0].sid, L"sid-9");
  EXPECT_EQ(stats_.posts[0].record, (PropertyList{{L"event", L"partial_complete"}, {L"attr1", L"1002"}}));
}

TEST_F(JobEventReporterTest, PauseCompleteAndErrorsReadTheSnapshot) {
  reporter_.DownloadPause(snapshot_);
  reporter_.DownloadComplete(snapshot_);
  reporter_.Error(L"Insufficient Memory", 5, true, snapshot_);
  ASSERT_EQ(transport_.paths.size(), 3u);
  testbed::TrackedEvent pause = ReadBack(transport_.paths[0]);
  EXPECT_EQ(pause.property("file_piece_completion"), "75");
  EXPECT_EQ(stats_.posts[0].record[2], (PropertyList::Pair{L"attr2", L"3221225472"}));
  testbed::TrackedEvent complete = ReadBack(transport_.paths[1]);
  EXPECT_EQ(complete.property("elapsed_time"), "2");
  EXPECT_EQ(complete.property("approx_speed"), "10");
  EXPECT_EQ(stats_.posts[1].record, (PropertyList{{L"event", L"complete"}, {L"attr1", L"game-7"}}));
  testbed::TrackedEvent error = ReadBack(transport_.paths[2]);
  EXPECT_EQ(error.event, "error");
  EXPECT_EQ(error.property("ak_error"), "5");
  EXPECT_EQ(error.property("critical"), "1");
  EXPECT_EQ(error.property("description"), "Insufficient Memory");
  EXPECT_EQ(error.property("file_piece"), "2");
}

TEST_F(JobEventReporterTest, UnpauseShutdownAndCancelUnderWay) {
  // A file that holds more than its size says: the completion is reported as it is, not capped.
  snapshot_.fileReceived = 500;
  reporter_.DownloadUnpause(snapshot_);
  reporter_.SystemShutdown(snapshot_);
  reporter_.DownloadCancel(false, snapshot_);
  ASSERT_EQ(transport_.paths.size(), 3u);
  ASSERT_EQ(stats_.posts.size(), 1u);
  EXPECT_EQ(stats_.posts[0].sid, L"sid-9");
  EXPECT_EQ(stats_.posts[0].record, (PropertyList{{L"event", L"unpause"}}));
  struct Expected {
    const char* event;
    std::vector<std::pair<std::string, std::string>> own;
  } expected[] = {
      {"download_unpause", {}},
      {"system_shutdown", {{"file_piece", "2"}, {"file_piece_completion", "125"}}},
      {"download_cancel", {{"error", "0"}, {"file_piece", "2"}, {"file_piece_completion", "125"}}},
  };
  for (size_t i = 0; i < std::size(expected); ++i) {
    testbed::TrackedEvent event = ReadBack(transport_.paths[i]);
    ASSERT_TRUE(event.readable) << event.error;
    EXPECT_EQ(event.event, expected[i].event);
    ASSERT_EQ(event.properties.size(), expected[i].own.size() + 13) << expected[i].event;
    for (size_t k = 0; k < expected[i].own.size(); ++k) {
      EXPECT_EQ(event.properties[k].first, expected[i].own[k].first) << expected[i].event;
      EXPECT_EQ(event.property(expected[i].own[k].first), expected[i].own[k].second) << expected[i].event;
    }
    EXPECT_EQ(event.property("time"), "1000000090") << expected[i].event;
  }
}

TEST_F(JobEventReporterTest, NothingUnderWayGatesAndZeroesTheFileFigures) {
  snapshot_.downloadUnderWay = false;
  reporter_.DownloadPartialComplete(snapshot_);
  reporter_.DownloadComplete(snapshot_);
  reporter_.DownloadPause(snapshot_);
  reporter_.DownloadUnpause(snapshot_);
  EXPECT_TRUE(transport_.paths.empty());
  EXPECT_TRUE(stats_.posts.empty());
  reporter_.DownloadCancel(true, snapshot_);
  testbed::TrackedEvent cancel = OnlyEvent();
  EXPECT_EQ(cancel.event, "download_cancel");
  EXPECT_EQ(cancel.property("error"), "1");
  EXPECT_EQ(cancel.property("file_piece"), "0");
  EXPECT_EQ(cancel.property("file_piece_completion"), "0");
}

TEST_F(JobEventReporterTest, EventsWithoutASnapshotUseTheClock) {
  struct Case {
    void (JobEventReporter::*emit)();
    const char* event;
    size_t ownProperties;
  } cases[] = {{&JobEventReporter::Start, "start", 0},
               {&JobEventReporter::AutoStart, "auto_start", 0},
               {&JobEventReporter::DownloadInit, "download_init", 0},
               {&JobEventReporter::Stats, "stats", 8},
               {&JobEventReporter::MinimizeWindow, "minimize_window", 0},
               {&JobEventReporter::RestoreWindow, "restore_window", 0}};
  for (const auto& c : cases) {
    transport_.paths.clear();
    (reporter_.*c.emit)();
    testbed::TrackedEvent event = OnlyEvent();
    EXPECT_EQ(event.event, c.event);
    EXPECT_EQ(event.properties.size(), c.ownProperties + 13) << c.event;
    EXPECT_EQ(event.property("time"), "1700000000") << c.event;
  }
  EXPECT_TRUE(stats_.posts.empty());
}

}  // namespace
}  // namespace telemetrytest
