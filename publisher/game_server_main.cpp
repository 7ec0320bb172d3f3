// game-server: the publisher's own server for the downloader.
//   game-server serve [--db WHERE] [--port N] [--log FILE] [--rate PER_SECOND] [--burst N]
//                     [--dashboard-token-file FILE]
//   game-server publish GAME CDN_BASE_URL FOLDER [--db WHERE] [--installer NAME]
//                       [--signer "COMMON NAME" [--ca ROOTS.pem]]
//   game-server rollback GAME [--db WHERE]
//   game-server releases GAME [--db WHERE]
// WHERE is an SQLite file (game-server.db by default) or a PostgreSQL address
// ("postgresql://user@host/db" or "host=... dbname=..."). The server listens on 127.0.0.1 only:
// players reach it through a TLS reverse proxy, which must add X-Forwarded-For.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "publisher/game_requests.h"
#include "publisher/game_store.h"
#include "publisher/release_folder.h"
#include "web/http_server.h"
#include "web/request_log.h"

namespace {

using publisher::GameStore;

int usage() {
  fprintf(stderr,
          "usage: game-server serve [--db WHERE] [--port N] [--log FILE] [--rate PER_SECOND] [--burst N]\n"
          "                         [--dashboard-token-file FILE]\n"
          "       game-server publish GAME CDN_BASE_URL FOLDER [--db WHERE] [--installer NAME]\n"
          "                           [--signer \"COMMON NAME\" [--ca ROOTS.pem]]\n"
          "       game-server rollback GAME [--db WHERE]\n"
          "       game-server releases GAME [--db WHERE]\n");
  return 2;
}

// Positional arguments, and "--name value" options (each option takes one value).
bool readArguments(int argc, char** argv, std::vector<std::string>* positional,
                   std::map<std::string, std::string>* options) {
  for (int i = 2; i < argc; ++i) {
    if (strncmp(argv[i], "--", 2) == 0) {
      if (i + 1 >= argc) return false;
      (*options)[argv[i] + 2] = argv[i + 1];
      ++i;
    } else {
      positional->push_back(argv[i]);
    }
  }
  return true;
}

std::string option(const std::map<std::string, std::string>& options, const char* name, const char* fallback) {
  auto found = options.find(name);
  return found != options.end() ? found->second : fallback;
}

std::unique_ptr<GameStore> openStore(const std::map<std::string, std::string>& options) {
  std::string error;
  std::unique_ptr<GameStore> store = GameStore::open(option(options, "db", "game-server.db"), &error);
  if (!store) fprintf(stderr, "game-server: %s\n", error.c_str());
  return store;
}

volatile sig_atomic_t stopRequested = 0;

int serve(const std::map<std::string, std::string>& options) {
  std::unique_ptr<GameStore> store = openStore(options);
  if (!store) return 1;
  publisher::GameRequestLimits limits;
  limits.requestsPerSecond = atof(option(options, "rate", "50").c_str());
  limits.burst = atof(option(options, "burst", "200").c_str());
  const std::string tokenFile = option(options, "dashboard-token-file", "");
  if (!tokenFile.empty()) {
    std::ifstream in(tokenFile);
    std::getline(in, limits.dashboardToken);
    if (limits.dashboardToken.size() < 16) {
      fprintf(stderr, "game-server: the dashboard token in %s must be one line of at least 16 characters\n",
              tokenFile.c_str());
      return 1;
    }
  }
  publisher::GameRequests requests(*store, limits);
  web::RequestLog log(option(options, "log", ""));
  std::string error;
  if (!log.usable(&error)) {
    fprintf(stderr, "game-server: %s\n", error.c_str());
    return 1;
  }
  web::ServerLimits serverLimits;
  serverLimits.idleTimeout = std::chrono::seconds(60);
  serverLimits.requestTimeout = std::chrono::seconds(10);
  serverLimits.maxConnections = 512;
  web::HttpServer server(
      [&](const web::HttpRequest& request, uint64_t connection) {
        // The log keeps no password.
        web::HttpRequest logged = request;
        for (web::Header& header : logged.headers) {
          if (web::equalsIgnoringCase(header.name, "Authorization")) header.value = "(hidden)";
        }
        log.record(logged, connection);
        return requests.handle(request);
      },
      serverLimits);
  if (!server.start(static_cast<uint16_t>(atoi(option(options, "port", "8080").c_str())), &error)) {
    fprintf(stderr, "game-server: %s\n", error.c_str());
    return 1;
  }
  printf("listening on %u\ndatabase: %s\n", server.port(), store->kind());
  fflush(stdout);
  struct sigaction action {};
  action.sa_handler = [](int) { stopRequested = 1; };
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  while (!stopRequested) pause();
  server.stop();
  return 0;
}

int publish(const std::vector<std::string>& positional, const std::map<std::string, std::string>& options) {
  if (positional.size() != 3) return usage();
  const std::string& game = positional[0];
  std::vector<publisher::ReleaseFile> files;
  std::string error;
  if (!publisher::readReleaseFolder(positional[2], option(options, "installer", ""), &files, &error)) {
    fprintf(stderr, "game-server: %s\n", error.c_str());
    return 1;
  }
  const std::string signer = option(options, "signer", "");
  if (!signer.empty() && !publisher::verifyInstallerSignature(std::filesystem::path(positional[2]) / files[0].name,
                                                               signer, option(options, "ca", ""), &error)) {
    fprintf(stderr, "game-server: %s; nothing was published\n", error.c_str());
    return 1;
  }
  std::unique_ptr<GameStore> store = openStore(options);
  if (!store) return 1;
  std::optional<int64_t> number = store->publish(game, positional[1], files, &error);
  if (!number) {
    fprintf(stderr, "game-server: cannot publish: %s\n", error.c_str());
    return 1;
  }
  printf("%s release %lld is current: %zu files, the installer %s\n", game.c_str(), static_cast<long long>(*number),
         files.size(), files[0].name.c_str());
  return 0;
}

int rollBack(const std::vector<std::string>& positional, const std::map<std::string, std::string>& options) {
  if (positional.size() != 1) return usage();
  std::unique_ptr<GameStore> store = openStore(options);
  if (!store) return 1;
  std::string error;
  std::optional<int64_t> number = store->rollBack(positional[0], &error);
  if (!number) {
    fprintf(stderr, "game-server: cannot roll back: %s\n", error.c_str());
    return 1;
  }
  printf("%s release %lld is current again\n", positional[0].c_str(), static_cast<long long>(*number));
  return 0;
}

int listReleases(const std::vector<std::string>& positional, const std::map<std::string, std::string>& options) {
  if (positional.size() != 1) return usage();
  std::unique_ptr<GameStore> store = openStore(options);
  if (!store) return 1;
  const std::optional<publisher::Release> current = store->currentRelease(positional[0]);
  for (const publisher::Release& release : store->releases(positional[0])) {
    printf("%s release %lld%s: %s\n", positional[0].c_str(), static_cast<long long>(release.number),
           current && current->number == release.number ? " (current)" : "", release.cdnBase.c_str());
    for (const publisher::ReleaseFile& file : release.files) {
      printf("  %s %llu %s\n", file.sha256.c_str(), static_cast<unsigned long long>(file.size), file.name.c_str());
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return usage();
  std::vector<std::string> positional;
  std::map<std::string, std::string> options;
  if (!readArguments(argc, argv, &positional, &options)) return usage();
  const std::string command = argv[1];
  if (command == "serve" && positional.empty()) return serve(options);
  if (command == "publish") return publish(positional, options);
  if (command == "rollback") return rollBack(positional, options);
  if (command == "releases") return listReleases(positional, options);
  return usage();
}
