// A stand-in service and an origin, both in-process on ephemeral loopback ports, with a temporary
// folder that holds the origin's files, the service's state and the mapped drive C.
#ifndef TESTS_SERVICE_SERVICE_FIXTURE_H
#define TESTS_SERVICE_SERVICE_FIXTURE_H

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "service/download_service.h"
#include "testbed/misbehaviour.h"
#include "testbed/origin_server.h"
#include "tests/support/temp_folder.h"
#include "tests/service/api_client.h"

namespace testbedtest {

class ServiceFixture : public ::testing::Test {
 protected:
  void TearDown() override;

  std::filesystem::path originRoot() const { return temp_.path() / "origin"; }
  std::filesystem::path stateDir() const { return temp_.path() / "state"; }
  std::filesystem::path driveC() const { return temp_.path() / "c"; }
  std::filesystem::path serviceLog() const { return temp_.path() / "service.log"; }
  std::filesystem::path originLog() const { return temp_.path() / "origin.log"; }

  // Puts a file of generated content on the origin and returns its content.
  std::string publish(const std::string& name, size_t size, uint32_t seed = 1);
  void startOrigin(uint64_t throttleBytesPerSecond = 0, uint16_t port = 0);
  void stopOrigin();
  std::string originUrl(const std::string& name) const;

  void startService(const std::function<void(testbed::ServiceOptions&)>& adjust = nullptr);
  void stopService();

  // One API request on the kept connection; the answer must be whole and valid flat JSON.
  JsonObject call(const std::string& target);
  JsonObject attributes(const std::string& url);
  // What the answer holds under the URL: the text, "null", or "<missing>".
  static std::string outcome(const JsonObject& answer, const std::string& url);
  void control(const std::string& query);
  bool waitForStatus(const std::string& url, const std::string& status, int milliseconds = 15000);
  int64_t uniqueReceived(const std::string& url);
  // Asks the service to download the origin's file name to clientPath (none: its default place).
  std::string startDownload(const std::string& name, const std::string& clientPath);
  bool waitForBytes(const std::string& url, int64_t atLeast);
  // Range headers the origin received for a file, in order ("" for a request without one).
  std::vector<std::string> originRanges(const std::string& name);

  testsupport::TempFolder temp_;
  std::unique_ptr<testbed::OriginServer> origin_;
  testbed::Misbehaviour misbehaviour_;  // the service's test controls, reached through GET /control
  std::unique_ptr<testbed::DownloadService> service_;
  std::unique_ptr<KeptConnection> api_;
  uint16_t originPort_ = 0;
  bool originHonoursIfRange_ = true;
  std::map<std::string, std::string> originRedirects_;  // request path -> Location of a 302
  std::function<void(testbed::OriginOptions&)> originAdjust_;  // the origin's misbehaviours
};

}  // namespace testbedtest

#endif
