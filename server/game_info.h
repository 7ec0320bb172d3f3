// The game built into this downloader, and where its files go on the player's disk.
#ifndef SERVER_GAME_INFO_H
#define SERVER_GAME_INFO_H

#include <stdint.h>

#include <functional>
#include <optional>
#include <string>

#include "windows_common/signature_check.h"

struct GameInfo {
  std::wstring title;           // "Iron Fable"; the window title is "<title> Downloader"
  std::wstring code;            // "irf": first server path component, per-game settings key
  std::wstring buildVersion;    // reported to analytics
  std::wstring language;        // reported to analytics
  std::wstring serverHost;      // the publisher's web server
  uint16_t serverPort = 0;
  bool serverSecure = false;    // https rather than http
  std::wstring basePath;        // "/downloads/v1": prefix of every server path
  std::wstring folderSuffix;    // "\TesselGames\Downloader": appended to the system drive
  std::wstring analyticsToken;  // 32 lowercase hexadecimal digits
  std::wstring analyticsHost;
  uint16_t analyticsPort = 0;
  bool analyticsSecure = false;
  // Who must have signed the game's installer (the first file) before it is opened: the
  // certificate's common name (empty when the build asks for no signature), and its organisation
  // and issuer when the build names them.
  ExpectedSigner installerSigner;
};

// The values fixed when the program was built.
const GameInfo& BuiltInGameInfo();

// "<title> Downloader": the main window's title, also the name of the auto-resume entry.
std::wstring DownloaderTitle(const GameInfo& game);

// Reads one environment variable; no value when it is not set.
using EnvironmentReader = std::function<std::optional<std::wstring>(const std::wstring& name)>;

// The longest SystemDrive value taken as it is; anything longer (or missing, or empty) reads as
// "C:", so that a strange environment cannot move the download folder somewhere unexpected.
constexpr size_t kMaxSystemDriveLength = 31;

// The SystemDrive environment value, or "C:".
std::wstring SystemDrive(const EnvironmentReader& readEnvironment);

// The system drive followed by the game's folder suffix, e.g. C:\TesselGames\Downloader.
std::wstring DownloadFolder(const GameInfo& game, const std::wstring& systemDrive);

// The system drive followed by "\TesselGames": the parent of the download folder.
std::wstring DownloadFolderParent(const std::wstring& systemDrive);

#endif
