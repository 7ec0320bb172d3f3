// The service's attributes and the identity, licence and upload files of the data folder.
#include "service_client/client_attributes.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

#include "service_client/client_errors.h"
#include "service_client/identity_file.h"
#include "tests/support/data_folder_fixture.h"
#include "tests/support/service_script.h"

using testsupport::ScriptedService;

namespace {

class ClientAttributesTest : public testsupport::DataFolderTest {};

const char kAttributes[] =
    R"({"isonline":true,"sharerate":1024,"downloadrate":2048.7,"version":4294967297,"acceptedeula":false,)"
    R"("executableversion":"2.0.1","configurationversion":"cfg-7","runningexecutable":"download-service.exe",)"
    R"("runningclientbinid":"bin9","uploadspauseduntil":1767225600})";

TEST_F(ClientAttributesTest, FillsTheRecordAndTakesTheIdentityFromGuidIni) {
  writeDataFile("guid.ini", "0123456789abcdef0123456789abcdef\n# comment");
  ScriptedService service({kAttributes});
  ASSERT_TRUE(service.listening());
  ClientAttributes attributes{};
  attributes.recordSize = 72;
  ASSERT_EQ(ak_getAttributes(service.handle(), 3, &attributes, 0), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  EXPECT_EQ(service.targets().at(0), "api?function=getClientAttributes&cid=3&apiversion=capi_1.8.0.5&complete");
  EXPECT_EQ(attributes.isonline, 1);
  EXPECT_EQ(attributes.sharerate, 1024);
  EXPECT_EQ(attributes.downloadrate, 2048);
  EXPECT_EQ(attributes.version, 1);  // only the low 32 bits of 2^32 + 1
  EXPECT_EQ(attributes.acceptedeula, 0);
  EXPECT_STREQ(attributes.executableversion, "2.0.1");
  EXPECT_STREQ(attributes.configurationversion, "cfg-7");
  EXPECT_STREQ(attributes.runningexecutable, "download-service.exe");
  EXPECT_STREQ(attributes.runningclientbinid, "bin9");
  EXPECT_EQ(attributes.uploadspauseduntil, 1767225600);
  EXPECT_STREQ(attributes.guid, "0123456789abcdef0123456789abcdef");
  EXPECT_EQ(ak_cleanAttributes(service.handle(), &attributes, 0), 0);
  EXPECT_EQ(attributes.guid, nullptr);
  EXPECT_EQ(attributes.sharerate, 1024);  // only the strings are released
}

TEST_F(ClientAttributesTest, SecondCallOnTheSameRecordReplacesItsStrings) {
  ScriptedService service({kAttributes, R"({"executableversion":"3.0","version":-1})"});
  ASSERT_TRUE(service.listening());
  ClientAttributes attributes{};
  ASSERT_EQ(ak_getAttributes(service.handle(), 0, &attributes, 0), 0);
  EXPECT_EQ(attributes.guid, nullptr);  // no guid.ini: no identity, and no error
  ASSERT_EQ(ak_getAttributes(service.handle(), 0, &attributes, 0), 0);
  EXPECT_STREQ(attributes.executableversion, "3.0");
  EXPECT_EQ(attributes.runningexecutable, nullptr);
  EXPECT_EQ(attributes.version, -1);
  ak_cleanAttributes(service.handle(), &attributes, 0);  // the sanitizer checks nothing else is left
}

TEST_F(ClientAttributesTest, ArgumentChecks) {
  ClientHandle handle{const_cast<char*>("x"), kNoSocket};
  ClientAttributes attributes{};
  EXPECT_EQ(ak_getAttributes(&handle, -1, &attributes, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_EQ(ak_getAttributes(&handle, 0, nullptr, 0), -1);
  EXPECT_EQ(ak_getAttributes(&handle, 0, &attributes, 2), -1);
  EXPECT_EQ(ak_cleanAttributes(nullptr, &attributes, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST_F(ClientAttributesTest, EulaAcceptancesAppendOneLineEach) {
  ASSERT_EQ(ak_acceptEULA(0, "Sample App EULA v1.2", 0), 0);
  ASSERT_EQ(ak_acceptEULA(12, "Other terms", 0), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  EXPECT_EQ(readDataFile("accepteula.txt"), "0_Sample App EULA v1.2\r\n12_Other terms\r\n");
}

TEST_F(ClientAttributesTest, EulaTextsThatCannotBeOneLineAreRefused) {
  for (const char* text : {"two\nlines", "carriage\rreturn", ""}) {
    EXPECT_EQ(ak_acceptEULA(0, text, 0), -1);
    EXPECT_EQ(ak_getLastError(), 1);
  }
  EXPECT_EQ(ak_acceptEULA(-1, "x", 0), -1);
  EXPECT_EQ(ak_acceptEULA(0, nullptr, 0), -1);
  EXPECT_EQ(ak_acceptEULA(0, "x", 1), -1);
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "accepteula.txt"));
}

TEST_F(ClientAttributesTest, UploadStateReplacesTheFile) {
  ASSERT_EQ(ak_setUploadState(1767225600123LL, 0), 0);
  ASSERT_EQ(ak_setUploadState(0, 0), 0);
  EXPECT_EQ(readDataFile("user.dat"), "UploadsPausedUntil=0\r\n");
  EXPECT_EQ(ak_setUploadState(5, 1), -1);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST_F(ClientAttributesTest, FilesCannotBeWrittenBeforeTheDataFolderExists) {
  removeDataFolder();
  EXPECT_EQ(ak_acceptEULA(0, "Sample App EULA v1.2", 0), -1);
  EXPECT_EQ(ak_getLastError(), 7);
  EXPECT_EQ(ak_setUploadState(0, 0), -1);
  EXPECT_EQ(ak_getLastError(), 7);
}

class IdentityFileTest : public testsupport::DataFolderTest {};

TEST_F(IdentityFileTest, NewIdentitiesAre32LowercaseHexDigitsAndDiffer) {
  char* first = _ak_generateGuid();
  char* second = _ak_generateGuid();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(std::regex_match(first, std::regex("[0-9a-f]{32}"))) << first;
  EXPECT_STRNE(first, second);
  free(first);
  free(second);
}

TEST_F(IdentityFileTest, AMissingFileIsCreatedWithTheIdentityAndTheComment) {
  char* guid = _ak_readOrGenerateGuid();
  ASSERT_NE(guid, nullptr);
  std::string file = readDataFile("guid.ini");
  std::string comment = file.substr(32);
#ifdef _WIN32
  comment = std::regex_replace(comment, std::regex("\r\n"), "\n");  // text mode wrote CR LF
#endif
  EXPECT_EQ(file.substr(0, 32), guid);
  EXPECT_EQ(comment, kGuidFileComment);
  EXPECT_EQ(comment.size(), 1394u);
  EXPECT_EQ(comment.rfind("\n#\n# This file contains a random number that Tessel uses to uniquely identify\n", 0), 0u);
  EXPECT_TRUE(std::regex_search(comment, std::regex("\n# +Tessel Client Engineering\n$")));
  EXPECT_TRUE(std::regex_match(comment.substr(1), std::regex("(#[^\n]*\n)+")));
  EXPECT_NE(readDataFile("installer.txt").find("[info] Installer:_ak_readOrGenerateGuid("), std::string::npos);
  EXPECT_NE(readDataFile("installer.txt").find("Saved GUID \"" + std::string(guid) + "\" to disk"), std::string::npos);

  // The next call reads the same identity back.
  char* again = _ak_readOrGenerateGuid();
  ASSERT_NE(again, nullptr);
  EXPECT_STREQ(again, guid);
  EXPECT_NE(readDataFile("installer.txt").find("loaded from existing file"), std::string::npos);
  free(guid);
  free(again);
}

TEST_F(IdentityFileTest, ExactlyThirtyTwoBytesAreTakenAsTheyAre) {
  writeDataFile("guid.ini", "not-hex-but-32-bytes-long-000000");
  char* guid = _ak_readOrGenerateGuid();
  ASSERT_NE(guid, nullptr);
  EXPECT_STREQ(guid, "not-hex-but-32-bytes-long-000000");
  EXPECT_EQ(readDataFile("guid.ini"), "not-hex-but-32-bytes-long-000000");
  free(guid);
}

TEST_F(IdentityFileTest, AShortFileIsReplacedSoItBeginsWithTheNewIdentity) {
  writeDataFile("guid.ini", "0123456789");
  char* guid = _ak_readOrGenerateGuid();
  ASSERT_NE(guid, nullptr);
  EXPECT_EQ(readDataFile("guid.ini").substr(0, 32), guid);
  char* again = _ak_readOrGenerateGuid();
  EXPECT_STREQ(again, guid);
  free(guid);
  free(again);
}

}  // namespace
