// Every stand-in server refuses to start, saying why, when its request log cannot be opened or its
// port is taken, and starts once both are fine.
#include <gtest/gtest.h>

#include <functional>

#include "testbed/analytics_sink.h"
#include "testbed/installer_server.h"
#include "service/download_service.h"
#include "testbed/origin_server.h"
#include "testbed/publisher_server.h"
#include "tests/support/temp_folder.h"
#include "tests/service/api_client.h"

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

// Builds one server with the given request log, starts it on port and lets it go again.
using StartAttempt = std::function<bool(const std::string& logPath, uint16_t port, std::string* error)>;

template <typename Server, typename Options>
StartAttempt startAttempt(const Options& options) {
  return [options](const std::string& logPath, uint16_t port, std::string* error) {
    Options withLog = options;
    withLog.logPath = logPath;
    Server server(std::move(withLog));
    return server.start(port, error);
  };
}

TEST(TestbedServerStart, EachServerSaysWhyItCannotStart) {
  testsupport::TempFolder temp;
  writeFile(temp.path() / "files" / "a.bin", "game data");
  writeFile(temp.path() / "installer.exe", "installer");
  testbed::ServiceOptions service;
  service.stateDir = temp.path() / "state";
  testbed::OriginOptions origin;
  origin.root = temp.path() / "files";
  testbed::InstallerOptions installer;
  installer.bodyFile = temp.path() / "installer.exe";
  testbed::PublisherOptions publisher;
  publisher.gameFolder = temp.path() / "files";
  publisher.originUrl = "http://127.0.0.1:1";
  const struct {
    const char* kind;
    StartAttempt start;
  } servers[] = {
      {"service", startAttempt<testbed::DownloadService>(service)},
      {"origin", startAttempt<testbed::OriginServer>(origin)},
      {"installer", startAttempt<testbed::InstallerServer>(installer)},
      {"publisher", startAttempt<testbed::PublisherServer>(publisher)},
      {"analytics", startAttempt<testbed::AnalyticsSink>(testbed::AnalyticsSinkOptions{})},
  };

  testbed::AnalyticsSink portHolder({});
  ASSERT_TRUE(portHolder.start(0, nullptr));
  const std::string unopenableLog = (temp.path() / "no-such-folder" / "requests.log").u8string();
  for (const auto& server : servers) {
    SCOPED_TRACE(server.kind);
    std::string error;
    EXPECT_FALSE(server.start(unopenableLog, 0, &error));
    EXPECT_EQ(error, "cannot open the request log " + unopenableLog);
    error.clear();
    EXPECT_FALSE(server.start("", portHolder.port(), &error));
    EXPECT_EQ(error, "cannot listen on 127.0.0.1:" + std::to_string(portHolder.port()));
    error.clear();
    const std::string log = (temp.path() / (std::string(server.kind) + ".log")).u8string();
    EXPECT_TRUE(server.start(log, 0, &error)) << error;
    EXPECT_TRUE(fs::exists(log));
  }
}

}  // namespace
}  // namespace testbedtest
