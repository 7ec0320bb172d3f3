// The testbed executable: one subcommand per stand-in server.
//   testbed service   --port 9421 --state-dir DIR --log FILE [--drive C=/dir ...] [options]
//   testbed origin    --port P --root DIR --log FILE [--throttle BYTES_PER_SEC]
//   testbed installer --port P --body FILE --log FILE [--gzip] [--status CODE]
//   testbed publisher --port P --log FILE (--files DIR --origin URL | --config-xml FILE) [options]
//   testbed analytics --port P --log FILE [--fault QUERY ...] [--refuse-ms MS]
//   testbed proxy     --port P --log FILE
// Each prints "listening on <port>" once it accepts connections and runs until interrupted.
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "testbed/analytics_sink.h"
#include "web/http_message.h"
#include "testbed/forward_proxy.h"
#include "testbed/installer_server.h"
#include "testbed/misbehaviour.h"
#include "service/download_service.h"
#include "testbed/origin_server.h"
#include "testbed/publisher_server.h"
#include "web/query.h"
#include "testbed/web_plumbing.h"

namespace {

std::atomic<bool> g_interrupted{false};

extern "C" void onSignal(int) { g_interrupted = true; }

const char kUsage[] =
    "usage:\n"
    "  testbed service --port 9421 --state-dir DIR --log FILE [--drive C=/dir ...]\n"
    "                  [--retry-delay-ms N] [--library-data-dir DIR]\n"
    "                  [--stall URL|*] [--force-status URL STATUS] [--fail FUNCTION URL TEXT]\n"
    "                  [--in-use N] [--challenge none|download|delete|both] [--reset-download URL]\n"
    "                  [--drop-connections N] [--delay-ms N] [--connections N]\n"
    "                  [--version A.B.C.D]\n"
    "  testbed origin --port P --root DIR --log FILE [--throttle BYTES_PER_SEC_PER_CONNECTION]\n"
    "                  [--redirect PATH LOCATION ...] [--max-bodies N [--retry-after SECONDS]]\n"
    "                  [--ignore-ranges] [--silent-bodies N --silent-after BYTES] [--sent-log FILE]\n"
    "                  [--send-buffer BYTES]\n"
    "  testbed installer --port P --body FILE --log FILE [--gzip] [--status CODE]\n"
    "  testbed publisher --port P --log FILE (--files DIR --origin URL | --config-xml FILE)\n"
    "                  [--base /downloads/v1] [--code irf] [--sid SID] [--sid-xml FILE]\n"
    "                  [--file-id ID] [--sha256 LISTING] [--names-as-is] [--fault QUERY ...] [--refuse-ms MS]\n"
    "  testbed analytics --port P --log FILE [--fault QUERY ...] [--refuse-ms MS]\n"
    "  testbed proxy --port P --log FILE\n"
    "  (--fault takes control parameters, e.g. 'fault=status&status=500&count=2&on=sid')\n";

// Flags and how many values each takes, for one subcommand; repeated flags keep every use.
class Arguments {
 public:
  Arguments(std::map<std::string, int> arity) : arity_(std::move(arity)) {}

  bool parse(int argc, char** argv, std::string* error) {
    for (int i = 2; i < argc; ++i) {
      auto found = arity_.find(argv[i]);
      if (found == arity_.end()) {
        *error = std::string("unknown option ") + argv[i];
        return false;
      }
      if (i + found->second >= argc) {
        *error = std::string("missing value for ") + argv[i];
        return false;
      }
      std::vector<std::string> values(argv + i + 1, argv + i + 1 + found->second);
      uses_.push_back({found->first, values});
      i += found->second;
    }
    return true;
  }
  const std::vector<std::pair<std::string, std::vector<std::string>>>& uses() const { return uses_; }
  std::string value(const std::string& flag, const std::string& fallback = "") const {
    for (auto it = uses_.rbegin(); it != uses_.rend(); ++it) {
      if (it->first == flag && !it->second.empty()) return it->second.front();
    }
    return fallback;
  }
  bool has(const std::string& flag) const {
    for (const auto& use : uses_) {
      if (use.first == flag) return true;
    }
    return false;
  }

 private:
  std::map<std::string, int> arity_;
  std::vector<std::pair<std::string, std::vector<std::string>>> uses_;
};

bool readNumber(const std::string& text, uint64_t limit, uint64_t* value) {
  return testbed::parseDecimal(text, value) && *value <= limit;
}

bool readPort(const Arguments& args, uint16_t* port, std::string* error) {
  uint64_t value = 0;
  if (!readNumber(args.value("--port", "0"), 65535, &value)) {
    *error = "--port takes a number from 0 to 65535";
    return false;
  }
  *port = static_cast<uint16_t>(value);
  return true;
}

// Reads a subcommand's flags and its port; when they are wrong, says why with the usage.
bool readArguments(const char* command, int argc, char** argv, Arguments& args, uint16_t* port) {
  std::string error;
  if (args.parse(argc, argv, &error) && readPort(args, port, &error)) return true;
  std::fprintf(stderr, "testbed %s: %s\n%s", command, error.c_str(), kUsage);
  return false;
}

// Announces the port, then waits for SIGINT or SIGTERM.
void runUntilInterrupted(uint16_t port, const std::function<void()>& stop) {
  std::printf("listening on %u\n", static_cast<unsigned>(port));
  std::fflush(stdout);
  while (!g_interrupted) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  stop();
}

// Starts the server, runs onListening once it listens, and serves until interrupted; the exit code.
template <typename Server>
int serve(const char* command, Server& server, uint16_t port, const std::function<void()>& onListening = {}) {
  std::string error;
  if (!server.start(port, &error)) {
    std::fprintf(stderr, "testbed %s: %s\n", command, error.c_str());
    return 1;
  }
  if (onListening) onListening();
  runUntilInterrupted(server.port(), [&server] { server.stop(); });
  return 0;
}

// A misbehaviour flag as the parameters of one control request, so that both roads set the same
// things; empty for flags that are not about misbehaviour.
testbed::QueryParams controlFromFlag(const std::string& flag, const std::vector<std::string>& values) {
  auto param = [](const char* name, const std::string& value) { return testbed::QueryParam{name, value, true}; };
  if (flag == "--stall") return {param("stall", values[0])};
  if (flag == "--force-status") return {param("url", values[0]), param("forcestatus", values[1])};
  if (flag == "--fail") return {param("fail", values[0]), param("url", values[1]), param("text", values[2])};
  if (flag == "--in-use") return {param("inuse", values[0])};
  if (flag == "--challenge") return {param("challenge", values[0])};
  if (flag == "--reset-download") return {param("resetdownload", values[0])};
  if (flag == "--drop-connections") return {param("drop", values[0])};
  if (flag == "--delay-ms") return {param("delay", values[0])};
  return {};
}

int runService(int argc, char** argv) {
  Arguments args({{"--port", 1}, {"--state-dir", 1}, {"--log", 1}, {"--drive", 1}, {"--retry-delay-ms", 1},
                  {"--library-data-dir", 1}, {"--stall", 1}, {"--force-status", 2}, {"--fail", 3},
                  {"--in-use", 1}, {"--challenge", 1}, {"--reset-download", 1}, {"--drop-connections", 1},
                  {"--delay-ms", 1}, {"--no-challenge", 0}, {"--connections", 1}, {"--version", 1}});
  uint16_t port = 0;
  if (!readArguments("service", argc, argv, args, &port)) return 2;
  if (!args.has("--state-dir")) {
    std::fprintf(stderr, "testbed service: --state-dir is required\n%s", kUsage);
    return 2;
  }
  testbed::ServiceOptions options;
  options.stateDir = std::filesystem::u8path(args.value("--state-dir"));
  options.logPath = args.value("--log");
  options.libraryDataDir = std::filesystem::u8path(args.value("--library-data-dir"));
  options.challengeNewPaths = !args.has("--no-challenge");
  // Another release's version, as the tests of updates need one.
  if (args.has("--version")) options.version = args.value("--version");
  uint64_t retryMs = 3000;
  if (!readNumber(args.value("--retry-delay-ms", "3000"), 3600000, &retryMs)) {
    std::fprintf(stderr, "testbed service: --retry-delay-ms takes a number of milliseconds\n");
    return 2;
  }
  options.retryDelay = std::chrono::milliseconds(retryMs);
  uint64_t connections = static_cast<uint64_t>(options.segments.connections);
  if (!readNumber(args.value("--connections", std::to_string(connections)), 16, &connections) || connections == 0) {
    std::fprintf(stderr, "testbed service: --connections takes a number from 1 to 16\n");
    return 2;
  }
  options.segments.connections = static_cast<int>(connections);
  std::vector<testbed::QueryParams> controls;
  for (const auto& [flag, values] : args.uses()) {
    if (flag == "--drive" && !options.drives.addMapping(values[0])) {
      std::fprintf(stderr, "testbed service: --drive takes LETTER=/folder, not %s\n", values[0].c_str());
      return 2;
    }
    testbed::QueryParams control = controlFromFlag(flag, values);
    if (!control.empty()) controls.push_back(std::move(control));
  }
  testbed::Misbehaviour misbehaviour;
  options.hooks = &misbehaviour;
  testbed::DownloadService service(std::move(options));
  for (const auto& control : controls) {
    std::string error = misbehaviour.apply(control);
    if (!error.empty()) {
      std::fprintf(stderr, "testbed service: %s\n", error.c_str());
      return 2;
    }
  }
  return serve("service", service, port);
}

int runOrigin(int argc, char** argv) {
  Arguments args({{"--port", 1}, {"--root", 1}, {"--log", 1}, {"--throttle", 1}, {"--redirect", 2},
                  {"--max-bodies", 1}, {"--retry-after", 1}, {"--ignore-ranges", 0}, {"--silent-bodies", 1},
                  {"--silent-after", 1}, {"--sent-log", 1}, {"--send-buffer", 1}});
  uint16_t port = 0;
  uint64_t throttle = 0;
  uint64_t maxBodies = 0;
  uint64_t retryAfter = 1;
  uint64_t silentBodies = 0;
  uint64_t silentAfter = 0;
  uint64_t sendBuffer = 0;
  if (!readArguments("origin", argc, argv, args, &port)) return 2;
  if (!args.has("--root") || !readNumber(args.value("--throttle", "0"), UINT64_MAX / 2000000, &throttle) ||
      !readNumber(args.value("--max-bodies", "0"), 1000, &maxBodies) ||
      !readNumber(args.value("--retry-after", "1"), 3600, &retryAfter) ||
      !readNumber(args.value("--silent-bodies", "0"), 1000, &silentBodies) ||
      !readNumber(args.value("--silent-after", "0"), UINT64_MAX / 2, &silentAfter) ||
      !readNumber(args.value("--send-buffer", "0"), 64 * 1024 * 1024, &sendBuffer)) {
    std::fprintf(stderr, "testbed origin: --root DIR is required; the other options take numbers\n%s", kUsage);
    return 2;
  }
  testbed::OriginOptions options;
  options.root = std::filesystem::u8path(args.value("--root"));
  options.logPath = args.value("--log");
  options.throttleBytesPerSecond = throttle;
  options.maxBodiesAtOnce = static_cast<int>(maxBodies);
  options.retryAfterSeconds = static_cast<int>(retryAfter);
  options.ignoreRanges = args.has("--ignore-ranges");
  options.silentBodies = static_cast<int>(silentBodies);
  options.silentAfterBytes = silentAfter;
  options.sendBufferBytes = static_cast<int>(sendBuffer);
  for (const auto& [flag, values] : args.uses()) {
    if (flag == "--redirect") options.redirects[values[0]] = values[1];
  }
  testbed::OriginServer origin(std::move(options));
  // --sent-log FILE: every 100 ms, the milliseconds since the start and the body bytes sent so far,
  // for benchmarks that measure what the clients took.
  std::atomic<bool> done{false};
  std::thread sentLog;
  const std::string sentPath = args.value("--sent-log");
  const int status = serve("origin", origin, port, [&] {
    if (sentPath.empty()) return;
    sentLog = std::thread([&origin, &done, sentPath] {
      FILE* out = std::fopen(sentPath.c_str(), "w");
      if (out == nullptr) return;
      const auto started = std::chrono::steady_clock::now();
      while (!done) {
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count();
        std::fprintf(out, "%lld %llu\n", static_cast<long long>(ms), static_cast<unsigned long long>(origin.bytesSent()));
        std::fflush(out);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      std::fclose(out);
    });
  });
  done = true;
  if (sentLog.joinable()) sentLog.join();
  return status;
}

int runInstaller(int argc, char** argv) {
  Arguments args({{"--port", 1}, {"--body", 1}, {"--log", 1}, {"--gzip", 0}, {"--status", 1}});
  uint16_t port = 0;
  uint64_t status = 0;
  if (!readArguments("installer", argc, argv, args, &port)) return 2;
  if (!args.has("--body") || !readNumber(args.value("--status", "0"), 599, &status) ||
      (status != 0 && status < 100)) {
    std::fprintf(stderr, "testbed installer: --body FILE is required, --status takes an HTTP status\n%s", kUsage);
    return 2;
  }
  testbed::InstallerOptions options;
  options.bodyFile = std::filesystem::u8path(args.value("--body"));
  options.logPath = args.value("--log");
  options.gzip = args.has("--gzip");
  options.forcedStatus = static_cast<int>(status);
  testbed::InstallerServer installer(std::move(options));
  return serve("installer", installer, port);
}

int runProxy(int argc, char** argv) {
  Arguments args({{"--port", 1}, {"--log", 1}});
  uint16_t port = 0;
  if (!readArguments("proxy", argc, argv, args, &port)) return 2;
  testbed::ForwardProxy proxy(args.value("--log"));
  return serve("proxy", proxy, port);
}

// The --fault and --refuse-ms flags as control requests, applied before the server listens (a
// refusal starts once it listens, so the announced port is already bound).
template <typename Server>
bool applyFaultFlags(const Arguments& args, Server& server, uint64_t* refuseMs, std::string* error) {
  for (const auto& [flag, values] : args.uses()) {
    if (flag != "--fault") continue;
    testbed::QueryParams params = testbed::parseQuery(values[0]);
    if (testbed::findParam(params, "refuse") != nullptr) {
      *error = "--fault takes no refuse=: use --refuse-ms";
      return false;
    }
    *error = server.control(params);
    if (!error->empty()) return false;
  }
  if (!readNumber(args.value("--refuse-ms", "0"), 3600000, refuseMs)) {
    *error = "--refuse-ms takes milliseconds";
    return false;
  }
  return true;
}

// serve() for a server with scripted failures, which the --fault and --refuse-ms flags set up.
template <typename Server>
int serveWithFaultFlags(const char* command, const Arguments& args, Server& server, uint16_t port) {
  uint64_t refuseMs = 0;
  std::string error;
  if (!applyFaultFlags(args, server, &refuseMs, &error)) {
    std::fprintf(stderr, "testbed %s: %s\n", command, error.c_str());
    return 2;
  }
  return serve(command, server, port, [&server, refuseMs] {
    if (refuseMs > 0) server.control({{"refuse", std::to_string(refuseMs), true}});
  });
}

int runPublisher(int argc, char** argv) {
  Arguments args({{"--port", 1}, {"--log", 1}, {"--base", 1}, {"--code", 1}, {"--sid", 1}, {"--sid-xml", 1},
                  {"--config-xml", 1}, {"--files", 1}, {"--origin", 1}, {"--file-id", 1}, {"--fault", 1},
                  {"--refuse-ms", 1}, {"--sha256", 1}, {"--names-as-is", 0}});
  uint16_t port = 0;
  if (!readArguments("publisher", argc, argv, args, &port)) return 2;
  testbed::PublisherOptions options;
  options.basePath = args.value("--base", options.basePath);
  options.gameCode = args.value("--code", options.gameCode);
  options.sid = args.value("--sid", options.sid);
  options.sidAnswerFile = std::filesystem::u8path(args.value("--sid-xml"));
  options.configAnswerFile = std::filesystem::u8path(args.value("--config-xml"));
  options.gameFolder = std::filesystem::u8path(args.value("--files"));
  options.originUrl = args.value("--origin");
  options.digestListing = std::filesystem::u8path(args.value("--sha256"));
  options.fileId = args.value("--file-id", options.fileId);
  options.namesAsIs = args.has("--names-as-is");
  options.logPath = args.value("--log");
  testbed::PublisherServer publisher(std::move(options));
  return serveWithFaultFlags("publisher", args, publisher, port);
}

int runAnalytics(int argc, char** argv) {
  Arguments args({{"--port", 1}, {"--log", 1}, {"--fault", 1}, {"--refuse-ms", 1}});
  uint16_t port = 0;
  if (!readArguments("analytics", argc, argv, args, &port)) return 2;
  testbed::AnalyticsSinkOptions options;
  options.logPath = args.value("--log");
  testbed::AnalyticsSink sink(std::move(options));
  return serveWithFaultFlags("analytics", args, sink, port);
}

}  // namespace

int main(int argc, char** argv) {
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  std::string command = argc > 1 ? argv[1] : "";
  if (command == "service") return runService(argc, argv);
  if (command == "origin") return runOrigin(argc, argv);
  if (command == "installer") return runInstaller(argc, argv);
  if (command == "publisher") return runPublisher(argc, argv);
  if (command == "analytics") return runAnalytics(argc, argv);
  if (command == "proxy") return runProxy(argc, argv);
  std::fputs(kUsage, stderr);
  return 2;
}
