// The event catalogue against a fake job and clock: every event's own properties in order, the
// statistics record posted before it, the preconditions, and the number formats at their edges.
#include <gtest/gtest.h>

#include <functional>

#include "telemetry/event_catalogue.h"
#include "telemetry/event_values.h"
#include "tests/telemetry/ascii_text.h"
#include "tests/telemetry/telemetry_fakes.h"

namespace telemetrytest {
namespace {

constexpr uint64_t kGiB = 1ull << 30;

std::string Show(const PropertyList& list) {
  std::string out;
  for (const auto& [key, value] : list) out += Narrow(key) + "=" + Narrow(value) + " ";
  return out;
}

class EventCatalogueTest : public ::testing::Test {
 protected:
  EventCatalogueTest() : catalogue_(job_, system_, clock_, recorder_, recorder_) {
    // The second file is current: 100 of 400 bytes, started 90 s ago. The job started 179 s ago,
    // so its whole minutes (2) differ from the file's (1) and from a rounded figure (3).
    job_.files = {{L"1001", L"1", 1000, 1000, clock_.now - 500}, {L"1002", L"2", 400, 100, clock_.now - 90}};
    job_.currentIndex = 1;
    job_.startTime = clock_.now - 179;
    job_.fileSamples = {3 * 2048, 3};
    job_.totalSamples = {1023, 1};
  }

  FakeJob job_;
  FixedSystem system_;
  FakeClock clock_;
  Recorder recorder_;
  EventCatalogue catalogue_;
};

TEST_F(EventCatalogueTest, EachEventCarriesItsOwnPropertiesInOrderAfterItsRecord) {
  struct Case {
    const char* what;
    std::function<void(EventCatalogue&)> emit;
    std::wstring event;
    PropertyList own;
    bool withRecord;
    PropertyList record;
  } cases[] = {
      {"start", [](EventCatalogue& c) { c.Start(); }, L"start", {}, false, {}},
      {"auto start", [](EventCatalogue& c) { c.AutoStart(); }, L"auto_start", {}, false, {}},
      {"init", [](EventCatalogue& c) { c.DownloadInit(); }, L"download_init", {}, false, {}},
      {"stats",
       [](EventCatalogue& c) { c.Stats(); },
       L"stats",
       {{L"system_flash", L"flash"},
        {L"system_net", L"v4"},
        {L"system_ram", L"2.0GB"},
        {L"system_graphics_card", L"card"},
        {L"system_graphics_card_memory", L"256"},
        {L"system_processor_count", L"2"},
        {L"system_processor_core_count", L"4"},
        {L"system_processor_clock_speed", L"2400"}},
       false,
       {}},
      {"partial complete",
       [](EventCatalogue& c) { c.DownloadPartialComplete(); },
       L"download_partial_complete",
       {{L"file_piece", L"2"}, {L"elapsed_time", L"1.5"}, {L"approx_speed", L"2"}},
       true,
       {{L"event", L"partial_complete"}, {L"attr1", L"1002"}}},
      {"complete",
       [](EventCatalogue& c) { c.DownloadComplete(); },
       L"download_complete",
       {{L"elapsed_time", L"2"}, {L"approx_speed", L"0"}},
       true,
       {{L"event", L"complete"}, {L"attr1", L"game-7"}}},
      {"pause",
       [](EventCatalogue& c) { c.DownloadPause(); },
       L"download_pause",
       {{L"file_piece", L"2"}, {L"file_piece_completion", L"25"}},
       true,
       {{L"event", L"pause"}, {L"attr1", L"1002"}, {L"attr2", L"1100"}}},
      {"unpause", [](EventCatalogue& c) { c.DownloadUnpause(); }, L"download_unpause", {}, true, {{L"event", L"unpause"}}},
      {"cancel on error",
       [](EventCatalogue& c) { c.DownloadCancel(true); },
       L"download_cancel",
       {{L"error", L"1"}, {L"file_piece", L"2"}, {L"file_piece_completion", L"25"}},
       false,
       {}},
      {"cancel by the player",
       [](EventCatalogue& c) { c.DownloadCancel(false); },
       L"download_cancel",
       {{L"error", L"0"}, {L"file_piece", L"2"}, {L"file_piece_completion", L"25"}},
       false,
       {}},
      {"shutdown",
       [](EventCatalogue& c) { c.SystemShutdown(); },
       L"system_shutdown",
       {{L"file_piece", L"2"}, {L"file_piece_completion", L"25"}},
       false,
       {}},
      {"minimize", [](EventCatalogue& c) { c.MinimizeWindow(); }, L"minimize_window", {}, false, {}},
      {"restore", [](EventCatalogue& c) { c.RestoreWindow(); }, L"restore_window", {}, false, {}},
      {"connection error",
       [](EventCatalogue& c) { c.Error(L"Connection problems", 0, false); },
       L"error",
       {{L"ak_error", L"0"},
        {L"critical", L"0"},
        {L"description", L"Connection problems"},
        {L"file_piece", L"2"},
        {L"file_piece_completion", L"25"}},
       false,
       {}},
      {"client error",
       [](EventCatalogue& c) { c.Error(L"Disk I/O Failure", 12, true); },
       L"error",
       {{L"ak_error", L"12"},
        {L"critical", L"1"},
        {L"description", L"Disk I/O Failure"},
        {L"file_piece", L"2"},
        {L"file_piece_completion", L"25"}},
       false,
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    recorder_ = Recorder();
    c.emit(catalogue_);
    ASSERT_EQ(recorder_.events.size(), 1u);
    EXPECT_EQ(recorder_.events[0].name, c.event);
    EXPECT_EQ(recorder_.events[0].properties, c.own) << Show(recorder_.events[0].properties);
    if (c.withRecord) {
      ASSERT_EQ(recorder_.records.size(), 1u);
      EXPECT_EQ(recorder_.records[0], c.record) << Show(recorder_.records[0]);
      EXPECT_EQ(recorder_.order, (std::vector<std::wstring>{L"record", L"event " + c.event}));
    } else {
      EXPECT_TRUE(recorder_.records.empty());
    }
  }
}

TEST_F(EventCatalogueTest, GatedEventsSendNothingUnlessADownloadIsUnderWay) {
  struct Situation {
    bool hasConfig;
    TrackedState state;
    bool underWay;
  } situations[] = {
      {true, TrackedState::NotStarted, false}, {true, TrackedState::Starting, false},
      {false, TrackedState::Downloading, false}, {false, TrackedState::Completed, false},
      {true, TrackedState::Downloading, true},  {true, TrackedState::Paused, true},
      {true, TrackedState::Completed, true},
  };
  std::function<bool(EventCatalogue&)> gated[] = {
      [](EventCatalogue& c) { return c.DownloadPartialComplete(); },
      [](EventCatalogue& c) { return c.DownloadComplete(); },
      [](EventCatalogue& c) { return c.DownloadPause(); },
      [](EventCatalogue& c) { return c.DownloadUnpause(); },
  };
  for (const auto& situation : situations) {
    job_.hasConfig = situation.hasConfig;
    job_.state = situation.state;
    for (size_t i = 0; i < std::size(gated); ++i) {
      SCOPED_TRACE(testing::Message() << "state " << static_cast<int>(situation.state) << " config "
                                      << situation.hasConfig << " event " << i);
      recorder_ = Recorder();
      EXPECT_EQ(gated[i](catalogue_), situation.underWay);
      EXPECT_EQ(recorder_.events.size(), situation.underWay ? 1u : 0u);
      EXPECT_EQ(recorder_.records.size(), situation.underWay ? 1u : 0u);
    }
  }
}

TEST_F(EventCatalogueTest, WithoutADownloadUnderWayTheFileFiguresReadZero) {
  // The sid answer was bad: still Starting, no configuration yet.
  job_.hasConfig = false;
  job_.state = TrackedState::Starting;
  catalogue_.DownloadCancel(true);
  // Starting with a configuration whose first file already has bytes: not under way either.
  job_.hasConfig = true;
  job_.currentIndex = 0;
  catalogue_.SystemShutdown();
  catalogue_.Error(L"Game data is invalid.", 0, true);
  ASSERT_EQ(recorder_.events.size(), 3u);
  EXPECT_EQ(recorder_.events[0].properties,
            (PropertyList{{L"error", L"1"}, {L"file_piece", L"0"}, {L"file_piece_completion", L"0"}}));
  EXPECT_EQ(recorder_.events[1].properties, (PropertyList{{L"file_piece", L"0"}, {L"file_piece_completion", L"0"}}));
  EXPECT_EQ(recorder_.events[2].properties[3], (PropertyList::Pair{L"file_piece", L"0"}));
  EXPECT_EQ(recorder_.events[2].properties[4], (PropertyList::Pair{L"file_piece_completion", L"0"}));
}

TEST_F(EventCatalogueTest, PauseBeforeTheFileHasASizeReportsZeroCompletion) {
  job_.files[1].size = 0;
  job_.files[1].received = 0;
  ASSERT_TRUE(catalogue_.DownloadPause());
  EXPECT_EQ(recorder_.events[0].properties[1], (PropertyList::Pair{L"file_piece_completion", L"0"}));
}

TEST_F(EventCatalogueTest, PauseRecordCarriesTheWholeReceivedCountBeyond32Bits) {
  job_.files = {{L"r1", L"1", 2 * kGiB, 2 * kGiB, 0}, {L"r2", L"2", 4 * kGiB, kGiB, 0}};
  ASSERT_TRUE(catalogue_.DownloadPause());
  EXPECT_EQ(recorder_.records[0], (PropertyList{{L"event", L"pause"}, {L"attr1", L"r2"}, {L"attr2", L"3221225472"}}));
  EXPECT_EQ(recorder_.events[0].properties[1], (PropertyList::Pair{L"file_piece_completion", L"25"}));
}

TEST_F(EventCatalogueTest, CurrentIndexOutsideTheListReadsAsNoCurrentFile) {
  job_.currentIndex = 2;
  ASSERT_TRUE(catalogue_.DownloadPause());
  EXPECT_EQ(recorder_.records[0][1], (PropertyList::Pair{L"attr1", L""}));
  EXPECT_EQ(recorder_.events[0].properties, (PropertyList{{L"file_piece", L"0"}, {L"file_piece_completion", L"0"}}));
}

TEST(EventValues, FileCompletionIsTruncatedAndSafeAgainstZeroSize) {
  struct Case {
    uint64_t received;
    uint64_t size;
    const wchar_t* text;
  } cases[] = {{0, 0, L"0"},        {5, 0, L"0"},          {1, 3, L"33"},          {999, 1000, L"99"},
               {1000, 1000, L"100"}, {3 * kGiB, 4 * kGiB, L"75"}, {40 * kGiB, 41 * kGiB, L"97"},
               {500, 400, L"125"}};  // more than the size (a size that shrank) is not capped
  for (const auto& c : cases) EXPECT_EQ(FilePieceCompletion(c.received, c.size), c.text) << c.received << "/" << c.size;
}

TEST(EventValues, ApproxSpeedIsTheMeanInWholeKibibytes) {
  struct Case {
    uint64_t sum;
    uint64_t count;
    const wchar_t* text;
  } cases[] = {
      {0, 0, L"0"},
      {1023, 1, L"0"},
      {1024, 1, L"1"},
      {3 * 1023, 3, L"0"},
      {1536 * 2, 2, L"1"},
      {5 * 1048576, 1, L"5120"},
      {1ull << 41, 1, L"-2147483648"},  // the low 32 bits, as a signed number
      {1ull << 42, 1, L"0"},
  };
  for (const auto& c : cases) EXPECT_EQ(ApproxSpeed(c.sum, c.count), c.text) << c.sum << "/" << c.count;
}

TEST(EventValues, ElapsedTimes) {
  struct Case {
    int64_t seconds;
    const wchar_t* oneDecimal;
    const wchar_t* whole;
  } cases[] = {{0, L"0.0", L"0"},     {30, L"0.5", L"0"},   {59, L"1.0", L"0"},     {90, L"1.5", L"1"},
               {119, L"2.0", L"1"},   {120, L"2.0", L"2"}, {3600, L"60.0", L"60"}, {-90, L"-1.5", L"-1"}};
  for (const auto& c : cases) {
    EXPECT_EQ(ElapsedMinutesOneDecimal(1000000000 + c.seconds, 1000000000), c.oneDecimal) << c.seconds;
    EXPECT_EQ(ElapsedWholeMinutes(1000000000 + c.seconds, 1000000000), c.whole) << c.seconds;
  }
}

TEST(EventValues, NumbersAsTheyAreSent) {
  EXPECT_EQ(FormatLow32(0), L"0");
  EXPECT_EQ(FormatLow32(2147483647), L"2147483647");
  EXPECT_EQ(FormatLow32(2147483648u), L"-2147483648");
  EXPECT_EQ(FormatLow32((1ull << 32) + 7), L"7");
  EXPECT_EQ(FormatUnsigned64(0), L"0");
  EXPECT_EQ(FormatUnsigned64(18446744073709551615ull), L"18446744073709551615");
}

}  // namespace
}  // namespace telemetrytest
