// What a download service is given when it is made: where it keeps its state, how it retries,
// fetches and answers, and the test controls it may carry.
#ifndef SERVICE_SERVICE_OPTIONS_H
#define SERVICE_SERVICE_OPTIONS_H

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "build_settings.h"
#include "service/downloader.h"
#include "service/drive_map.h"
#include "service/keep_awake.h"
#include "service/segmented_fetch.h"
#include "service/target_file.h"
#include "service/service_hooks.h"
#include "service/web_plumbing.h"
#include "web/http_server.h"

namespace svc {

struct ServiceOptions {
  // The build version the service reports ("major.minor.patch.build"): downloaders built with a
  // newer one update the service.
  std::string version = AK_SERVICE_VERSION_TEXT;
  std::filesystem::path stateDir;
  std::string logPath;  // empty: no request log
  DriveMap drives;
  // How long a file waits after a failed attempt (origin unreachable, connection lost, 404); the
  // wait doubles with each failed attempt in a row that brought no byte, up to longestRetryDelay.
  std::chrono::milliseconds retryDelay{1000};
  std::chrono::milliseconds longestRetryDelay{60000};
  // The client library's data folder, where it records the EULA acceptance (accepteula.txt) and
  // the upload pause (user.dat). Empty: the EULA counts as accepted and uploads are not paused.
  std::filesystem::path libraryDataDir;
  // Where the port the service listens on is recorded for its user's client library, and removed
  // at a clean stop. Empty: not recorded.
  std::filesystem::path portRecord;
  FetchSettings fetch;
  // How large files are fetched over several connections (segmented_fetch.h).
  SegmentSettings segments;
  // The most connections to one origin host across all files.
  int connectionsPerHost = 6;
  // Whether a downloadFile naming a place new for that file, and a deleteFile that removes the
  // bytes on disk, must first be answered through the write challenge (the library's answer
  // proves the caller can write there). Off, only the test controls ask for it.
  bool challengeNewPaths = true;
  // What one client may hold of the API: the library keeps one connection and polls it about
  // once a second, so a minute of silence means it has gone.
  ServerLimits limits{std::chrono::seconds(60), std::chrono::seconds(10), 64};
  // Test controls; not owned, and must outlive the service. Empty: the service behaves as shipped.
  ServiceHooks* hooks = nullptr;
  // Asks the system to stay awake (true) while any file is being fetched, and lets it sleep again
  // (false) when none is. Empty: nothing is asked.
  KeepAwake::Request keepAwake;
  // Whether only programs of the service's own user may use the API: 127.0.0.1 is every
  // account's, and another account's program must not make this user's service write anywhere.
  // A connection from another account, or from a program the system cannot name, is answered 403
  // and closed before anything is read from it.
  bool onlyOwnUser = true;
  // Whether a connection whose owner the system does not name is refused even where the system
  // names no owner of some of its own programs' connections (Wine). Windows names every owner, and
  // there such a connection is refused anyway; the tests of two accounts on one machine ask for
  // it, so that a Wine prefix standing for another account is refused as that account would be.
  bool refuseUnnamedPeers = false;
  // How long a file's local file may stay in use by another program (a scanner, an installer still
  // running) before the file reports it; it is tried again all the while.
  std::chrono::milliseconds fileInUsePatience{30000};
  // Readies a file for segments written far apart (TargetFile::PrepareForFarWrites); a file whose
  // file system fills such gaps with zeros is fetched over one connection. Empty: the file's own.
  std::function<FarWrites(TargetFile&)> prepareFarWrites;
  // How long start keeps trying to bind a port that is in use. Windows refuses to bind a port
  // exclusively again while connections of the last listener on it linger in TIME_WAIT, which
  // the API's short connections leave behind; a service restarted at once must wait them out.
  std::chrono::milliseconds bindPatience{0};
};

}  // namespace svc

#endif
