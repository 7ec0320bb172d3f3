// The wrappers over the library, with their process-wide handle, against a scripted service.
#include "service_client/exported_wrappers.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "service_client/test_hooks.h"
#include "tests/support/service_script.h"

using testsupport::ScriptedService;
using testsupport::urlMember;

namespace {

const std::string kUrl = "http://origin.test/irf/data.bin";
const wchar_t kWideUrl[] = L"http://origin.test/irf/data.bin";
const std::string kEncodedUrl = "http%3a%2f%2forigin.test%2firf%2fdata.bin";
const std::string kAccepted = urlMember(kUrl, "null");

std::string state(int64_t size, int64_t received) {
  return R"({"status":"DOWNLOADING","path":"C:\\x.bin","size":)" + std::to_string(size) +
         R"(,"uniquerecv":)" + std::to_string(received) + R"(,"totalrecv":9,"progress":4,"downloadrate":77,)"
         R"("error":5,"resetdownload":false})";
}

// Each test opens the process-wide handle against its own scripted service and closes it.
class WrappersTest : public ::testing::Test {
 protected:
  void open(ScriptedService& service) {
    ASSERT_TRUE(service.listening());
    ASSERT_EQ(TSInitialize(), 0);
  }
  void TearDown() override {
    TSUninitialize();
    _ak_testSetFileSizePollLimit(0);
  }
};

TEST(WrappersLifecycle, NoServiceMeansNotInstalledAndNothingToClose) {
  EXPECT_EQ(TSInitialize(), 2);
  EXPECT_EQ(TSUninitialize(), -1);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST_F(WrappersTest, PingUsesTheWrappersClientNameAndTheHandleIsClosedOnce) {
  ScriptedService service({}, true);
  open(service);
  EXPECT_EQ(TSUninitialize(), 0);
  EXPECT_EQ(TSUninitialize(), -1);
}

// Paths reach the service in UTF-8 whatever the system's ANSI code page is: a name outside it
// (Japanese on a Western system) would otherwise arrive as question marks.
TEST_F(WrappersTest, DownloadSendsTheUrlAndPathInUtf8) {
  ScriptedService service({kAccepted, state(10, 0), kAccepted, state(10, 0)}, true);
  open(service);
  EXPECT_EQ(AKDownload(kWideUrl, L"C:\\Spiele\\Gr\u00FC\u00DFe.bin"), 0);
  EXPECT_EQ(service.targets().at(1), "api?function=downloadFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl +
                                         "&path=C%3a%5cSpiele%5cGr%c3%bc%c3%9fe.bin");
  EXPECT_EQ(AKDownload(kWideUrl, L"C:\\\u30B2\u30FC\u30E0\\\u65E5\u672C.bin"), 0);
  EXPECT_EQ(service.targets().at(3), "api?function=downloadFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl +
                                         "&path=C%3a%5c%e3%82%b2%e3%83%bc%e3%83%a0%5c%e6%97%a5%e6%9c%ac.bin");
}

TEST_F(WrappersTest, PathTooLongForTheConversionBufferIsSentEmpty) {
  ScriptedService service({kAccepted, state(10, 0)}, true);
  open(service);
  std::wstring longPath(2048, L'p');
  EXPECT_EQ(AKDownload(kWideUrl, longPath.c_str()), 0);
  EXPECT_EQ(service.targets().at(1), "api?function=downloadFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl + "&path=");
}

TEST_F(WrappersTest, FileAttrCopiesSixMembersAndLeavesTheRecordAloneOnFailure) {
  ScriptedService service({state(100, 40), urlMember(kUrl, "\"File not found.\"")}, true);
  open(service);
  FileAttributes record;
  memset(&record, 0, sizeof record);
  record.error = 123;
  ASSERT_EQ(AKGetFileAttr(kWideUrl, &record), 0);
  EXPECT_EQ(record.status, kFileDownloading);
  EXPECT_EQ(record.size, 100);
  EXPECT_EQ(record.uniquerecv, 40);
  EXPECT_EQ(record.totalrecv, 9);
  EXPECT_EQ(record.progress, 4);
  EXPECT_EQ(record.downloadrate, 77);
  EXPECT_EQ(record.error, 123);  // not one of the copied members
  EXPECT_EQ(record.url, nullptr);
  EXPECT_EQ(record.path, nullptr);

  FileAttributes before = record;
  EXPECT_EQ(AKGetFileAttr(kWideUrl, &record), 13);
  EXPECT_EQ(memcmp(&before, &record, sizeof record), 0);
}

TEST_F(WrappersTest, ReceivedSizeIsUniqueBytesOrZero) {
  ScriptedService service({state(100, 40), urlMember(kUrl, "\"File not found.\"")}, true);
  open(service);
  EXPECT_EQ(AKGetReceivedSize(kWideUrl), 40u);
  EXPECT_EQ(AKGetReceivedSize(kWideUrl), 0u);
}

TEST_F(WrappersTest, KnownSizeIsReturnedWithoutStartingAnything) {
  ScriptedService service({state(5000000000LL, 0)}, true);
  open(service);
  EXPECT_EQ(AKGetFileSize(kWideUrl, L"C:\\x.bin"), 5000000000ULL);
  EXPECT_EQ(service.targets().size(), 2u);  // the ping and one file-state request
}

TEST_F(WrappersTest, UnknownSizeStartsTheFileAsksUntilKnownThenPauses) {
  ScriptedService service({urlMember(kUrl, "\"File not found.\""), kAccepted, state(0, 0), state(0, 0),
                           state(0, 0), state(2048, 0), kAccepted},
                          true);
  open(service);
  EXPECT_EQ(AKGetFileSize(kWideUrl, L"C:\\x.bin"), 2048u);
  auto targets = service.targets();
  ASSERT_EQ(targets.size(), 8u);
  EXPECT_EQ(targets[2].rfind("api?function=downloadFile&", 0), 0u);
  EXPECT_EQ(targets[6].rfind("api?function=getFileAttributes&", 0), 0u);
  EXPECT_EQ(targets[7], "api?function=pauseFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl);
}

TEST_F(WrappersTest, SizeThatNeverArrivesGivesZeroWithinTheBound) {
  _ak_testSetFileSizePollLimit(600);
  ScriptedService service({urlMember(kUrl, "\"File not found.\""), kAccepted, state(0, 0), state(0, 0), state(0, 0),
                           state(0, 0), kAccepted},
                          true);
  open(service);
  EXPECT_EQ(AKGetFileSize(kWideUrl, L"C:\\x.bin"), 0u);
  EXPECT_EQ(service.targets().back(), "api?function=pauseFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl);
}

TEST_F(WrappersTest, RetryPausesThenDownloadsAndReportsNothing) {
  ScriptedService service({urlMember(kUrl, "\"file not found\""), kAccepted, kAccepted, state(10, 5),
                           urlMember(kUrl, "\"cannot pause file already completed\""), urlMember(kUrl, "\"Invalid URL.\"")},
                          true);
  open(service);
  EXPECT_EQ(AKPause(kWideUrl), 13);
  EXPECT_EQ(AKRetry(kWideUrl, L"C:\\x.bin"), 0);
  auto targets = service.targets();
  ASSERT_EQ(targets.size(), 5u);
  EXPECT_EQ(targets[2].rfind("api?function=pauseFile&", 0), 0u);
  EXPECT_EQ(targets[3].rfind("api?function=downloadFile&", 0), 0u);
  EXPECT_EQ(targets[4].rfind("api?function=getFileAttributes&", 0), 0u);
  // Both steps failing still reports nothing.
  EXPECT_EQ(AKRetry(kWideUrl, L"C:\\x.bin"), 0);
}

TEST_F(WrappersTest, AttrTwiceOnOneRecordKeepsOnlyTheSecondStrings) {
  ScriptedService service({R"({"executableversion":"1","runningexecutable":"a.exe"})",
                           R"({"executableversion":"2","isonline":true})"},
                          true);
  open(service);
  ClientAttributes record;
  memset(&record, 0, sizeof record);
  ASSERT_EQ(AKGetAttr(&record), 0);
  EXPECT_STREQ(record.runningexecutable, "a.exe");
  ASSERT_EQ(AKGetAttr(&record), 0);
  EXPECT_STREQ(record.executableversion, "2");
  EXPECT_EQ(record.runningexecutable, nullptr);
  EXPECT_EQ(record.recordSize, 72u);
  EXPECT_EQ(record.isonline, 1);
  ClientHandle any{const_cast<char*>("x"), kNoSocket};
  ak_cleanAttributes(&any, &record, 0);
}

TEST_F(WrappersTest, DeleteRemovesTheFileFromDiskToo) {
  ScriptedService service({state(10, 5), kAccepted}, true);
  open(service);
  EXPECT_EQ(AKDelete(kWideUrl), 0);
  EXPECT_EQ(service.targets().at(2),
            "api?function=deleteFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl + "&keepphysicalfileondelete=false");
}

}  // namespace
