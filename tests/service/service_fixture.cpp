#include "tests/service/service_fixture.h"

#include <fstream>

namespace testbedtest {

void ServiceFixture::TearDown() {
  stopService();
  stopOrigin();
}

std::string ServiceFixture::publish(const std::string& name, size_t size, uint32_t seed) {
  std::string content = patternBytes(size, seed);
  writeFile(originRoot() / name, content);
  return content;
}

void ServiceFixture::startOrigin(uint64_t throttleBytesPerSecond, uint16_t port) {
  std::filesystem::create_directories(originRoot());
  testbed::OriginOptions options;
  options.root = originRoot();
  options.logPath = originLog().u8string();
  options.throttleBytesPerSecond = throttleBytesPerSecond;
  options.honourIfRange = originHonoursIfRange_;
  options.redirects = originRedirects_;
  if (originAdjust_) originAdjust_(options);
  origin_ = std::make_unique<testbed::OriginServer>(options);
  std::string error;
  ASSERT_TRUE(origin_->start(port, &error)) << error;
  originPort_ = origin_->port();
}

void ServiceFixture::stopOrigin() { origin_.reset(); }

std::string ServiceFixture::startDownload(const std::string& name, const std::string& clientPath) {
  std::string url = originUrl(name);
  std::string extra = clientPath.empty() ? "" : "&path=" + encode(clientPath);
  EXPECT_EQ(outcome(call(apiTarget("downloadFile", url, extra)), url), "null");
  return url;
}

bool ServiceFixture::waitForBytes(const std::string& url, int64_t atLeast) {
  return waitFor([&] { return uniqueReceived(url) >= atLeast; }, std::chrono::seconds(10));
}

std::vector<std::string> ServiceFixture::originRanges(const std::string& name) {
  std::vector<std::string> ranges;
  std::ifstream in(originLog());
  for (std::string line; std::getline(in, line);) {
    if (line.find("\"path\":\"/" + name + "\"") == std::string::npos) continue;
    size_t at = line.find("[\"Range\",\"");
    ranges.push_back(at == std::string::npos ? "" : line.substr(at + 10, line.find('"', at + 10) - at - 10));
  }
  return ranges;
}

std::string ServiceFixture::originUrl(const std::string& name) const {
  return "http://127.0.0.1:" + std::to_string(originPort_) + "/" + name;
}

void ServiceFixture::startService(const std::function<void(svc::ServiceOptions&)>& adjust) {
  svc::ServiceOptions options;
  options.stateDir = stateDir();
  options.logPath = serviceLog().u8string();
  options.drives.add('C', driveC());
  options.retryDelay = std::chrono::milliseconds(100);
  options.fetch.silenceLimitMs = 2000;
  options.fetch.pollMs = 50;
  // The raw API calls of these tests do not answer write challenges unless a test asks for them.
  options.challengeNewPaths = false;
  options.hooks = &misbehaviour_;
  if (adjust) adjust(options);
  service_ = std::make_unique<svc::DownloadService>(std::move(options));
  std::string error;
  ASSERT_TRUE(service_->start(0, &error)) << error;
  api_ = std::make_unique<KeptConnection>(service_->port());
}

void ServiceFixture::stopService() {
  api_.reset();
  service_.reset();
}

JsonObject ServiceFixture::call(const std::string& target) {
  Reply reply = api_->get(target);
  JsonObject answer;
  EXPECT_TRUE(reply.ok) << target;
  EXPECT_TRUE(parseFlatJson(reply.body, answer)) << target << " gave " << reply.body;
  return answer;
}

JsonObject ServiceFixture::attributes(const std::string& url) {
  return call(apiTarget("getFileAttributes", url, "&complete"));
}

std::string ServiceFixture::outcome(const JsonObject& answer, const std::string& url) {
  auto found = answer.find(url);
  if (found == answer.end()) return "<missing>";
  if (found->second.kind == JsonValue::Null) return "null";
  return found->second.text;
}

void ServiceFixture::control(const std::string& query) {
  Reply reply = api_->get("/control?" + query);
  ASSERT_TRUE(reply.ok);
  ASSERT_EQ(reply.body, "{\"ok\":true}") << query;
}

bool ServiceFixture::waitForStatus(const std::string& url, const std::string& status, int milliseconds) {
  std::string last;
  bool reached = waitFor(
      [&] {
        last = attributes(url)["status"].text;
        return last == status;
      },
      std::chrono::milliseconds(milliseconds));
  if (!reached) ADD_FAILURE() << url << " stayed " << last << ", not " << status;
  return reached;
}

int64_t ServiceFixture::uniqueReceived(const std::string& url) { return attributes(url)["uniquerecv"].number; }

}  // namespace svctest
