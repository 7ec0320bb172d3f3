// File state, pause and delete against a scripted service that answers with exact JSON.
#include "service_client/file_operations.h"

#include <gtest/gtest.h>
#include <string.h>

#include <chrono>
#include <memory>
#include <string>

#include "service_client/data_files.h"
#include "service_client/download_options.h"
#include "tests/support/service_script.h"
#include "tests/support/temp_folder.h"

using testsupport::ScriptedService;
using testsupport::urlMember;

namespace {

const std::string kUrl = "http://origin.test/irf/Setup 1.bin";
const std::string kEncodedUrl = "http%3a%2f%2forigin.test%2firf%2fSetup%201.bin";

struct FreeDeleter {
  void operator()(char* p) const { free(p); }
};

std::string stateAnswer(const std::string& status, const std::string& path = "C:\\\\Games\\\\a.bin") {
  return R"({"status":")" + status + R"(","path":")" + path +
         R"(","size":1048576.9,"uniquerecv":4096,"totalrecv":8192,"progress":39,"downloadrate":51200,)"
         R"("errorstring":"slow","error":7,"suberror":-2,"verifiedcontentmd5":"abc","resetdownload":true})";
}

TEST(FileStatusText, EveryStatusAndOutOfRange) {
  const char* expected[] = {"Unknown State", "Searching",    "Waiting",   "Downloading", "Paused", "Complete",
                            "Insufficient Disk Space", "Disconnected", "Not Found", "Moving", "Forbidden"};
  for (int32_t status = 0; status <= 10; ++status) EXPECT_STREQ(ak_fileStatusToString(status), expected[status]);
  EXPECT_STREQ(ak_fileStatusToString(11), "Unknown State");
  EXPECT_STREQ(ak_fileStatusToString(-1), "Unknown State");
}

TEST(UrlEncode, KeepsOnlyLettersDigitsAndThreeMarks) {
  std::unique_ptr<char, FreeDeleter> encoded(_ak_urlEncode("aZ09-._ ~/:?&=%+\xC3\xA9\x7F"));
  ASSERT_NE(encoded, nullptr);
  EXPECT_STREQ(encoded.get(), "aZ09-._%20%7e%2f%3a%3f%26%3d%25%2b%c3%a9%7f");
  EXPECT_EQ(_ak_urlEncode(nullptr), nullptr);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST(GetFileAttributes, FillsTheRecordFromAKnownFilesState) {
  ScriptedService service({stateAnswer("downloading")});
  ASSERT_TRUE(service.listening());
  FileAttributes state;
  memset(&state, 0, sizeof state);
  state.leadingWords[0] = 77;  // cleaned before filling
  ASSERT_EQ(ak_getFileAttributes(service.handle(), 4, kUrl.c_str(), &state, 0), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  EXPECT_EQ(state.leadingWords[0], 0u);
  EXPECT_EQ(state.cid, 4);
  EXPECT_STREQ(state.url, kUrl.c_str());
  EXPECT_EQ(state.status, kFileDownloading);  // the status text is matched without regard to case
  EXPECT_STREQ(state.path, "C:\\Games\\a.bin");
  EXPECT_EQ(state.size, 1048576);
  EXPECT_EQ(state.uniquerecv, 4096);
  EXPECT_EQ(state.totalrecv, 8192);
  EXPECT_EQ(state.progress, 39);
  EXPECT_EQ(state.downloadrate, 51200);
  EXPECT_STREQ(state.errorstring, "slow");
  EXPECT_EQ(state.error, 7);
  EXPECT_EQ(state.suberror, -2);
  EXPECT_STREQ(state.verifiedcontentmd5, "abc");
  EXPECT_EQ(state.resetdownload, 1);
  EXPECT_EQ(service.targets().at(0),
            "api?function=getFileAttributes&cid=4&apiversion=capi_1.8.0.5&url=" + kEncodedUrl + "&complete");
  EXPECT_EQ(ak_cleanFileAttributes(service.handle(), &state, 0), 0);
  FileAttributes zero;
  memset(&zero, 0, sizeof zero);
  EXPECT_EQ(memcmp(&state, &zero, sizeof state), 0);
}

TEST(GetFileAttributes, StatusTextsMapToTheirCodes) {
  ScriptedService service({stateAnswer("MOVING"), stateAnswer("FORBIDDEN"), stateAnswer("Complete"),
                           stateAnswer("SLEEPING"), stateAnswer("INSUFFICIENTDISKSPACE")});
  ASSERT_TRUE(service.listening());
  FileAttributes state;
  memset(&state, 0, sizeof state);
  for (int32_t expected : {9, 10, 5, 0, 6}) {
    ASSERT_EQ(ak_getFileAttributes(service.handle(), 0, kUrl.c_str(), &state, 0), 0);
    EXPECT_EQ(state.status, expected);
    EXPECT_EQ(state.size, 1048576);  // an unknown status word still fills the rest
  }
  ak_cleanFileAttributes(service.handle(), &state, 0);
}

TEST(GetFileAttributes, AnswersWithoutStatusNameTheError) {
  ScriptedService service({urlMember(kUrl, "\"File not found.\""), urlMember(kUrl, "\"invalid url.\""),
                           urlMember(kUrl, "\"Something else\""), "<html>502</html>"});
  ASSERT_TRUE(service.listening());
  FileAttributes state;
  memset(&state, 0, sizeof state);
  for (int32_t expected : {13, 1, 3, 3}) {
    EXPECT_EQ(ak_getFileAttributes(service.handle(), 0, kUrl.c_str(), &state, 0), -1);
    EXPECT_EQ(ak_getLastError(), expected);
    EXPECT_EQ(state.url, nullptr);
  }
}

TEST(GetFileAttributes, ArgumentChecks) {
  ClientHandle handle{const_cast<char*>("x"), kNoSocket};
  FileAttributes state;
  memset(&state, 0, sizeof state);
  EXPECT_EQ(ak_getFileAttributes(&handle, -1, "http://a/b", &state, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_EQ(ak_getFileAttributes(&handle, 0, "http://a/b", &state, 1), -1);
  EXPECT_EQ(ak_getFileAttributes(nullptr, 0, "http://a/b", &state, 0), -1);
  EXPECT_EQ(ak_getFileAttributes(&handle, 0, nullptr, &state, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_EQ(ak_cleanFileAttributes(nullptr, &state, 0), -1);
  EXPECT_EQ(ak_cleanFileAttributes(&handle, &state, 3), -1);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST(PauseFile, ServiceTextsMapToErrors) {
  struct Case {
    std::string answer;
    int32_t result;
    int32_t error;
  } cases[] = {
      {urlMember(kUrl, "null"), 0, 0},
      {urlMember(kUrl, "\"FILE NOT FOUND\""), -1, 13},
      {urlMember(kUrl, "\"File not found.\""), -1, 3},  // the pause answer's text has no full stop
      {urlMember(kUrl, "\"cannot pause file already completed\""), -1, 22},
      {urlMember(kUrl, "\"Permission denied. Can't validate token (no file)\""), -1, 24},
      {urlMember(kUrl, "\"Permission denied. Can't validate token (invalid file size)\""), -1, 24},
      {urlMember(kUrl, "\"Permission denied, Can't validate token (invalid token)\""), -1, 24},
      {urlMember(kUrl, "\"Invalid URL.\""), -1, 1},
      {R"({"error":"bad","http://origin.test/irf/Setup 1.bin":"file not found"})", -1, 1},
      {"{}", -1, 3},
  };
  for (const auto& c : cases) {
    ScriptedService service({c.answer});
    ASSERT_TRUE(service.listening());
    EXPECT_EQ(ak_pauseFile(service.handle(), 2, kUrl.c_str(), 0), c.result) << c.answer;
    EXPECT_EQ(ak_getLastError(), c.error) << c.answer;
    EXPECT_EQ(service.targets().at(0), "api?function=pauseFile&cid=2&apiversion=capi_1.8.0.5&url=" + kEncodedUrl);
  }
}

TEST(DeleteFile, SendsTheKeepFlagAfterCheckingTheFileIsKnown) {
  for (int keep : {0, 1}) {
    ScriptedService service({stateAnswer("PAUSED"), urlMember(kUrl, "null")});
    ASSERT_TRUE(service.listening());
    DownloadOptions options{};
    options.recordSize = 68;
    options.keepPhysicalFileOnDelete = keep;
    // A path the service reports is where a challenge would go; none is asked for here.
    EXPECT_EQ(ak_deleteFile(service.handle(), 0, kUrl.c_str(), keep ? &options : nullptr), 0);
    EXPECT_EQ(ak_getLastError(), 0);
    auto targets = service.targets();
    ASSERT_EQ(targets.size(), 2u);
    EXPECT_EQ(targets[1], "api?function=deleteFile&cid=0&apiversion=capi_1.8.0.5&url=" + kEncodedUrl +
                              "&keepphysicalfileondelete=" + (keep ? "true" : "false"));
  }
}

TEST(DeleteFile, UnknownFileIsNotDeleted) {
  ScriptedService service({urlMember(kUrl, "\"File not found.\"")});
  ASSERT_TRUE(service.listening());
  EXPECT_EQ(ak_deleteFile(service.handle(), 0, kUrl.c_str(), nullptr), -1);
  EXPECT_EQ(ak_getLastError(), 13);
  EXPECT_EQ(service.targets().size(), 1u);
}

TEST(DeleteFile, GivesUpAfterFiveInUseAnswersAboutFourSecondsApart) {
  std::string inUse = urlMember(kUrl, "\"File is in use. Try again later\"");
  ScriptedService service({stateAnswer("DOWNLOADING"), inUse, inUse, inUse, inUse, inUse});
  ASSERT_TRUE(service.listening());
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(ak_deleteFile(service.handle(), 0, kUrl.c_str(), nullptr), -1);
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(ak_getLastError(), 12);
  EXPECT_EQ(service.targets().size(), 6u);
  EXPECT_GE(waited, std::chrono::milliseconds(3900));
}

TEST(DeleteFile, AnswersTheChallengeByWritingTheTokenIntoTheFile) {
  testsupport::TempFolder temp;
  std::string path = temp.utf8("game.bin");
  ASSERT_EQ(_ak_writeFile(path.c_str(), "old content", 11, "wb"), 1);
  ScriptedService service({stateAnswer("PAUSED", path), urlMember(kUrl, "\"Challenge:tok\\\\en42\""),
                           urlMember(kUrl, "null")});
  ASSERT_TRUE(service.listening());
  EXPECT_EQ(ak_deleteFile(service.handle(), 0, kUrl.c_str(), nullptr), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  // The token is unescaped once more after the answer itself was.
  EXPECT_EQ(testsupport::readWholeFile(std::filesystem::u8path(path)), "token42");
  auto targets = service.targets();
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[2], targets[1]);
}

TEST(DeleteFile, ChallengeThatCannotBeWrittenFails) {
  ScriptedService service({stateAnswer("PAUSED", "/no/such/folder/x.bin"), urlMember(kUrl, "\"Challenge:tok\"")});
  ASSERT_TRUE(service.listening());
  EXPECT_EQ(ak_deleteFile(service.handle(), 0, kUrl.c_str(), nullptr), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_EQ(service.targets().size(), 2u);
}

}  // namespace
