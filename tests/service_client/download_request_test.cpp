// The downloadFile request: every query part in its place, credentials, the challenge and the
// one-time reset retry, against a scripted service.
#include "service_client/download_request.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "service_client/file_operations.h"
#include "tests/support/service_script.h"
#include "tests/support/temp_folder.h"

using testsupport::ScriptedService;
using testsupport::urlMember;

namespace {

const std::string kUrl = "http://origin.test/irf/data.bin";
const std::string kRequest = "api?function=downloadFile&cid=0&apiversion=capi_1.8.0.5&url=http%3a%2f%2forigin.test%2firf%2fdata.bin";
const std::string kAccepted = urlMember(kUrl, "null");

std::string state(bool reset) {
  return std::string(R"({"status":"DOWNLOADING","size":10,"resetdownload":)") + (reset ? "true" : "false") + "}";
}

DownloadOptions options() {
  DownloadOptions o{};
  o.recordSize = 68;
  return o;
}

TEST(Base64, StandardVectorsAndTheCapacity) {
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},        {"foo", "Zm9v"},
               {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xff\xfe", "//4="}};
  for (const auto& c : cases) {
    char out[32];
    ASSERT_EQ(_ak_base64Encode(sizeof out, c.in, out), 1) << c.in;
    EXPECT_STREQ(out, c.out);
  }
  char small[9];
  EXPECT_EQ(_ak_base64Encode(sizeof small, "foobar", small), 1);  // 8 characters and the zero
  EXPECT_EQ(_ak_base64Encode(8, "foobar", small), 0);
  std::string input(189, 'x');
  char out[256];
  EXPECT_EQ(_ak_base64Encode(256, input.c_str(), out), 1);
  input += 'x';
  EXPECT_EQ(_ak_base64Encode(256, input.c_str(), out), 0);
}

TEST(DownloadRequest, WithoutOptionsOnlyTheUrlIsSent) {
  ScriptedService service({kAccepted, state(false)});
  ASSERT_TRUE(service.listening());
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), nullptr), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  auto targets = service.targets();
  ASSERT_EQ(targets.size(), 2u);
  EXPECT_EQ(targets[0], kRequest);
  EXPECT_EQ(targets[1].rfind("api?function=getFileAttributes&cid=0&", 0), 0u);
}

TEST(DownloadRequest, EveryOptionBecomesItsPartInOrder) {
  ScriptedService service({kAccepted, state(false)});
  ASSERT_TRUE(service.listening());
  DownloadOptions o = options();
  o.flags = 0x1 | 0x2 | 0x4 | 0x8 | 0x10 | 0x20 | 0x40 | 0x80 | 0x100 | 0x200;
  o.targetSpeed = 500;
  o.delayHttp = 3;
  o.cookieString = "a=b; c";
  o.queryAuth = "tok=1";
  o.basicAuthUser = "user";
  o.basicAuthPassword = "p&w=";
  o.originUrl = "http://o/x";
  o.resumeUrl = "http://r/y";
  o.resumeFileName = "y.part";
  o.urlSetId = -4;
  o.autoPause = 2;
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &o), 0);
  EXPECT_EQ(service.targets().at(0),
            kRequest +
                "&targetspeed=500&delayhttp=3&checkcontentmd5&backgroundDownload=1&cookiestring=a%3db%3b%20c"
                "&queryauth=tok%3d1&basicauth=dXNlcjpwJnc9&wait=1&originonly&resetdownload&sequential"
                "&originurl=http%3a%2f%2fo%2fx&resumeurl=http%3a%2f%2fr%2fy&resumefilename=y.part&urlSetId=-4"
                "&autopause=2");
}

TEST(DownloadRequest, ValuesThatAddOrOmitParts) {
  struct Case {
    DownloadOptions options;
    std::string parts;
  };
  DownloadOptions speedMinusOne = options(), speedZero = options(), empties = options(), padded = options();
  speedMinusOne.flags = 0x1;
  speedMinusOne.targetSpeed = -1;
  speedZero.flags = 0x1;
  empties.path = "";
  empties.originUrl = "";
  empties.resumeUrl = "";
  empties.resumeFileName = "";
  padded.basicAuthUser = "ab";
  padded.basicAuthPassword = "c";  // "ab:c" encodes with one "=", which is percent-encoded
  Case cases[] = {{speedMinusOne, ""}, {speedZero, "&targetspeed=0"}, {empties, "&path="},
                  {padded, "&basicauth=YWI6Yw%3d%3d"}};
  for (const auto& c : cases) {
    ScriptedService service({kAccepted, state(false)});
    ASSERT_TRUE(service.listening());
    // An empty path asks for the challenge check: no challenge comes, so nothing is written.
    EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &c.options), 0);
    EXPECT_EQ(service.targets().at(0), kRequest + c.parts);
  }
}

TEST(DownloadRequest, CredentialsLongerThanTheBase64BufferAreInvalid) {
  std::string user94(94, 'u'), password94(94, 'p'), user95(95, 'u'), password95(95, 'p');
  {
    ScriptedService service({kAccepted, state(false)});
    ASSERT_TRUE(service.listening());
    DownloadOptions o = options();
    o.basicAuthUser = user94.c_str();
    o.basicAuthPassword = password94.c_str();
    EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &o), 0);
  }
  ScriptedService service({kAccepted, state(false)});
  DownloadOptions o = options();
  o.basicAuthUser = user95.c_str();
  o.basicAuthPassword = password95.c_str();
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &o), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_TRUE(service.targets().empty());
}

TEST(DownloadRequest, ResetIsAskedOnceMoreInTheSamePlace) {
  ScriptedService service({kAccepted, state(true), kAccepted, state(false)});
  ASSERT_TRUE(service.listening());
  DownloadOptions o = options();
  o.flags = 0x200 | 0x80;
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &o), 0);
  auto targets = service.targets();
  ASSERT_EQ(targets.size(), 4u);
  EXPECT_EQ(targets[0], kRequest + "&resetdownload&sequential");
  EXPECT_EQ(targets[2], kRequest + "&resetdownload=1&sequential");
}

TEST(DownloadRequest, ServiceStillAskingForAResetFails) {
  ScriptedService service({kAccepted, state(true), kAccepted, state(true)});
  ASSERT_TRUE(service.listening());
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), nullptr), -1);
  EXPECT_EQ(ak_getLastError(), 3);
  EXPECT_EQ(service.targets().size(), 4u);
}

TEST(DownloadRequest, ErrorsNamedByTheService) {
  struct Case {
    std::string answer;
    int32_t error;
  } cases[] = {{urlMember(kUrl, "\"cannot pause file already completed\""), 22},
               {urlMember(kUrl, "\"Invalid URL.\""), 1},
               {urlMember(kUrl, "\"file not found\""), 13}};
  for (const auto& c : cases) {
    ScriptedService service({c.answer, state(false)});
    ASSERT_TRUE(service.listening());
    EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), nullptr), -1);
    EXPECT_EQ(ak_getLastError(), c.error);
  }
}

TEST(DownloadRequest, ChallengeIsWrittenToThePathAndTheRequestRepeatedWithoutTheReset) {
  testsupport::TempFolder temp;
  std::string path = temp.utf8("data.bin");
  ScriptedService service({urlMember(kUrl, "\"Challenge:abc123\""), kAccepted, state(false)});
  ASSERT_TRUE(service.listening());
  DownloadOptions o = options();
  o.path = path.c_str();
  o.flags = 0x200;
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &o), 0);
  EXPECT_EQ(testsupport::readWholeFile(std::filesystem::u8path(path)), "abc123");
  auto targets = service.targets();
  ASSERT_EQ(targets.size(), 3u);
  char* encodedPath = _ak_urlEncode(path.c_str());
  std::string pathPart = "&path=" + std::string(encodedPath);
  free(encodedPath);
  EXPECT_EQ(targets[0], kRequest + pathPart + "&resetdownload");
  EXPECT_EQ(targets[1], kRequest + pathPart);
}

TEST(DownloadRequest, RejectedTokenIsAChallengeResponseError) {
  testsupport::TempFolder temp;
  std::string path = temp.utf8("data.bin");
  ScriptedService service({urlMember(kUrl, "\"Challenge:abc\""),
                           urlMember(kUrl, "\"Permission denied, Can't validate token (invalid token)\"")});
  ASSERT_TRUE(service.listening());
  DownloadOptions o = options();
  o.path = path.c_str();
  EXPECT_EQ(ak_downloadFile(service.handle(), 0, kUrl.c_str(), &o), -1);
  EXPECT_EQ(ak_getLastError(), 24);
}

}  // namespace
