// Per-user settings and the auto-resume entry.
#include <gtest/gtest.h>

#include "tests/download/fake_services.h"

namespace downloadtest {
namespace {

// Splits a command line the way the Windows start-up code does for plain quoting: blanks
// separate arguments except inside double quotes, and the quotes themselves are dropped.
std::vector<std::wstring> splitCommandLine(const std::wstring& line) {
  std::vector<std::wstring> arguments;
  std::wstring current;
  bool quoted = false;
  bool inArgument = false;
  for (wchar_t c : line) {
    if (c == L'"') {
      quoted = !quoted;
      inArgument = true;
    } else if (c == L' ' && !quoted) {
      if (inArgument) arguments.push_back(current);
      current.clear();
      inArgument = false;
    } else {
      current.push_back(c);
      inArgument = true;
    }
  }
  if (inArgument) arguments.push_back(current);
  return arguments;
}

TEST(Settings, ReadsUnderTheSettingsKeyAndItsSubkey) {
  JobFixture f;
  ASSERT_TRUE(f.job->CreateMainWindow());
  f.platform.dwords[{L"Software\\Tessel Games\\Downloader", L"v"}] = 5;
  f.platform.dwords[{L"Software\\Tessel Games\\Downloader\\irf", L"v"}] = 9;
  EXPECT_EQ(f.job->ReadSettingDword(L"", L"v", 1), 5u);
  EXPECT_EQ(f.job->ReadSettingDword(L"irf", L"v", 1), 9u);
  EXPECT_EQ(f.job->ReadSettingDword(L"other", L"v", 1), 1u);
  EXPECT_EQ(f.job->ReadSettingDword(L"irf", L"missing", 42), 42u);
}

TEST(Settings, WritesCreateTheValueAndReportFailure) {
  JobFixture f;
  ASSERT_TRUE(f.job->CreateMainWindow());
  EXPECT_TRUE(f.job->WriteSettingDword(L"irf", L"accepted_eula", 1));
  EXPECT_EQ(f.job->ReadSettingDword(L"irf", L"accepted_eula", 0), 1u);
  f.platform.settingsWritable = false;
  EXPECT_FALSE(f.job->WriteSettingDword(L"irf", L"x", 1));
}

TEST(Settings, TwoGamesKeepSeparateLicenceAcceptances) {
  JobFixture first;
  JobFixture second;
  second.game.code = L"abc";
  for (JobFixture* f : {&first, &second}) {
    f->platform.dwords[{L"Software\\Tessel Games\\Downloader\\irf", L"accepted_eula"}] = 1;
    ASSERT_TRUE(f->job->CreateMainWindow());
    f->job->Start(false);
  }
  EXPECT_EQ(first.window.eulaShown, 0);
  EXPECT_EQ(second.window.eulaShown, 1);
  EXPECT_EQ((second.platform.dwords[{L"Software\\Tessel Games\\Downloader\\abc", L"accepted_eula"}]), 1u);
}

TEST(AutoResume, CommandKeepsAPathWithBlanksOneArgument) {
  const std::wstring kPaths[] = {
      L"C:\\Users\\Ann Lee\\Downloads\\Iron Fable Downloader.exe",
      L"C:\\Downloader.exe",
      L"D:\\a  b\\c d.exe",
  };
  for (const std::wstring& path : kPaths) {
    const std::wstring command = AutoResumeCommand(path);
    EXPECT_EQ(splitCommandLine(command), (std::vector<std::wstring>{path, L"auto"})) << path;
  }
}

TEST(AutoResume, WrittenUnderTheWindowTitle) {
  JobFixture f;
  f.job->RegisterAutoResume();
  ASSERT_EQ(f.platform.runOnce.size(), 1u);
  EXPECT_EQ(f.platform.runOnce.begin()->first, L"Iron Fable Downloader");
  EXPECT_EQ(f.platform.runOnce.begin()->second, L"\"C:\\Users\\Ann Lee\\Downloads\\Iron Fable Downloader.exe\" auto");
}

TEST(AutoResume, MissingKeyOrPathIsSilent) {
  JobFixture f;
  f.platform.runOnceKeyExists = false;
  f.job->RegisterAutoResume();
  EXPECT_TRUE(f.platform.runOnce.empty());
  f.platform.runOnceKeyExists = true;
  f.platform.executablePath.clear();
  f.job->RegisterAutoResume();
  EXPECT_TRUE(f.platform.runOnce.empty());
}

}  // namespace
}  // namespace downloadtest
