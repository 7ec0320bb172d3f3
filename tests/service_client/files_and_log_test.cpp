// Formatting, the data folder, the file helpers and the log.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <regex>
#include <string>

#include "service_client/client_errors.h"
#include "service_client/data_files.h"
#include "service_client/library_log.h"
#include "service_client/memory_and_format.h"
#include "tests/support/data_folder_fixture.h"
#include "tests/support/temp_folder.h"

using testsupport::readWholeFile;
using testsupport::TempFolder;

namespace {

std::string currentDataFolder() {
  char folder[kDataPathCapacity];
  size_t length = _ak_dataFolder(folder, sizeof folder);
  EXPECT_GT(length, 0u);
  return std::string(folder, length);
}

using testsupport::DataFolderTest;

TEST(Format, GrowsUntilTheTextFits) {
  char* text = nullptr;
  std::string expected = std::string(1000, 'z') + "-42";
  EXPECT_EQ(_ak_format(4, &text, "%s-%d", std::string(1000, 'z').c_str(), 42), expected.size());
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text, expected);
  free(text);
  // A starting size of 0 means 256; exactly filling a buffer needs the next size for the zero.
  EXPECT_EQ(_ak_format(0, &text, "%s", std::string(256, 'q').c_str()), 256u);
  EXPECT_EQ(std::string(text), std::string(256, 'q'));
  free(text);
  EXPECT_EQ(_ak_format(0, &text, "%lld", 9007199254740993LL), 16u);
  EXPECT_STREQ(text, "9007199254740993");
  free(text);
}

TEST_F(DataFolderTest, IsLocalAppDataWithForwardSlashesAndTessel) {
  std::string folder = currentDataFolder();
  EXPECT_EQ(folder.find('\\'), std::string::npos);
  ASSERT_GE(folder.size(), 7u);
  EXPECT_EQ(folder.substr(folder.size() - 7), "/Tessel");
  EXPECT_EQ(folder, dataFolderText());
  char* path = _ak_dataFilePath("guid.ini");
  ASSERT_NE(path, nullptr);
  EXPECT_EQ(std::string(path), folder + "/guid.ini");
  free(path);
}

TEST_F(DataFolderTest, TooSmallABufferIsInsufficientMemory) {
  std::string folder = currentDataFolder();
  size_t base = folder.size() - 7;  // the local application data folder alone
  std::string buffer(base + 8, '\0');
  EXPECT_EQ(_ak_dataFolder(&buffer[0], base + 8), base + 7);
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_dataFolder(&buffer[0], base + 7), 0u);
  EXPECT_EQ(ak_getLastError(), 4);
}

#ifndef _WIN32
TEST_F(DataFolderTest, BackslashesBecomeForwardSlashes) {
  setenv("LOCALAPPDATA", "C:\\Users\\player\\AppData\\Local", 1);
  EXPECT_EQ(currentDataFolder(), "C:/Users/player/AppData/Local/Tessel");
}

TEST(DataFolder, UnknownFolderIsAnInternalFailure) {
  std::string home = getenv("HOME") ? getenv("HOME") : "";
  unsetenv("LOCALAPPDATA");
  unsetenv("HOME");
  char folder[kDataPathCapacity];
  EXPECT_EQ(_ak_dataFolder(folder, sizeof folder), 0u);
  EXPECT_EQ(ak_getLastError(), 3);
  EXPECT_EQ(_ak_dataFilePath("x"), nullptr);
  setenv("HOME", home.c_str(), 1);
}
#endif

TEST(Files, WriteThenReadBack) {
  TempFolder temp;
  std::string path = temp.utf8("état.bin");  // a non-ASCII name goes through UTF-8
  ASSERT_EQ(_ak_writeFile(path.c_str(), "abc\0def", 7, "wb"), 1);
  ASSERT_EQ(_ak_writeFile(path.c_str(), "gh", 2, "ab"), 1);
  EXPECT_EQ(readWholeFile(std::filesystem::u8path(path)), std::string("abc\0defgh", 9));
  char buffer[32] = {};
  EXPECT_EQ(_ak_readFile(path.c_str(), buffer, sizeof buffer, "rb"), 9u);
  EXPECT_EQ(std::string(buffer, 9), std::string("abc\0defgh", 9));
  EXPECT_EQ(_ak_readFile(path.c_str(), buffer, 0, "rb"), 0u);
}

TEST(Files, FailuresAreDiskIoFailures) {
  TempFolder temp;
  std::string missing = temp.utf8("no/such/folder/file.txt");
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_writeFile(missing.c_str(), "x", 1, "wb"), 0);
  EXPECT_EQ(ak_getLastError(), 7);
  char buffer[4];
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_readFile(missing.c_str(), buffer, sizeof buffer, "rb"), 0u);
  EXPECT_EQ(ak_getLastError(), 7);
}

TEST(Files, NamesThatCannotBeConvertedAreNotOpened) {
  TempFolder temp;
  std::string invalidUtf8 = temp.utf8("bad") + "\xC3\x28.txt";
  EXPECT_EQ(_ak_openFile(invalidUtf8.c_str(), "wb"), nullptr);
  std::string tooLong = temp.utf8(std::string(300, 'n'));
  EXPECT_EQ(_ak_openFile(tooLong.c_str(), "wb"), nullptr);
  EXPECT_EQ(_ak_openFile(temp.utf8("ok.txt").c_str(), std::string(70, 'b').c_str()), nullptr);
}

class LogTest : public DataFolderTest {
 protected:
  std::string logText() { return readDataFile("installer.txt"); }
};

TEST_F(LogTest, LinesCarryVersionTimeLevelUnitFunctionAndLine) {
  _ak_setLastError(ClientError::NotInstalled);
  _ak_log("installer.txt", "Installer", "ak_install", 12, kLogInfo, 0, "Saved GUID \"%s\" to disk", "ABC");
  AK_LOG(kLogError, "Error in downloading '%s'", "http://x/y");
  _ak_log("installer.txt", "Installer", "f", 3, 7, 0, "odd level");
  EXPECT_EQ(ak_getLastError(), 2);  // logging leaves the operation's outcome alone
  std::string text = logText();
  std::regex expected(
      "V1001:\\d{6}_\\d{6}: \\[info\\] Installer:ak_install\\(12\\): Saved GUID \"ABC\" to disk\n"
      "V1001:\\d{6}_\\d{6}: \\[eror\\] Installer:TestBody\\(\\d+\\): Error in downloading 'http://x/y'\n"
      "V1001:\\d{6}_\\d{6}: \\[warn\\] Installer:f\\(3\\): odd level\n");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(LogTest, ModeOneWritesShortLinesToTheNamedFile) {
  TempFolder temp;
  std::string path = temp.utf8("own.log");
  _ak_log(path.c_str(), "Installer", "f", 1, kLogWarn, 1, "%d items", 3);
  std::string text = readWholeFile(std::filesystem::u8path(path));
  EXPECT_TRUE(std::regex_match(text, std::regex("\\d{6}_\\d{6}:\\[warn\\] 3 items\n"))) << text;
}

TEST_F(LogTest, MissingArgumentsWriteNothing) {
  _ak_setLastError(ClientError::Success);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-zero-length"
  _ak_log("installer.txt", "Installer", "f", 1, kLogInfo, 0, "");
#pragma GCC diagnostic pop
  EXPECT_EQ(ak_getLastError(), 1);
  _ak_log("installer.txt", "", "f", 1, kLogInfo, 0, "x");
  _ak_log("installer.txt", "Installer", nullptr, 1, kLogInfo, 0, "x");
  _ak_log(nullptr, "Installer", "f", 1, kLogInfo, 0, "x");
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "installer.txt"));
}

TEST(Timestamp, IsYearMonthDayUnderscoreTime) {
  char* stamp = _ak_timestamp();
  ASSERT_NE(stamp, nullptr);
  EXPECT_TRUE(std::regex_match(stamp, std::regex("\\d\\d(0[1-9]|1[0-2])(0[1-9]|[12]\\d|3[01])_([01]\\d|2[0-3])[0-5]\\d[0-5]\\d")))
      << stamp;
  free(stamp);
}

}  // namespace
