// Local file names and the configuration's accessors. A server-supplied name must never reach a
// file outside the download folder.
#include "server/game_config.h"

#include <gtest/gtest.h>

namespace {

const std::wstring kFolder = L"C:\\TesselGames\\Downloader";

GameConfig configWithUris(std::initializer_list<std::wstring> uris) {
  GameConfig config;
  for (const std::wstring& uri : uris) {
    ResourceFile file;
    file.uri = uri;
    config.files.push_back(file);
  }
  return config;
}

TEST(LocalPaths, NormalNamesLandInTheDownloadFolder) {
  const struct {
    std::wstring uri;
    std::wstring path;
  } kCases[] = {
      {L"http://cdn.example/irf/setup/game_part2.bin", kFolder + L"\\game_part2.bin"},
      {L"a.bin", kFolder + L"\\a.bin"},
      {L"http://cdn.example/x/Setup%201.exe", kFolder + L"\\Setup%201.exe"},
      {L"http://cdn.example/x/Iron Fable Setup.exe", kFolder + L"\\Iron Fable Setup.exe"},
      {L"http://cdn.example/x/.hidden", kFolder + L"\\.hidden"},
      {L"http://cdn.example/x/CONSOLE.bin", kFolder + L"\\CONSOLE.bin"},
      {L"http://cdn.example/x/COM10.bin", kFolder + L"\\COM10.bin"},
      {L"http://cdn.example/x/" + std::wstring(255, L'n'), kFolder + L"\\" + std::wstring(255, L'n')},
  };
  for (const auto& c : kCases) {
    GameConfig config = configWithUris({c.uri});
    EXPECT_TRUE(AssignLocalPaths(config, kFolder)) << c.uri;
    EXPECT_EQ(config.files[0].localPath, c.path);
  }
}

TEST(LocalPaths, NamesThatLeaveTheFolderOrAddressADeviceAreRejected) {
  const std::wstring kHostile[] = {
      L"http://cdn.example/x/..\\..\\Windows\\x.exe",
      L"http://cdn.example/x/C:\\x.exe",
      L"http://cdn.example/x/C:x.exe",
      L"http://cdn.example/x/file.bin:stream",
      L"..",
      L"http://cdn.example/x/..",
      L"http://cdn.example/x/.",
      L"http://cdn.example/x/",
      L"",
      L"http://cdn.example/x/\\\\server\\share\\x.exe",
      L"http://cdn.example/x/CON",
      L"http://cdn.example/x/nul",
      L"http://cdn.example/x/NUL.txt",
      L"http://cdn.example/x/com1",
      L"http://cdn.example/x/LPT9.bin",
      L"http://cdn.example/x/COM\u00B9",
      L"http://cdn.example/x/AUX .bin",
      L"http://cdn.example/x/setup.exe.",
      L"http://cdn.example/x/setup.exe ",
      L"http://cdn.example/x/file?.bin",
      L"http://cdn.example/x/a*b",
      L"http://cdn.example/x/a\tb",
      L"http://cdn.example/x/" + std::wstring(256, L'n'),
  };
  for (const std::wstring& uri : kHostile) {
    GameConfig config = configWithUris({L"http://cdn.example/good.bin", uri});
    EXPECT_FALSE(AssignLocalPaths(config, kFolder)) << uri;
    EXPECT_EQ(config.files[0].localPath, kFolder + L"\\good.bin");
    EXPECT_TRUE(config.files[1].localPath.empty()) << uri;
  }
}

TEST(LocalPaths, NameIsThePartAfterTheLastSlash) {
  EXPECT_EQ(LocalNameOf(L"http://h/a/b/c.bin"), L"c.bin");
  EXPECT_EQ(LocalNameOf(L"c.bin"), L"c.bin");
  EXPECT_EQ(LocalNameOf(L"http://h/a/"), L"");
  EXPECT_EQ(LocalNameOf(L"x\\y/z\\w"), L"z\\w");
}

TEST(GameConfigAccess, FileAtChecksTheIndex) {
  GameConfig config = configWithUris({L"a", L"b"});
  ASSERT_NE(config.FileAt(1), nullptr);
  EXPECT_EQ(config.FileAt(1)->uri, L"b");
  EXPECT_EQ(config.FileAt(2), nullptr);
  EXPECT_EQ(config.FileAt(-1), nullptr);
  const GameConfig& constant = config;
  EXPECT_EQ(constant.FileAt(0)->uri, L"a");
}

TEST(GameConfigAccess, TotalReceivedAddsEveryEntryIn64Bits) {
  GameConfig config = configWithUris({L"a", L"b", L"c"});
  config.files[0].received = 3ull << 30;
  config.files[1].received = 0;
  config.files[2].received = 5ull << 32;
  EXPECT_EQ(config.TotalReceived(), (3ull << 30) + (5ull << 32));
  EXPECT_EQ(GameConfig().TotalReceived(), 0u);
}

TEST(GameConfigAccess, InstallerIsTheFirstEntry) {
  GameConfig config = configWithUris({L"http://h/setup.exe", L"http://h/data.bin"});
  ASSERT_TRUE(AssignLocalPaths(config, kFolder));
  EXPECT_EQ(config.InstallerPath(), kFolder + L"\\setup.exe");
  EXPECT_EQ(GameConfig().InstallerPath(), L"");
}

}  // namespace
