// The testbed's origin (whole files, ranges, redirects, refusals, throttling, its log), the forward
// proxy in front of it, and the installer download server (plain and gzip bodies, forced statuses,
// its log).
#include <gtest/gtest.h>
#include <zlib.h>

#include <chrono>
#include <fstream>

#include "testbed/forward_proxy.h"
#include "testbed/installer_server.h"
#include "testbed/origin_server.h"
#include "tests/support/temp_folder.h"
#include "tests/service/api_client.h"

namespace testbedtest {
namespace {

namespace fs = std::filesystem;

size_t countLines(const fs::path& file) {
  std::ifstream in(file);
  size_t lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

class TestbedOrigin : public ::testing::Test {
 protected:
  void start(uint64_t throttle = 0) {
    content_ = patternBytes(100000, 21);
    writeFile(temp_.path() / "root" / "sub" / "file.bin", content_);
    writeFile(temp_.path() / "secret.txt", "secret");
    testbed::OriginOptions options;
    options.root = temp_.path() / "root";
    options.logPath = (temp_.path() / "origin.log").u8string();
    options.throttleBytesPerSecond = throttle;
    options.redirects["/old.bin"] = "/sub/file.bin";
    origin_ = std::make_unique<testbed::OriginServer>(options);
    std::string error;
    ASSERT_TRUE(origin_->start(0, &error)) << error;
    client_ = std::make_unique<KeptConnection>(origin_->port());
  }

  Reply get(const std::string& target, const std::string& range = "") {
    return client_->get(target, range.empty() ? "" : "Range: " + range + "\r\n", "HTTP/1.1");
  }

  testsupport::TempFolder temp_;
  std::string content_;
  std::unique_ptr<testbed::OriginServer> origin_;
  std::unique_ptr<KeptConnection> client_;
};

TEST_F(TestbedOrigin, ServesWholeFilesAndSingleRanges) {
  start();
  Reply whole = get("/sub/file.bin");
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(whole.status, 200);
  EXPECT_EQ(whole.body, content_);

  struct Case {
    const char* range;
    size_t first;
    size_t last;
  } cases[] = {{"bytes=1000-1999", 1000, 1999}, {"bytes=99000-", 99000, 99999}, {"bytes=-10", 99990, 99999}};
  for (const auto& c : cases) {
    Reply part = get("/sub/file.bin", c.range);
    ASSERT_TRUE(part.ok) << c.range;
    EXPECT_EQ(part.status, 206) << c.range;
    std::string expected = "Content-Range: bytes " + std::to_string(c.first) + "-" + std::to_string(c.last) + "/100000";
    EXPECT_NE(part.head.find(expected), std::string::npos) << part.head;
    EXPECT_EQ(part.body, content_.substr(c.first, c.last - c.first + 1)) << c.range;
  }
  Reply beyond = get("/sub/file.bin", "bytes=100000-");
  EXPECT_EQ(beyond.status, 416);
  EXPECT_NE(beyond.head.find("Content-Range: bytes */100000"), std::string::npos);
  EXPECT_EQ(get("/sub/missing.bin").status, 404);
  EXPECT_EQ(get("/sub").status, 404);
  EXPECT_EQ(client_->connectionsOpened(), 1);
  EXPECT_EQ(countLines(temp_.path() / "origin.log"), 7u);
}

TEST_F(TestbedOrigin, RedirectsAndTheProxyInFrontOfIt) {
  start();
  Reply moved = get("/old.bin");
  EXPECT_EQ(moved.status, 302);
  EXPECT_NE(moved.head.find("Location: /sub/file.bin\r\n"), std::string::npos) << moved.head;

  testbed::ForwardProxy proxy((temp_.path() / "proxy.log").u8string());
  std::string error;
  ASSERT_TRUE(proxy.start(0, &error)) << error;
  KeptConnection throughProxy(proxy.port());
  const std::string origin = "127.0.0.1:" + std::to_string(origin_->port());
  Reply whole = throughProxy.get("http://" + origin + "/sub/file.bin", "", "HTTP/1.1");
  EXPECT_EQ(whole.status, 200);
  EXPECT_TRUE(whole.body == content_);
  // The origin form, with the origin in Host, as a transparent proxy takes it; a range passes on.
  Exchange tail = exchangeOnce(proxy.port(), "GET /sub/file.bin HTTP/1.0\r\nHost: " + origin +
                                                  "\r\nRange: bytes=99990-\r\n\r\n");
  EXPECT_EQ(tail.reply.status, 206);
  EXPECT_TRUE(tail.reply.body == content_.substr(99990));
  EXPECT_EQ(throughProxy.get("ftp://" + origin + "/sub/file.bin", "", "HTTP/1.1").status, 400);
  // The two proxied requests are logged (a target of another scheme is refused as it is read).
  EXPECT_EQ(countLines(temp_.path() / "proxy.log"), 2u);
}

TEST_F(TestbedOrigin, NothingOutsideItsFolderIsServed) {
  start();
  for (const char* target : {"/../secret.txt", "/%2e%2e/secret.txt", "/sub/..%2f..%2fsecret.txt",
                             "/sub/%2e%2e%5c..%5csecret.txt", "/%2fetc%2fpasswd", "/sub/file.bin%00.txt"}) {
    EXPECT_EQ(get(target).status, 404) << target;
  }
#ifndef _WIN32
  fs::create_symlink(temp_.path() / "secret.txt", temp_.path() / "root" / "link.txt");
  EXPECT_EQ(get("/link.txt").status, 404);
#endif
  EXPECT_EQ(get("/sub/./file.bin").status, 200);
}

TEST_F(TestbedOrigin, ThrottleSpreadsTheBodyOverTime) {
  start(200000);
  auto before = std::chrono::steady_clock::now();
  Reply whole = get("/sub/file.bin");
  auto took = std::chrono::steady_clock::now() - before;
  ASSERT_TRUE(whole.ok);
  EXPECT_EQ(whole.body, content_);
  // 100000 bytes at 200000 bytes per second: half a second, less the first tenth sent at once.
  EXPECT_GE(took, std::chrono::milliseconds(400));
}

class TestbedInstaller : public ::testing::Test {
 protected:
  void start(bool gzip, int status = 0) {
    body_ = patternBytes(70000, 31) + std::string(50000, 'z');
    writeFile(temp_.path() / "installer.exe", body_);
    testbed::InstallerOptions options;
    options.bodyFile = temp_.path() / "installer.exe";
    options.logPath = (temp_.path() / "installer.log").u8string();
    options.gzip = gzip;
    options.forcedStatus = status;
    server_ = std::make_unique<testbed::InstallerServer>(options);
    std::string error;
    ASSERT_TRUE(server_->start(0, &error)) << error;
    client_ = std::make_unique<KeptConnection>(server_->port());
  }

  static std::string gunzip(const std::string& compressed) {
    z_stream stream{};
    if (inflateInit2(&stream, 31) != Z_OK) return "<no inflate>";
    std::string out(1 << 20, '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
    stream.avail_in = static_cast<uInt>(compressed.size());
    stream.next_out = reinterpret_cast<Bytef*>(&out[0]);
    stream.avail_out = static_cast<uInt>(out.size());
    int result = inflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    inflateEnd(&stream);
    return result == Z_STREAM_END ? out : "<not a whole gzip stream>";
  }

  static constexpr const char* kRequest = "/conf/install.html?file=installer&upload=true&silent=true";

  testsupport::TempFolder temp_;
  std::string body_;
  std::unique_ptr<testbed::InstallerServer> server_;
  std::unique_ptr<KeptConnection> client_;
};

TEST_F(TestbedInstaller, ServesThePlainBody) {
  start(false);
  Reply reply = client_->get(kRequest, "Accept-Encoding: gzip\r\n");
  ASSERT_TRUE(reply.ok);
  EXPECT_EQ(reply.status, 200);
  EXPECT_EQ(reply.body, body_);
  EXPECT_EQ(reply.head.find("Content-Encoding"), std::string::npos);
}

TEST_F(TestbedInstaller, GzipBodyInflatesToTheOriginal) {
  start(true);
  Reply reply = client_->get("/conf/install.html?file=installer&upload=false&silent=true");
  ASSERT_TRUE(reply.ok);
  EXPECT_NE(reply.head.find("Content-Encoding: gzip\r\n"), std::string::npos);
  EXPECT_LT(reply.body.size(), body_.size());
  EXPECT_EQ(gunzip(reply.body), body_);
}

TEST_F(TestbedInstaller, ForcedStatusAndOtherRequestsAreRefused) {
  start(false, 404);
  EXPECT_EQ(client_->get(kRequest).status, 404);
  server_.reset();
  start(false);
  for (const char* target : {"/conf/install.html?file=installer&upload=maybe&silent=true",
                             "/conf/install.html?file=other&upload=true&silent=true",
                             "/conf/install.html?file=installer&upload=true", "/install.html"}) {
    EXPECT_EQ(client_->get(target).status, 404) << target;
  }
  EXPECT_EQ(client_->get(kRequest).status, 200);
  // Both servers appended to the same log: one line per request.
  EXPECT_EQ(countLines(temp_.path() / "installer.log"), 6u);
}

}  // namespace
}  // namespace testbedtest
