// Reading a folder of game files into a release: the installer first, then the others by name,
// each with its size and SHA-256; and checking the installer's Authenticode signature with
// osslsigncode before it is offered to players.
#ifndef PUBLISHER_RELEASE_FOLDER_H
#define PUBLISHER_RELEASE_FOLDER_H

#include <filesystem>
#include <string>
#include <vector>

#include "publisher/game_store.h"

namespace publisher {

// installer names the installer among the folder's files; empty takes the folder's only ".exe" or
// ".msi". The downloader puts every file in one folder, so a folder with subfolders is refused.
bool readReleaseFolder(const std::filesystem::path& folder, const std::string& installer,
                       std::vector<ReleaseFile>* files, std::string* error);

// True when osslsigncode finds the file's signature valid, its chain ending in a root of caFile
// (the system's roots when empty), and its signing certificate's common name is signer.
bool verifyInstallerSignature(const std::filesystem::path& file, const std::string& signer, const std::string& caFile,
                              std::string* error);
// The common name of the signer in osslsigncode's report, or empty.
std::string signerInReport(const std::string& report);

}  // namespace publisher

#endif
