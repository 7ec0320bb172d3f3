// Large files over several connections against the testbed origin: the bytes are whole and
// in place whatever the origin does between segments (a new version, a 200 to a range, a cap on
// connections, a silent body), and a service that dies mid-file resumes each segment where its
// flushed bytes end.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <memory>
#include <set>

#include "service/file_registry.h"
#include "service/rate_budget.h"
#include "service/segment_plan.h"
#include "tests/service/service_fixture.h"

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

constexpr int64_t kMiB = 1024 * 1024;
constexpr uint64_t kPerConnection = 2 * kMiB;  // the origin's pace of each connection, bytes per second

class SegmentedDownload : public ServiceFixture {
 protected:
  // Files from 4 MiB on go in segments of at least 1 MiB over up to four connections.
  void startSegmentedService(int connections = 4,
                             std::chrono::milliseconds recordEvery = std::chrono::milliseconds(100),
                             std::function<svc::FarWrites(svc::TargetFile&)> prepareFarWrites = nullptr) {
    startService([connections, recordEvery, prepareFarWrites](svc::ServiceOptions& options) {
      options.prepareFarWrites = prepareFarWrites;
      options.segments.connections = connections;
      options.segments.threshold = 4 * kMiB;
      options.segments.minSegment = kMiB;
      options.segments.recordEvery = recordEvery;
      options.segments.recordAfterBytes = kMiB;
      options.segments.firstWait = std::chrono::milliseconds(50);
    });
  }

  // The ranges with an end ("bytes=A-B") the origin was asked for, as [A, B].
  std::vector<std::pair<int64_t, int64_t>> segmentRequests(const std::string& name) {
    std::vector<std::pair<int64_t, int64_t>> asked;
    for (const std::string& range : originRanges(name)) {
      long long first = 0;
      long long last = 0;
      if (std::sscanf(range.c_str(), "bytes=%lld-%lld", &first, &last) == 2) asked.emplace_back(first, last);
    }
    return asked;
  }

  std::optional<svc::SegmentPlan> recordedPlan(const std::string& url) {
    std::ifstream in(stateDir() / "registry.txt");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (const svc::FileRecord& record : svc::readRegistryText(text, nullptr)) {
      if (record.url == url) return svc::SegmentPlan::Parse(record.segments, record.size);
    }
    return std::nullopt;
  }
};

TEST_F(SegmentedDownload, ALargeFileComesOverFourConnectionsByteForByteAndSmallOnesOverOne) {
  startOrigin(kPerConnection);
  startSegmentedService();
  const std::string content = publish("large.bin", 12 * kMiB + 12345, 3);
  const std::string small = publish("small.bin", 3 * kMiB, 4);
  const std::string url = startDownload("large.bin", "C:\\large.bin");
  const std::string smallUrl = startDownload("small.bin", "C:\\small.bin");
  // Four connections at 2 MiB/s each: about 1.5 s; one would take 6 s.
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 30000));
  ASSERT_TRUE(waitForStatus(smallUrl, "COMPLETE", 30000));
  EXPECT_TRUE(readFile(driveC() / "large.bin") == content);
  EXPECT_TRUE(readFile(driveC() / "small.bin") == small);
  JsonObject state = attributes(url);
  EXPECT_EQ(state["uniquerecv"].number, static_cast<int64_t>(content.size()));
  EXPECT_EQ(state["progress"].number, 100);

  const auto asked = segmentRequests("large.bin");
  std::set<int64_t> starts;
  for (const auto& range : asked) starts.insert(range.first);
  EXPECT_GE(starts.size(), 4u) << "four segments at least, more when connections took halves";
  EXPECT_EQ(originRanges("small.bin"), std::vector<std::string>{""});
  EXPECT_FALSE(recordedPlan(url)) << "a complete file keeps no segments";
}

// The player's speed limit, set through the API, holds for a large file and a small one together:
// the large one still comes in segments, byte for byte, and both take no less than the limit
// allows (the origin itself is not paced). A limit the service cannot take is refused.
TEST_F(SegmentedDownload, UnderASpeedLimitFilesStillComeInSegmentsNoFasterThanTheLimit) {
  startOrigin();
  startSegmentedService();
  constexpr int64_t kLimit = 4 * kMiB;
  JsonObject set = call("/api?function=setDownloadLimit&cid=0&apiversion=capi_1.8.0.5&bytespersecond=" +
                        std::to_string(kLimit));
  EXPECT_EQ(set["downloadlimit"].number, kLimit);
  EXPECT_EQ(call("/api?function=getClientAttributes&cid=0&apiversion=capi_1.8.0.5&complete")["downloadlimit"].number,
            kLimit);
  EXPECT_EQ(api_->get("/api?function=setDownloadLimit&cid=0&apiversion=capi_1.8.0.5&bytespersecond=-5").status, 400);
  EXPECT_EQ(api_->get("/api?function=setDownloadLimit&cid=0&apiversion=capi_1.8.0.5").status, 400);

  const std::string content = publish("large.bin", 8 * kMiB, 5);
  const std::string small = publish("small.bin", 2 * kMiB, 6);
  const auto began = std::chrono::steady_clock::now();
  const std::string url = startDownload("large.bin", "C:\\large.bin");
  const std::string smallUrl = startDownload("small.bin", "C:\\small.bin");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 30000));
  ASSERT_TRUE(waitForStatus(smallUrl, "COMPLETE", 30000));
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
  // 10 MiB at 4 MiB/s, less the one burst a start may take.
  EXPECT_GE(seconds, (10.0 * kMiB - static_cast<double>(svc::RateBudget::burstFor(kLimit))) / kLimit);
  EXPECT_TRUE(readFile(driveC() / "large.bin") == content);
  EXPECT_TRUE(readFile(driveC() / "small.bin") == small);
  std::set<int64_t> starts;
  for (const auto& range : segmentRequests("large.bin")) starts.insert(range.first);
  EXPECT_GE(starts.size(), 4u) << "a limit does not cost the segments";
}

// A file system without sparse files (FAT32 or exFAT: USB drives, SD cards) would write zeros up to
// each far segment's first byte while the other connections wait: there a large file comes over one
// connection, written in order. Where the file is made sparse, it comes in segments.
TEST_F(SegmentedDownload, WhereFarWritesWouldBeZeroFilledALargeFileComesOverOneConnection) {
  for (const svc::FarWrites system : {svc::FarWrites::ZeroFilled, svc::FarWrites::Sparse}) {
    const bool sparse = system == svc::FarWrites::Sparse;
    SCOPED_TRACE(sparse ? "sparse" : "zero-filled");
    auto asked = std::make_shared<std::atomic<int>>(0);
    startOrigin(4 * kPerConnection);
    startSegmentedService(4, std::chrono::milliseconds(100), [system, asked](svc::TargetFile&) {
      ++*asked;
      return system;
    });
    const std::string content = publish("large.bin", 6 * kMiB + 777, 5);
    publish("small.bin", kMiB, 6);
    const std::string url = startDownload("large.bin", "C:\\large.bin");
    const std::string smallUrl = startDownload("small.bin", "C:\\small.bin");
    ASSERT_TRUE(waitForStatus(url, "COMPLETE", 30000));
    ASSERT_TRUE(waitForStatus(smallUrl, "COMPLETE", 30000));
    EXPECT_TRUE(readFile(driveC() / "large.bin") == content);
    EXPECT_EQ(segmentRequests("large.bin").empty(), !sparse);
    EXPECT_EQ(originRanges("large.bin").size() == 1, !sparse) << "one whole request";
    EXPECT_GE(asked->load(), 1) << "the large file's system was asked";
    stopService();
    stopOrigin();
    fs::remove(driveC() / "large.bin");
    fs::remove(driveC() / "small.bin");
    fs::remove(stateDir() / "registry.txt");
  }
}

TEST_F(SegmentedDownload, ANewVersionBetweenSegmentsOrA200ToARangeStartsTheFileOverOnOneConnection) {
  for (bool newVersion : {true, false}) {
    SCOPED_TRACE(newVersion ? "a new version between segments" : "the origin answers ranges with 200");
    const std::string name = newVersion ? "changing.bin" : "whole.bin";
    originAdjust_ = [newVersion](testbed::OriginOptions& options) {
      options.ignoreRanges = !newVersion;
      // Two connections at once: the other two segments are asked for after the change.
      if (newVersion) options.maxBodiesAtOnce = 2;
    };
    startOrigin(kPerConnection);
    startSegmentedService();
    std::string content = publish(name, 10 * kMiB, 5);
    const std::string url = startDownload(name, "C:\\" + name);
    if (newVersion) {
      ASSERT_TRUE(waitForBytes(url, 2 * kMiB));
      // Put in place as a host does, by a rename: answers under way keep sending the old version.
      const fs::path file = originRoot() / name;
      const fs::path next = temp_.path() / "next.bin";
      content = patternBytes(10 * kMiB, 6);
      writeFile(next, content);
      fs::last_write_time(next, fs::last_write_time(file) + std::chrono::seconds(5));
      fs::rename(next, file);
    }
    ASSERT_TRUE(waitForStatus(url, "COMPLETE", 40000));
    EXPECT_TRUE(readFile(driveC() / name) == content) << "two versions, or two copies, spliced together";
    EXPECT_EQ(originRanges(name).back(), "") << "the last request fetched the file whole";
    stopService();
    stopOrigin();
  }
}

// A file begun over one connection (an older service, or segments off) whose origin now sends a
// new version whole: the segments start from byte 0, not from the old version's bytes on disk.
TEST_F(SegmentedDownload, AFileResumedIntoSegmentsKeepsOnlyBytesOfTheVersionItFetches) {
  startOrigin(kPerConnection);
  startSegmentedService(1);
  publish("begun.bin", 10 * kMiB, 9);
  const std::string url = startDownload("begun.bin", "C:\\begun.bin");
  ASSERT_TRUE(waitForBytes(url, kMiB));
  stopService();
  const fs::path file = originRoot() / "begun.bin";
  const fs::path next = temp_.path() / "next.bin";
  const std::string content = patternBytes(10 * kMiB, 10);
  writeFile(next, content);
  fs::last_write_time(next, fs::last_write_time(file) + std::chrono::seconds(5));
  fs::rename(next, file);

  startSegmentedService();
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 30000));
  EXPECT_TRUE(readFile(driveC() / "begun.bin") == content) << "the old version's first bytes were kept";
  EXPECT_GE(segmentRequests("begun.bin").size(), 2u) << "the new version came in segments";
}

TEST_F(SegmentedDownload, AnOriginCappingConnectionsGetsFewerAndASilentOneIsLeftAndContinued) {
  originAdjust_ = [](testbed::OriginOptions& options) {
    options.maxBodiesAtOnce = 2;
    options.retryAfterSeconds = 1;
    options.silentBodies = 2;  // the first request, and one of the segments
    options.silentAfterBytes = 256 * 1024;
  };
  startOrigin(kPerConnection);
  startSegmentedService();
  const std::string content = publish("capped.bin", 8 * kMiB, 7);
  const std::string url = startDownload("capped.bin", "C:\\capped.bin");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 40000));
  EXPECT_TRUE(readFile(driveC() / "capped.bin") == content);
  EXPECT_GT(origin_->busyAnswers(), 0) << "the cap was reached";
  EXPECT_LE(origin_->busyAnswers(), 6) << "a refused connection is not asked for again and again";
}

// The service dies (its list as the disk had it at some moment, and its running mark left
// behind) with four segments under way; the next one resumes each segment from the bytes its
// list says were flushed, asks for no byte twice beyond that, and the file is byte-identical.
// The first service records only by the bytes that came, never by the clock.
TEST_F(SegmentedDownload, AServiceKilledMidFileResumesEverySegmentWhereItsFlushedBytesEnd) {
  startOrigin(kPerConnection);
  startSegmentedService(4, std::chrono::hours(1));
  const std::string content = publish("killed.bin", 16 * kMiB, 8);
  const std::string url = startDownload("killed.bin", "C:\\killed.bin");
  std::optional<svc::SegmentPlan> atDeath;
  ASSERT_TRUE(waitFor(
      [&] {
        atDeath = recordedPlan(url);
        if (!atDeath || atDeath->segments().size() < 4) return false;
        for (const svc::Segment& segment : atDeath->segments()) {
          if (segment.next == segment.begin) return false;
        }
        return true;
      },
      std::chrono::seconds(10)));
  const fs::path list = stateDir() / "registry.txt";
  const std::string listAtDeath = [&] {
    std::ifstream in(list);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }();
  atDeath = recordedPlan(url);
  ASSERT_TRUE(atDeath);
  stopService();
  {
    std::ofstream out(list, std::ios::trunc);
    out << listAtDeath;
    std::ofstream mark(stateDir() / "running");
    mark << "running\n";
  }
  const size_t before = originRanges("killed.bin").size();

  startSegmentedService();
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 40000));
  EXPECT_TRUE(readFile(driveC() / "killed.bin") == content);
  const std::vector<std::string> ranges = originRanges("killed.bin");
  int64_t askedAgain = 0;
  std::set<int64_t> resumedFrom;
  for (size_t i = before; i < ranges.size(); ++i) {
    long long first = 0;
    long long last = 0;
    ASSERT_EQ(std::sscanf(ranges[i].c_str(), "bytes=%lld-%lld", &first, &last), 2) << "not a segment: " << ranges[i];
    resumedFrom.insert(first);
    askedAgain += last - first + 1;
  }
  for (const svc::Segment& segment : atDeath->segments()) {
    if (segment.left() > 0) {
      EXPECT_TRUE(resumedFrom.count(segment.next)) << "segment " << segment.begin;
    }
  }
  EXPECT_LE(askedAgain, static_cast<int64_t>(content.size()) - atDeath->bytesOnDisk())
      << "a range was fetched twice";
}

}  // namespace
}  // namespace testbedtest
