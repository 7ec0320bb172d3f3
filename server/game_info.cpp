#include "server/game_info.h"

#include "build_settings.h"

// Build settings are narrow literals; gluing them to an empty wide literal makes them wide.
#define AK_WIDE(text) L"" text

const GameInfo& BuiltInGameInfo() {
  static const GameInfo kGame{
      AK_WIDE(AK_GAME_TITLE),
      AK_WIDE(AK_GAME_CODE),
      AK_WIDE(AK_GAME_BUILD_VERSION),
      AK_WIDE(AK_GAME_LANGUAGE),
      AK_WIDE(AK_SERVER_HOST),
      static_cast<uint16_t>(AK_SERVER_PORT),
      AK_SERVER_SECURE != 0,
      L"/downloads/v1",
      L"\\TesselGames\\Downloader",
      AK_WIDE(AK_ANALYTICS_TOKEN),
      AK_WIDE(AK_ANALYTICS_HOST),
      static_cast<uint16_t>(AK_ANALYTICS_PORT),
      AK_ANALYTICS_SECURE != 0,
      ExpectedSigner(AK_WIDE(AK_INSTALLER_SIGNER), AK_WIDE(AK_INSTALLER_SIGNER_ORG), AK_WIDE(AK_INSTALLER_SIGNER_ISSUER)),
  };
  return kGame;
}

std::wstring DownloaderTitle(const GameInfo& game) { return game.title + L" Downloader"; }

std::wstring SystemDrive(const EnvironmentReader& readEnvironment) {
  std::optional<std::wstring> drive = readEnvironment(L"SystemDrive");
  if (!drive || drive->empty() || drive->size() > kMaxSystemDriveLength) return L"C:";
  return *drive;
}

std::wstring DownloadFolder(const GameInfo& game, const std::wstring& systemDrive) {
  return systemDrive + game.folderSuffix;
}

std::wstring DownloadFolderParent(const std::wstring& systemDrive) { return systemDrive + L"\\TesselGames"; }
