// The client library, through the program's wrappers, against the testbed's stand-in service on
// 127.0.0.1:9421 fetching real bytes from a testbed origin.
#include <gtest/gtest.h>
#include <string.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "service_client/client_errors.h"
#include "service_client/download_request.h"
#include "service_client/exported_wrappers.h"
#include "service_client/service_interface.h"
#include "service/download_service.h"
#include "testbed/misbehaviour.h"
#include "testbed/origin_server.h"
#include "tests/support/temp_folder.h"

namespace {

using std::chrono::milliseconds;

std::string generatedContent(size_t size) {
  std::mt19937 random(7);
  std::string content(size, '\0');
  for (auto& byte : content) byte = static_cast<char>(random());
  return content;
}

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class LibraryWithServiceTest : public ::testing::Test {
 protected:
  static constexpr size_t kFileSize = 6 * 1024 * 1024;

  void SetUp() override {
    content_ = generatedContent(kFileSize);
    std::filesystem::create_directories(temp_.path() / "origin");
    std::ofstream(temp_.path() / "origin" / "game.bin", std::ios::binary) << content_;
  }

  void TearDown() override {
    TSUninitialize();
    service_.reset();
    origin_.reset();
  }

  void startOrigin(uint64_t throttle = 0) {
    testbed::OriginOptions options;
    options.root = temp_.path() / "origin";
    options.throttleBytesPerSecond = throttle;
    origin_ = std::make_unique<testbed::OriginServer>(options);
    std::string error;
    ASSERT_TRUE(origin_->start(0, &error)) << error;
    url_ = "http://127.0.0.1:" + std::to_string(origin_->port()) + "/game.bin";
  }

  void startService() {
    testbed::ServiceOptions options;
    options.stateDir = temp_.path() / "state";
    options.logPath = (temp_.path() / "service.log").u8string();
    options.retryDelay = milliseconds(100);
    options.hooks = &misbehaviour_;
    service_ = std::make_unique<testbed::DownloadService>(std::move(options));
    std::string error;
    ASSERT_TRUE(service_->start(service_client::kServicePort, &error)) << error;
    ASSERT_EQ(TSInitialize(), 0);
  }

  void misbehave(const std::string& query) { misbehaviour_.apply(testbed::parseQuery(query)); }

  FileAttributes state() {
    FileAttributes record;
    memset(&record, 0, sizeof record);
    EXPECT_EQ(AKGetFileAttr(wide(url_).c_str(), &record), 0);
    return record;
  }

  bool waitForStatus(int32_t status, int limitMs = 20000) {
    for (int waited = 0; waited < limitMs; waited += 50) {
      if (state().status == status) return true;
      std::this_thread::sleep_for(milliseconds(50));
    }
    return false;
  }

  std::string target() const { return (temp_.path() / "downloads" / "game.bin").u8string(); }
  std::string onDisk() const { return testsupport::readWholeFile(target()); }
  std::string serviceLog() const { return testsupport::readWholeFile(temp_.path() / "service.log"); }

  testsupport::TempFolder temp_;
  std::string content_;
  std::string url_;
  std::unique_ptr<testbed::OriginServer> origin_;
  testbed::Misbehaviour misbehaviour_;
  std::unique_ptr<testbed::DownloadService> service_;
};

TEST_F(LibraryWithServiceTest, SizeThenDownloadGivesTheOriginsBytes) {
  startOrigin();
  startService();
  std::filesystem::create_directories(temp_.path() / "downloads");
  EXPECT_EQ(AKGetFileSize(wide(url_).c_str(), wide(target()).c_str()), kFileSize);
  EXPECT_EQ(AKDownload(wide(url_).c_str(), wide(target()).c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFileComplete));
  FileAttributes done = state();
  EXPECT_EQ(done.size, static_cast<int64_t>(kFileSize));
  EXPECT_EQ(AKGetReceivedSize(wide(url_).c_str()), kFileSize);
  EXPECT_TRUE(onDisk() == content_);
  EXPECT_EQ(AKPause(wide(url_).c_str()), static_cast<int32_t>(ClientError::AlreadyDownloaded));
}

TEST_F(LibraryWithServiceTest, PauseThenRetryResumesFromTheBytesHeld) {
  startOrigin(2 * 1024 * 1024);
  startService();
  std::filesystem::create_directories(temp_.path() / "downloads");
  ASSERT_EQ(AKDownload(wide(url_).c_str(), wide(target()).c_str()), 0);
  std::this_thread::sleep_for(milliseconds(800));
  ASSERT_EQ(AKPause(wide(url_).c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFilePaused));
  int64_t held = state().uniquerecv;
  EXPECT_GT(held, 0);
  EXPECT_LT(held, static_cast<int64_t>(kFileSize));
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(state().uniquerecv, held);  // nothing moves while paused

  EXPECT_EQ(AKRetry(wide(url_).c_str(), wide(target()).c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFileComplete));
  EXPECT_TRUE(onDisk() == content_);
  EXPECT_NE(serviceLog().find("\"function\":\"pauseFile\""), std::string::npos);
}

TEST_F(LibraryWithServiceTest, DeleteAnswersTheChallengeAndRemovesTheFile) {
  startOrigin();
  startService();
  std::filesystem::create_directories(temp_.path() / "downloads");
  ASSERT_EQ(AKDownload(wide(url_).c_str(), wide(target()).c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFileComplete));
  misbehave("challenge=delete");
  EXPECT_EQ(AKDelete(wide(url_).c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(target()));
  FileAttributes untouched;
  memset(&untouched, 0, sizeof untouched);
  untouched.size = 99;
  EXPECT_EQ(AKGetFileAttr(wide(url_).c_str(), &untouched), static_cast<int32_t>(ClientError::FileNotFound));
  EXPECT_EQ(untouched.size, 99);
}

TEST_F(LibraryWithServiceTest, DownloadChallengeIsAnsweredThroughThePath) {
  startOrigin();
  startService();
  std::filesystem::create_directories(temp_.path() / "downloads");
  misbehave("challenge=download");
  ASSERT_EQ(AKDownload(wide(url_).c_str(), wide(target()).c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFileComplete));
  EXPECT_TRUE(onDisk() == content_);
}

TEST_F(LibraryWithServiceTest, ServiceAskingForAResetGetsTheRequestOnceMore) {
  startOrigin();
  startService();
  std::filesystem::create_directories(temp_.path() / "downloads");
  misbehave("resetdownload=" + url_);
  ASSERT_EQ(AKDownload(wide(url_).c_str(), wide(target()).c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFileComplete));
  EXPECT_TRUE(onDisk() == content_);
  EXPECT_NE(serviceLog().find("resetdownload=1"), std::string::npos);
}

TEST_F(LibraryWithServiceTest, FileKeptInUseEndsTheDeleteAfterFiveAnswers) {
  startOrigin();
  startService();
  std::filesystem::create_directories(temp_.path() / "downloads");
  ASSERT_EQ(AKDownload(wide(url_).c_str(), wide(target()).c_str()), 0);
  misbehave("inuse=5");
  EXPECT_EQ(AKDelete(wide(url_).c_str()), static_cast<int32_t>(ClientError::FileInUse));
  std::string log = serviceLog();
  size_t deletes = 0;
  for (size_t at = log.find("\"function\":\"deleteFile\""); at != std::string::npos;
       at = log.find("\"function\":\"deleteFile\"", at + 1)) {
    ++deletes;
  }
  EXPECT_EQ(deletes, 5u);
}

TEST_F(LibraryWithServiceTest, ClientAttributesTwiceOnOneRecord) {
  startOrigin();
  startService();
  ClientAttributes record;
  memset(&record, 0, sizeof record);
  ASSERT_EQ(AKGetAttr(&record), 0);
  ASSERT_EQ(AKGetAttr(&record), 0);
  EXPECT_EQ(record.isonline, 1);
  EXPECT_NE(record.executableversion, nullptr);
  ClientHandle any{const_cast<char*>("x"), kNoSocket};
  ak_cleanAttributes(&any, &record, 0);
}

}  // namespace
