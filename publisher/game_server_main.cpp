// game-server: the publisher's own server for the downloader.
//   game-server serve [--db WHERE] [--port N] [--log FILE] [--rate PER_SECOND] [--burst N]
//                     [--dashboard-token-file FILE] [--behind-proxy yes|no] [--log-size MIB]
//                     [--log-files N] [--max-connections N] [--connections-per-client N]
//                     [--request-timeout SECONDS] [--body-limit BYTES]
//   game-server publish GAME CDN_BASE_URL FOLDER [--db WHERE] [--installer NAME]
//                       [--signer "COMMON NAME" [--ca ROOTS.pem]]
//   game-server rollback GAME [--db WHERE]
//   game-server releases GAME [--db WHERE]
// WHERE is an SQLite file (game-server.db by default) or a PostgreSQL address
// ("postgresql://user@host/db" or "host=... dbname=..."). The server listens on 127.0.0.1 only:
// players reach it through a TLS reverse proxy; with --behind-proxy yes, the proxy's
// X-Forwarded-For names the client, and requests without it are refused.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "publisher/access_log.h"
#include "publisher/fault_log.h"
#include "publisher/game_requests.h"
#include "publisher/game_store.h"
#include "publisher/release_folder.h"
#include "publisher/text_checks.h"
#include "web/http_server.h"

namespace {

using publisher::GameStore;

int usage() {
  fprintf(stderr,
          "usage: game-server serve [--db WHERE] [--port N] [--log FILE] [--rate PER_SECOND] [--burst N]\n"
          "                         [--dashboard-token-file FILE] [--behind-proxy yes|no] [--log-size MIB]\n"
          "                         [--log-files N] [--max-connections N] [--connections-per-client N]\n"
          "                         [--request-timeout SECONDS] [--body-limit BYTES]\n"
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

// A whole non-negative number option, or the fallback; false (and a message) when it is not one.
bool numberOption(const std::map<std::string, std::string>& options, const char* name, long fallback, long* value) {
  auto found = options.find(name);
  if (found == options.end()) {
    *value = fallback;
    return true;
  }
  char* end = nullptr;
  *value = strtol(found->second.c_str(), &end, 10);
  if (found->second.empty() || *end != '\0' || *value < 0) {
    fprintf(stderr, "game-server: --%s takes a whole number, not \"%s\"\n", name, found->second.c_str());
    return false;
  }
  return true;
}

std::unique_ptr<GameStore> openStore(const std::map<std::string, std::string>& options,
                                     publisher::FaultLog* faults = nullptr) {
  std::string error;
  const std::string where = option(options, "db", "game-server.db");
  GameStore::Settings settings;
  settings.faults = faults;
  std::unique_ptr<GameStore> store = GameStore::open(
      [where](std::string* why) { return publisher::openDatabase(where, why); }, &error, std::move(settings));
  if (!store) fprintf(stderr, "game-server: %s\n", error.c_str());
  return store;
}

// The dashboard token: the file's first line without its line end. A file that others may read
// is used, with a warning: anyone who can read it can read every player's figures.
bool readToken(const std::string& file, std::string* token) {
  std::ifstream in(file);
  std::getline(in, *token);
  while (!token->empty() && (token->back() == '\r' || token->back() == ' ' || token->back() == '\t')) token->pop_back();
  if (!in && !in.eof()) token->clear();
  if (token->size() < 16) {
    fprintf(stderr, "game-server: the dashboard token in %s must be one line of at least 16 characters\n", file.c_str());
    return false;
  }
  struct stat status {};
  if (stat(file.c_str(), &status) == 0 && (status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    fprintf(stderr, "game-server: warning: %s can be read by others than its owner (chmod 600 it)\n", file.c_str());
  }
  return true;
}

volatile sig_atomic_t stopRequested = 0;

int serve(const std::map<std::string, std::string>& options) {
  publisher::FaultLog faults;
  publisher::GameRequestLimits limits;
  limits.requestsPerSecond = atof(option(options, "rate", "50").c_str());
  limits.burst = atof(option(options, "burst", "200").c_str());
  const std::string proxy = option(options, "behind-proxy", "no");
  if (proxy != "yes" && proxy != "no") {
    fprintf(stderr, "game-server: --behind-proxy takes yes or no\n");
    return 2;
  }
  limits.behindProxy = proxy == "yes";
  long logMib = 0, logFiles = 0, maxConnections = 0, perClient = 0, requestSeconds = 0, bodyLimit = 0, port = 0;
  // Behind a proxy every connection comes from the proxy, so a bound per address would bound it.
  if (!numberOption(options, "log-size", 16, &logMib) || !numberOption(options, "log-files", 4, &logFiles) ||
      !numberOption(options, "max-connections", 512, &maxConnections) ||
      !numberOption(options, "connections-per-client", limits.behindProxy ? 0 : 32, &perClient) ||
      !numberOption(options, "request-timeout", 10, &requestSeconds) ||
      !numberOption(options, "body-limit", 4096, &bodyLimit) || !numberOption(options, "port", 8080, &port) ||
      port > 65535 || logMib < 1 || requestSeconds < 1 || bodyLimit < 1) {
    fprintf(stderr, "game-server: --log-size, --request-timeout and --body-limit are at least 1, --port at most 65535\n");
    return 2;
  }
  limits.largestStatsBody = std::min<size_t>(limits.largestStatsBody, static_cast<size_t>(bodyLimit));
  const std::string tokenFile = option(options, "dashboard-token-file", "");
  if (!tokenFile.empty() && !readToken(tokenFile, &limits.dashboardToken)) return 1;
  std::unique_ptr<GameStore> store = openStore(options, &faults);
  if (!store) return 1;
  publisher::AccessLog log(option(options, "log", ""),
                           publisher::AccessLogLimits{static_cast<uint64_t>(logMib) << 20, static_cast<int>(logFiles)},
                           faults);
  std::string error;
  if (!log.usable(&error)) {
    fprintf(stderr, "game-server: %s\n", error.c_str());
    return 1;
  }
  publisher::GameRequests requests(*store, limits,
                                   [&log](const web::HttpRequest& request, uint64_t connection, const std::string& client) {
                                     log.record(request, connection, client);
                                   });
  web::ServerLimits serverLimits;
  serverLimits.idleTimeout = std::chrono::seconds(60);
  serverLimits.requestTimeout = std::chrono::seconds(requestSeconds);
  serverLimits.firstRequestTimeout = std::chrono::seconds(requestSeconds);
  serverLimits.sendTimeout = std::chrono::seconds(requestSeconds);
  serverLimits.maxConnections = static_cast<size_t>(maxConnections);
  serverLimits.maxConnectionsPerAddress = static_cast<size_t>(perClient);
  serverLimits.largestBody = static_cast<size_t>(bodyLimit);
  web::HttpServer server(
      [&](const web::HttpRequest& request, uint64_t connection) { return requests.handle(request, connection); },
      serverLimits);
  if (!server.start(static_cast<uint16_t>(port), &error)) {
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
  if (!publisher::isGameCode(game)) {
    fprintf(stderr, "game-server: the game code is 1 to 32 letters, digits, \"_\", \"-\" or \".\"; nothing was published\n");
    return 1;
  }
  if (!publisher::isCdnBase(positional[1])) {
    fprintf(stderr,
            "game-server: the CDN base must be an http:// or https:// address with no query, fragment, space or "
            "quote; nothing was published\n");
    return 1;
  }
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
  std::vector<publisher::Release> all;
  std::string error;
  if (!store->releases(positional[0], &all, &error)) {
    fprintf(stderr, "game-server: cannot list the releases: %s\n", error.c_str());
    return 1;
  }
  if (all.empty()) fprintf(stderr, "game-server: %s has no releases\n", positional[0].c_str());
  for (const publisher::Release& release : all) {
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
