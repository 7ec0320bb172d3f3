// The stand-in service really downloading from the testbed origin: whole files byte for byte,
// pause and resume, a restart on the same state folder, a lost origin, stalls, missing files and
// the reset request. Files are small and the origin is throttled where a download must be caught
// half-way.
#include <gtest/gtest.h>

#include <fstream>
#include <mutex>
#include <thread>
#include <vector>

#include "web/socket_io.h"
#include "tests/service/service_fixture.h"

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kSlowOrigin = 400 * 1024;  // bytes per second when a download must be caught midway

using ServiceDownload = ServiceFixture;

// The next file from the same origin goes on the connection the last one's answer came on.
TEST_F(ServiceDownload, ConsecutiveFilesFromOneOriginShareAKeptConnection) {
  startOrigin();
  startService();
  const std::string first = publish("first.bin", 300 * 1024, 1);
  const std::string second = publish("second.bin", 200 * 1024, 2);
  ASSERT_TRUE(waitForStatus(startDownload("first.bin", "C:\\first.bin"), "COMPLETE"));
  ASSERT_TRUE(waitForStatus(startDownload("second.bin", "C:\\second.bin"), "COMPLETE"));
  EXPECT_TRUE(readFile(driveC() / "second.bin") == second);
  std::vector<std::string> connections;
  std::ifstream in(originLog());
  for (std::string line; std::getline(in, line);) {
    const size_t at = line.find("\"connection\":");
    if (at != std::string::npos) connections.push_back(line.substr(at, line.find(',', at) - at));
  }
  ASSERT_EQ(connections.size(), 2u);
  EXPECT_EQ(connections[0], connections[1]) << "a new connection for the second file";
}

TEST_F(ServiceDownload, FetchesAMultiMegabyteFileByteForByte) {
  startOrigin();
  startService();
  std::string content = publish("big.bin", 6 * 1024 * 1024 + 17, 42);
  std::string url = startDownload("big.bin", "C:\\users\\me\\Downloads\\big.bin");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 30000));
  EXPECT_EQ(readFile(driveC() / "users" / "me" / "Downloads" / "big.bin"), content);
  JsonObject state = attributes(url);
  EXPECT_EQ(state["size"].number, static_cast<int64_t>(content.size()));
  EXPECT_EQ(state["uniquerecv"].number, static_cast<int64_t>(content.size()));
  EXPECT_EQ(state["progress"].number, 100);
  EXPECT_EQ(state["downloadrate"].number, 0);
}

TEST_F(ServiceDownload, WithoutAPathTheFileGoesUnderTheStateFolder) {
  startOrigin();
  startService();
  std::string content = publish("nopath.bin", 20000, 3);
  std::string url = startDownload("nopath.bin", "");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  fs::path reported = fs::u8path(attributes(url)["path"].text);
  EXPECT_EQ(reported.parent_path(), stateDir() / "files");
  EXPECT_EQ(readFile(reported), content);
}

TEST_F(ServiceDownload, PauseHoldsTheBytesAndDownloadFileResumesWithARange) {
  startOrigin(kSlowOrigin);
  startService();
  std::string content = publish("paused.bin", 600 * 1024, 5);
  std::string url = startDownload("paused.bin", "C:\\paused.bin");
  ASSERT_TRUE(waitForBytes(url, 100 * 1024));
  JsonObject moving = attributes(url);
  EXPECT_EQ(moving["status"].text, "DOWNLOADING");
  EXPECT_GT(moving["downloadrate"].number, 0);
  EXPECT_EQ(moving["size"].number, static_cast<int64_t>(content.size()));

  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "null");
  JsonObject paused = attributes(url);
  EXPECT_EQ(paused["status"].text, "PAUSED");
  EXPECT_EQ(paused["downloadrate"].number, 0);
  auto heldOnDisk = fs::file_size(driveC() / "paused.bin");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(fs::file_size(driveC() / "paused.bin"), heldOnDisk);
  EXPECT_LT(heldOnDisk, content.size());

  startDownload("paused.bin", "C:\\paused.bin");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "paused.bin"), content);
  std::vector<std::string> ranges = originRanges("paused.bin");
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0], "");
  EXPECT_EQ(ranges[1], "bytes=" + std::to_string(heldOnDisk) + "-");
}

TEST_F(ServiceDownload, ANewServiceOnTheSameStateFolderFinishesWhatWasLeft) {
  startOrigin(kSlowOrigin);
  startService();
  std::string content = publish("resumed.bin", 600 * 1024, 6);
  publish("held.bin", 600 * 1024, 7);
  std::string url = startDownload("resumed.bin", "C:\\resumed.bin");
  std::string held = startDownload("held.bin", "C:\\held.bin");
  ASSERT_TRUE(waitForBytes(url, 64 * 1024));
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", held)), held), "null");
  stopService();
  auto leftOnDisk = fs::file_size(driveC() / "resumed.bin");
  ASSERT_GT(leftOnDisk, 0u);
  ASSERT_LT(leftOnDisk, content.size());

  // No downloadFile this time: the new service knows the files from its state folder.
  startService();
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "resumed.bin"), content);
  EXPECT_EQ(attributes(url)["path"].text, "C:\\resumed.bin");
  EXPECT_EQ(attributes(held)["status"].text, "PAUSED");
  std::vector<std::string> ranges = originRanges("resumed.bin");
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1], "bytes=" + std::to_string(leftOnDisk) + "-");
}

// The origin's file is replaced (same size, other bytes) while the service is stopped half-way: the
// rest of the new version must never be appended to the start of the old one, whether the origin
// honours If-Range (it sends the new version whole) or ignores it (the service sees another
// version in the answer and starts again from zero).
TEST_F(ServiceDownload, AFileChangedAtTheOriginIsFetchedAgainWholeNeverSpliced) {
  for (bool honours : {true, false}) {
    SCOPED_TRACE(honours ? "the origin honours If-Range" : "the origin ignores If-Range");
    const std::string name = honours ? "changed-a.bin" : "changed-b.bin";
    originHonoursIfRange_ = honours;
    startOrigin(kSlowOrigin);
    startService();
    publish(name, 600 * 1024, 11);
    const std::string url = startDownload(name, "C:\\" + name);
    ASSERT_TRUE(waitForBytes(url, 64 * 1024));
    stopService();
    const uint16_t port = originPort_;
    stopOrigin();
    ASSERT_LT(fs::file_size(driveC() / name), 600u * 1024);

    const std::string replaced = publish(name, 600 * 1024, 12);
    fs::last_write_time(originRoot() / name, fs::last_write_time(originRoot() / name) + std::chrono::seconds(5));
    startOrigin(0, port);
    startService();
    ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
    EXPECT_TRUE(readFile(driveC() / name) == replaced) << "two versions spliced together";
    const std::vector<std::string> ranges = originRanges(name);
    ASSERT_GE(ranges.size(), 2u);
    EXPECT_NE(ranges[1], "") << "the resume asked for the rest";
    if (!honours) {
      EXPECT_EQ(ranges.back(), "") << "then the whole file again";
    }
    stopService();
    stopOrigin();
  }
}

TEST_F(ServiceDownload, LostOriginGivesDisconnectedThenTheFileIsRetried) {
  startOrigin(kSlowOrigin);
  uint16_t port = originPort_;
  startService();
  std::string content = publish("lost.bin", 500 * 1024, 8);
  std::string url = startDownload("lost.bin", "C:\\lost.bin");
  ASSERT_TRUE(waitForBytes(url, 64 * 1024));
  stopOrigin();
  ASSERT_TRUE(waitForStatus(url, "DISCONNECTED"));
  startOrigin(0, port);
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "lost.bin"), content);
}

TEST_F(ServiceDownload, StalledFileReportsDownloadingButMovesNoBytes) {
  startOrigin(kSlowOrigin);
  startService();
  std::string content = publish("stalled.bin", 400 * 1024, 9);
  std::string url = originUrl("stalled.bin");
  control("stall=" + encode(url));
  startDownload("stalled.bin", "C:\\stalled.bin");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  JsonObject stalled = attributes(url);
  EXPECT_EQ(stalled["status"].text, "DOWNLOADING");
  EXPECT_EQ(stalled["downloadrate"].number, 0);
  EXPECT_EQ(stalled["uniquerecv"].number, 0);
  control("unstall=" + encode(url));
  ASSERT_TRUE(waitForBytes(url, 32 * 1024));
  control("stall=*");
  int64_t frozen = uniqueReceived(url);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // At most the piece that was being written when the stall began.
  EXPECT_LE(uniqueReceived(url) - frozen, 256 * 1024);
  int64_t later = uniqueReceived(url);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(uniqueReceived(url), later);
  EXPECT_EQ(attributes(url)["downloadrate"].number, 0);
  control("unstall=*");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "stalled.bin"), content);
}

TEST_F(ServiceDownload, MissingOriginFileIsReportedNotFound) {
  startOrigin();
  startService();
  std::string url = startDownload("absent.bin", "C:\\absent.bin");
  ASSERT_TRUE(waitForStatus(url, "NOTFOUND"));
  EXPECT_EQ(attributes(url)["error"].number, 404);
  // Published later, the next retry finds it.
  std::string content = publish("absent.bin", 1000, 10);
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "absent.bin"), content);
}

TEST_F(ServiceDownload, RedirectsAreFollowedForAFewHopsOnly) {
  originRedirects_ = {{"/moved.bin", "/twice.bin"}, {"/twice.bin", "/game.bin"}, {"/loop.bin", "/loop.bin"},
                      {"/nowhere.bin", "ftp://example.com/game.bin"}};
  startOrigin();
  startService();
  std::string content = publish("game.bin", 300000, 12);
  std::string moved = startDownload("moved.bin", "C:\\moved.bin");
  ASSERT_TRUE(waitForStatus(moved, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "moved.bin"), content);

  std::string loop = startDownload("loop.bin", "C:\\loop.bin");
  ASSERT_TRUE(waitForStatus(loop, "DISCONNECTED"));
  EXPECT_EQ(attributes(loop)["errorstring"].text, "too many redirects");
  std::string nowhere = startDownload("nowhere.bin", "C:\\nowhere.bin");
  ASSERT_TRUE(waitForStatus(nowhere, "DISCONNECTED"));
  EXPECT_EQ(attributes(nowhere)["errorstring"].text, "the origin's redirect leads nowhere");
}

TEST_F(ServiceDownload, ResetRequestStaysUntilDownloadFileResetsAndRefetchesFromZero) {
  startOrigin();
  startService();
  std::string content = publish("reset.bin", 30000, 11);
  std::string url = startDownload("reset.bin", "C:\\reset.bin");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  control("resetdownload=" + encode(url));
  EXPECT_TRUE(attributes(url)["resetdownload"].boolean);
  startDownload("reset.bin", "C:\\reset.bin");
  EXPECT_TRUE(attributes(url)["resetdownload"].boolean);
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", url, "&path=" + encode("C:\\reset.bin") + "&resetdownload=1")), url),
            "null");
  EXPECT_FALSE(attributes(url)["resetdownload"].boolean);
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / "reset.bin"), content);
  EXPECT_EQ(attributes(url)["totalrecv"].number, 2 * static_cast<int64_t>(content.size()));
  std::vector<std::string> ranges = originRanges("reset.bin");
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1], "");  // from the first byte, not resumed
}

// The system is asked to stay awake exactly while some file is being fetched: not while paused,
// finished, or waiting to retry an origin that failed, and once however many files are fetched.
TEST_F(ServiceDownload, KeepsTheSystemAwakeOnlyWhileAFileIsFetched) {
  std::mutex mutex;
  std::vector<bool> requests;
  auto last = [&] {
    std::lock_guard<std::mutex> lock(mutex);
    return requests.empty() ? std::string("none") : requests.back() ? "awake" : "may sleep";
  };
  startOrigin(kSlowOrigin);
  startService([&](svc::ServiceOptions& options) {
    options.retryDelay = std::chrono::seconds(5);  // a failed file waits, so it is caught waiting
    options.keepAwake = [&](bool awake) {
      std::lock_guard<std::mutex> lock(mutex);
      requests.push_back(awake);
    };
  });
  EXPECT_EQ(last(), "none");
  std::string content = publish("awake.bin", 400 * 1024, 12);
  publish("second.bin", 300 * 1024, 13);
  std::string url = startDownload("awake.bin", "C:\\awake.bin");
  ASSERT_TRUE(waitForBytes(url, 32 * 1024));
  EXPECT_EQ(last(), "awake");
  std::string second = startDownload("second.bin", "C:\\second.bin");
  ASSERT_TRUE(waitForBytes(second, 32 * 1024));
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "null");
  EXPECT_EQ(last(), "awake");  // the second file is still under way
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", second)), second), "null");
  EXPECT_EQ(last(), "may sleep");

  startDownload("awake.bin", "C:\\awake.bin");
  ASSERT_TRUE(waitFor([&] { return last() == "awake"; }, std::chrono::seconds(5)));
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_TRUE(waitFor([&] { return last() == "may sleep"; }, std::chrono::seconds(5)));

  std::string missing = startDownload("absent.bin", "C:\\absent.bin");
  ASSERT_TRUE(waitForStatus(missing, "NOTFOUND"));
  EXPECT_TRUE(waitFor([&] { return last() == "may sleep"; }, std::chrono::seconds(2)));
  std::lock_guard<std::mutex> lock(mutex);
  for (size_t i = 1; i < requests.size(); ++i) EXPECT_NE(requests[i], requests[i - 1]) << "request " << i;
}

// A restarted service may find its port still taken for a while (on Windows by connections of the
// last one lingering in TIME_WAIT): it keeps trying for as long as it is told, and no longer.
TEST_F(ServiceDownload, StartWaitsForAPortInUseAsLongAsItsPatienceAllows) {
  uint16_t port = 0;
  auto holder = std::make_unique<web::Socket>(web::listenOnLoopback(0, &port));
  ASSERT_TRUE(holder->valid());
  {
    svc::ServiceOptions options;
    options.stateDir = stateDir();
    svc::DownloadService impatient(options);
    std::string error;
    EXPECT_FALSE(impatient.start(port, &error));
    EXPECT_NE(error.find(std::to_string(port)), std::string::npos) << error;
  }
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    holder.reset();
  });
  svc::ServiceOptions options;
  options.stateDir = stateDir();
  options.bindPatience = std::chrono::seconds(10);
  svc::DownloadService patient(options);
  const auto began = std::chrono::steady_clock::now();
  std::string error;
  EXPECT_TRUE(patient.start(port, &error)) << error;
  EXPECT_GE(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(600));
  release.join();
  EXPECT_EQ(patient.port(), port);
}

// A service that did not stop cleanly (killed, or the machine lost power) cannot trust the last
// bytes of a file it was writing: NTFS may keep a file's new size without the data written last.
// Its successor fetches the last 4 MiB again; after a clean stop, it resumes at the end.
TEST_F(ServiceDownload, AfterAnUncleanStopTheLastFourMebibytesAreFetchedAgain) {
  constexpr int64_t kTail = 4 * 1024 * 1024;
  startOrigin(8 * 1024 * 1024);
  startService();
  std::string content = publish("tail.bin", 14 * 1024 * 1024, 14);
  std::string url = startDownload("tail.bin", "C:\\tail.bin");
  ASSERT_TRUE(waitForBytes(url, 6 * 1024 * 1024));
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "null");
  EXPECT_TRUE(fs::exists(stateDir() / "running")) << "a running service marks its state folder";
  stopService();
  EXPECT_FALSE(fs::exists(stateDir() / "running")) << "a clean stop leaves no mark";
  const int64_t held = static_cast<int64_t>(fs::file_size(driveC() / "tail.bin"));
  ASSERT_GT(held, kTail);

  // The mark left as a killed service leaves it.
  writeFile(stateDir() / "running", "running\n");
  startService();
  startDownload("tail.bin", "C:\\tail.bin");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE", 30000));
  EXPECT_EQ(readFile(driveC() / "tail.bin"), content);
  std::vector<std::string> ranges = originRanges("tail.bin");
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[1], "bytes=" + std::to_string(held - kTail) + "-");
}

// A configuration may name a file as it is (an IRI, in UTF-8): the request goes out
// percent-encoded, and the file keeps its name on disk.
TEST_F(ServiceDownload, AFileNamedOutsideAsciiIsFetchedByItsEncodedName) {
  startOrigin();
  startService();
  const std::string name = "Gr\xC3\xB6\xC3\x9F" "e \xE3\x83\x87\xE3\x83\xBC\xE3\x82\xBF.bin";
  std::string content = publish(name, 5000, 17);
  std::string url = originUrl(name);
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", url, "&path=" + encode("C:\\" + name))), url), "null");
  ASSERT_TRUE(waitForStatus(url, "COMPLETE"));
  EXPECT_EQ(readFile(driveC() / fs::u8path(name)), content);
  EXPECT_NE(readFile(originLog()).find("Gr%C3%B6%C3%9Fe%20%E3%83%87%E3%83%BC%E3%82%BF.bin"), std::string::npos)
      << readFile(originLog());
}

// The service writes a file only where its path leads without a link on the way: a folder swapped
// for a link to somewhere else (the player's Startup folder) gets nothing written through it, and
// the file says why.
TEST_F(ServiceDownload, NothingIsWrittenThroughALinkOnTheWay) {
  startOrigin(kSlowOrigin);
  startService();
  std::string content = publish("linked.bin", 300 * 1024, 15);
  fs::create_directories(driveC() / "games");
  std::string url = startDownload("linked.bin", "C:\\games\\linked.bin");
  ASSERT_TRUE(waitForBytes(url, 32 * 1024));
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "null");
  // Swapped while the file is paused: the folder becomes a link to another folder.
  const fs::path elsewhere = temp_.path() / "Startup";
  fs::create_directories(elsewhere);
  fs::rename(driveC() / "games", temp_.path() / "games-before");
  fs::create_directory_symlink(elsewhere, driveC() / "games");
  startDownload("linked.bin", "C:\\games\\linked.bin");
  ASSERT_TRUE(waitForStatus(url, "FORBIDDEN"));
  JsonObject refused = attributes(url);
  EXPECT_NE(refused["errorstring"].text.find("leads somewhere else"), std::string::npos) << refused["errorstring"].text;
  EXPECT_TRUE(fs::is_empty(elsewhere)) << "a file was written through the link";

  // A new file whose path passes through the link is refused the same way.
  publish("new.bin", 1000, 16);
  std::string fresh = startDownload("new.bin", "C:\\games\\new.bin");
  ASSERT_TRUE(waitForStatus(fresh, "FORBIDDEN"));
  EXPECT_TRUE(fs::is_empty(elsewhere));
}

// The file itself swapped, while paused, for a second name of another of the player's files (a
// hard link): resuming would write that file, so it is refused like a link, and the file is kept.
TEST_F(ServiceDownload, NothingIsWrittenIntoAFileThatHasASecondName) {
  startOrigin(kSlowOrigin);
  startService();
  publish("twin.bin", 300 * 1024, 18);
  std::string url = startDownload("twin.bin", "C:\\twin.bin");
  ASSERT_TRUE(waitForBytes(url, 32 * 1024));
  EXPECT_EQ(outcome(call(apiTarget("pauseFile", url)), url), "null");
  const fs::path precious = driveC() / "precious.txt";
  {
    std::ofstream out(precious, std::ios::binary);
    out << "the player's own file";
  }
  fs::remove(driveC() / "twin.bin");
  fs::create_hard_link(precious, driveC() / "twin.bin");
  startDownload("twin.bin", "C:\\twin.bin");
  ASSERT_TRUE(waitForStatus(url, "FORBIDDEN"));
  EXPECT_NE(attributes(url)["errorstring"].text.find("leads somewhere else"), std::string::npos);
  EXPECT_EQ(readFile(precious), "the player's own file");
}

}  // namespace
}  // namespace svctest
