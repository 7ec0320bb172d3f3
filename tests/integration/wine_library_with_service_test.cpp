// The Windows build of the client library, through the program's wrappers, under Wine against
// the native stand-in service on 127.0.0.1:9421 and a testbed origin (started by the ctest
// fixture scripts/testbed-for-wine). Paths on drive Z: reach the same files on both sides.
#include <gtest/gtest.h>
#include <string.h>
#include <windows.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "service_client/client_errors.h"
#include "service_client/exported_wrappers.h"
#include "service_client/transport.h"
#include "tests/support/temp_folder.h"

namespace {

using std::chrono::milliseconds;

const std::filesystem::path kTestbedDir = std::filesystem::u8path(AK_WINE_TESTBED_DIR);

std::wstring wide(const std::string& text) { return std::wstring(text.begin(), text.end()); }

class WineLibraryWithServiceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ifstream portFile(kTestbedDir / "origin.port");
    int port = 0;
    portFile >> port;
    ASSERT_GT(port, 0) << "the stand-in fixture did not start";
    url_ = wide("http://127.0.0.1:" + std::to_string(port) + "/game.bin");
    std::filesystem::create_directories(kTestbedDir / "downloads");
    target_ = (kTestbedDir / "downloads" / "game.bin").wstring();
    ASSERT_EQ(TSInitialize(), 0);
  }

  void TearDown() override { TSUninitialize(); }

  // Tells the stand-in to misbehave, through a handle of its own.
  void control(const std::string& query) {
    ClientHandle handle{const_cast<char*>("Test Client"), kNoSocket};
    char* answer = _ak_apiRequest(&handle, ("control?" + query).c_str());
    ASSERT_NE(answer, nullptr);
    EXPECT_STREQ(answer, "{\"ok\":true}");
    free(answer);
    akplatform::closeSocket(handle.socket);
  }

  bool waitForStatus(int32_t status) {
    for (int waited = 0; waited < 30000; waited += 100) {
      FileAttributes record;
      memset(&record, 0, sizeof record);
      if (AKGetFileAttr(url_.c_str(), &record) == 0 && record.status == status) return true;
      std::this_thread::sleep_for(milliseconds(100));
    }
    return false;
  }

  bool sameAsOrigin() const {
    return testsupport::readWholeFile(target_) == testsupport::readWholeFile(kTestbedDir / "origin" / "game.bin");
  }

  std::wstring url_;
  std::wstring target_;
};

TEST_F(WineLibraryWithServiceTest, DownloadsPausesResumesAndDeletesWithTheChallenge) {
  EXPECT_EQ(AKGetFileSize(url_.c_str(), target_.c_str()), 6u * 1024 * 1024);
  control("challenge=download");
  ASSERT_EQ(AKDownload(url_.c_str(), target_.c_str()), 0);
  ASSERT_TRUE(waitForStatus(kFileComplete));
  EXPECT_TRUE(sameAsOrigin());
  EXPECT_EQ(AKGetReceivedSize(url_.c_str()), 6u * 1024 * 1024);
  EXPECT_EQ(AKPause(url_.c_str()), static_cast<int32_t>(ClientError::AlreadyDownloaded));

  ClientAttributes attributes;
  memset(&attributes, 0, sizeof attributes);
  ASSERT_EQ(AKGetAttr(&attributes), 0);
  ASSERT_EQ(AKGetAttr(&attributes), 0);
  EXPECT_EQ(attributes.isonline, 1);
  ClientHandle any{const_cast<char*>("x"), kNoSocket};
  ak_cleanAttributes(&any, &attributes, 0);

  control("challenge=delete");
  EXPECT_EQ(AKDelete(url_.c_str()), 0);
  EXPECT_FALSE(std::filesystem::exists(target_));
  FileAttributes untouched;
  memset(&untouched, 0, sizeof untouched);
  untouched.size = 99;
  EXPECT_EQ(AKGetFileAttr(url_.c_str(), &untouched), static_cast<int32_t>(ClientError::FileNotFound));
  EXPECT_EQ(untouched.size, 99);
}

}  // namespace
