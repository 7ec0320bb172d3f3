// The built-in game and the download folder rule.
#include "server/game_info.h"

#include <gtest/gtest.h>

#include <map>

namespace {

EnvironmentReader environmentOf(std::map<std::wstring, std::wstring> values) {
  return [values](const std::wstring& name) -> std::optional<std::wstring> {
    auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second;
  };
}

TEST(BuiltInGame, CarriesTheFixedPathsAndAWellFormedToken) {
  const GameInfo& game = BuiltInGameInfo();
  EXPECT_FALSE(game.title.empty());
  EXPECT_FALSE(game.code.empty());
  EXPECT_EQ(game.basePath, L"/downloads/v1");
  EXPECT_EQ(game.folderSuffix, L"\\TesselGames\\Downloader");
  ASSERT_EQ(game.analyticsToken.size(), 32u);
  for (wchar_t c : game.analyticsToken) EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'));
  EXPECT_GT(game.serverPort, 0);
  EXPECT_EQ(DownloaderTitle(game), game.title + L" Downloader");
}

TEST(SystemDriveRule, TakesTheVariableOrFallsBackToC) {
  const struct {
    std::map<std::wstring, std::wstring> environment;
    std::wstring expected;
  } kCases[] = {
      {{{L"SystemDrive", L"D:"}}, L"D:"},
      {{}, L"C:"},
      {{{L"SystemDrive", L""}}, L"C:"},
      {{{L"SystemDrive", std::wstring(31, L'x')}}, std::wstring(31, L'x')},
      {{{L"SystemDrive", std::wstring(32, L'x')}}, L"C:"},
      {{{L"SYSTEMDRIVE_OTHER", L"E:"}}, L"C:"},
  };
  for (const auto& c : kCases) EXPECT_EQ(SystemDrive(environmentOf(c.environment)), c.expected);
}

TEST(SystemDriveRule, FoldersHangOffTheDrive) {
  GameInfo game = BuiltInGameInfo();
  EXPECT_EQ(DownloadFolder(game, L"C:"), L"C:\\TesselGames\\Downloader");
  EXPECT_EQ(DownloadFolderParent(L"E:"), L"E:\\TesselGames");
}

}  // namespace
