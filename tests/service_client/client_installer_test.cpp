// The install road on this system: the installer is fetched from a real installer server, saved
// in the data folder and run; here the "installer" is a shell script that starts the native
// stand-in service on the API port, as a real one would leave the service running.
#include "service_client/client_installer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <vector>

#include "service_client/client_errors.h"
#include "service_client/exported_wrappers.h"
#include "service_client/installer_download.h"
#include "service_client/platform.h"
#include "service_client/service_update.h"
#include "service_client/transport.h"
#include "testbed/installer_server.h"
#include "tests/support/data_folder_fixture.h"
#include "tests/support/install_road_checks.h"
#include "tests/support/scripted_peer.h"
#include "tests/support/service_script.h"
#include "tests/support/temp_folder.h"

namespace {

std::vector<int> g_progress;
void recordProgress(int32_t percentage, uint32_t reserved) {
  EXPECT_EQ(reserved, 0u);
  g_progress.push_back(percentage);
}

class ClientInstallerTest : public testsupport::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    g_progress.clear();
    options_ = DownloadOptions{};
    options_.recordSize = kDownloadOptionsRecordSize;
    options_.progressCallback = recordProgress;
  }
  void TearDown() override {
    stopStartedService();
    _ak_testSetInstallerBaseUrl(nullptr);
    DataFolderTest::TearDown();
  }

  // An installer script that starts the stand-in service (reporting version, or this build's)
  // and returns once it listens, or one that does nothing at all.
  std::string serviceStartingInstaller(const std::string& version = "") const {
    const std::string versionFlag = version.empty() ? "" : " --version " + version;
    return "#!/bin/sh\n"
           "rm -f '" + work_.utf8("service.out") + "'\n"
           "\"" AK_NATIVE_TESTBED "\" service --port 9421 --state-dir '" + work_.utf8("state") + "' --log '" +
           work_.utf8("service.log") + "'" + versionFlag + " >'" + work_.utf8("service.out") + "' 2>&1 &\n"
           "echo $! >'" + work_.utf8("service.pid") + "'\n"
           "for i in $(seq 1 200); do grep -q '^listening on' '" + work_.utf8("service.out") +
           "' 2>/dev/null && exit 0; sleep 0.05; done\nexit 1\n";
  }
  // An updating installer: stops the running stand-in, then starts this build's.
  std::string updatingInstaller() const {
    return "#!/bin/sh\nold=$(cat '" + work_.utf8("service.pid") + "')\nkill $old\n"
           "for i in $(seq 1 100); do kill -0 $old 2>/dev/null || break; sleep 0.05; done\n" +
           serviceStartingInstaller().substr(strlen("#!/bin/sh\n"));
  }
  // A stand-in service of another release on the API port, as an earlier install left it.
  void startServiceOfVersion(const std::string& version) {
    const std::string script = work_.utf8("start-service.sh");
    std::ofstream(script) << serviceStartingInstaller(version);
    ASSERT_EQ(system(("sh '" + script + "'").c_str()), 0);
  }
  std::string runningVersion() {
    char version[64] = "";
    EXPECT_TRUE(_ak_runningServiceVersion("probe", version, sizeof version));
    return version;
  }
  static std::string idleInstaller() { return "#!/bin/sh\nexit 0\n"; }

  // Serves body as the installer and points the library at it.
  void serveInstaller(const std::string& body, bool gzip, int status = 0) {
    server_.reset();
    std::filesystem::remove(work_.path() / "installer.log");
    std::ofstream(work_.path() / "installer.body", std::ios::binary) << body;
    testbed::InstallerOptions options;
    options.bodyFile = work_.path() / "installer.body";
    options.logPath = work_.utf8("installer.log");
    options.gzip = gzip;
    options.forcedStatus = status;
    server_ = std::make_unique<testbed::InstallerServer>(options);
    std::string error;
    ASSERT_TRUE(server_->start(0, &error)) << error;
    baseUrl_ = "http://127.0.0.1:" + std::to_string(server_->port());
    _ak_testSetInstallerBaseUrl(baseUrl_.c_str());
  }

  void stopStartedService() {
    std::ifstream pidFile(work_.path() / "service.pid");
    int pid = 0;
    if (pidFile >> pid && pid > 0) kill(pid, SIGTERM);
    for (int i = 0; i < 100 && _ak_ping("probe") == 0; ++i) akplatform::sleepMs(50);
  }

  std::string installerRequests() const { return testsupport::readWholeFile(work_.path() / "installer.log"); }
  std::string log() const { return readDataFile("installer.txt"); }

  testsupport::TempFolder work_;
  std::unique_ptr<testbed::InstallerServer> server_;
  std::string baseUrl_;
  DownloadOptions options_;
};

TEST_F(ClientInstallerTest, WithTheServiceRunningNothingIsDownloadedOrCreated) {
  testsupport::ScriptedService service({}, true);
  ASSERT_TRUE(service.listening());
  ASSERT_EQ(ak_install("Tessel Download Client", 0, "Sample App EULA v1.2", &options_), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  EXPECT_EQ(g_progress, (std::vector<int>{5, 10, 95}));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "service_installer.exe"));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "guid.ini"));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "accepteula.txt"));
}

TEST_F(ClientInstallerTest, InstallsFromAPlainOrGzipBodyAndFindsTheServiceAfterwards) {
  for (bool gzip : {false, true}) {
    SCOPED_TRACE(gzip ? "gzip" : "plain");
    // Padded so the body takes several reads and the progress moves between 25 and 75.
    std::string installer = serviceStartingInstaller() + "# " + std::string(200000, 'x') + "\n";
    serveInstaller(installer, gzip);
    removeDataFolder();
    g_progress.clear();
    ASSERT_EQ(TSInstall(&options_), 0) << log();
    testsupport::expectInstallProgress(g_progress);
    if (!gzip) {
      EXPECT_GT(g_progress.size(), 6u);
    }
    EXPECT_EQ(readDataFile("service_installer.exe"), installer);
    EXPECT_EQ(readDataFile("guid.ini").size() > 32, true);
    EXPECT_EQ(readDataFile("accepteula.txt"), "0_Sample App EULA v1.2\r\n");
    std::string requests = installerRequests();
    EXPECT_NE(requests.find("/conf/install.html?file=installer&upload=true&silent=true"), std::string::npos);
    EXPECT_NE(requests.find("Tessel Installer win Tessel Download Client"), std::string::npos);
    EXPECT_NE(log().find("Successfully installed the client"), std::string::npos);
    stopStartedService();
    server_.reset();
  }
}

TEST_F(ClientInstallerTest, WithoutAnAgreementUploadsStayOffAndNoAcceptanceIsWritten) {
  serveInstaller(serviceStartingInstaller(), false);
  ASSERT_EQ(ak_install("Tessel Download Client", 0, nullptr, nullptr), 0) << log();
  EXPECT_NE(installerRequests().find("upload=false"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "accepteula.txt"));
}

TEST_F(ClientInstallerTest, AFailedDownloadNamesTheUrlWhenTheCallerGaveRoomForIt) {
  serveInstaller("unused", false, 404);
  char errorText[260] = "";
  options_.errorText = errorText;
  EXPECT_EQ(ak_install("Tessel Download Client", 0, nullptr, &options_), -1);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::DownloadFailed));
  std::string url = baseUrl_ + "/conf/install.html?file=installer&upload=false&silent=true";
  EXPECT_EQ(std::string(errorText), url);
  EXPECT_EQ(g_progress, (std::vector<int>{5, 10, 15}));
  EXPECT_NE(log().find("Error in downloading '" + url + "'"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "service_installer.exe"));

  EXPECT_EQ(TSInstall(nullptr), static_cast<int32_t>(ClientError::NetworkFailure));
}

TEST_F(ClientInstallerTest, AnInstallerThatLeavesNoServiceRunningIsAnError) {
  serveInstaller(idleInstaller(), false);
  EXPECT_EQ(TSInstall(&options_), static_cast<int32_t>(ClientError::InstallerStartError));
  testsupport::expectInstallerStartErrorLog(log());
  EXPECT_NE(g_progress.back(), 95);
}

TEST_F(ClientInstallerTest, RefusesMissingNamesAndCallbacks) {
  EXPECT_EQ(ak_install(nullptr, 0, nullptr, nullptr), -1);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::InvalidArgument));
  DownloadOptions noCallback{};
  EXPECT_EQ(ak_install("name", 0, nullptr, &noCallback), -1);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::InvalidArgument));
  EXPECT_EQ(_ak_install(nullptr, "path", "name"), 0);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::InvalidArgument));
  EXPECT_NE(log().find("Installer path"), std::string::npos);
}

// A running service older than this build's is updated through the install road; the service that
// answers afterwards is used whatever the update's outcome, and a failed update says why.
TEST_F(ClientInstallerTest, AnOlderRunningServiceIsUpdatedAndOneNotOlderIsLeftAlone) {
  startServiceOfVersion("1.8.0.5");
  serveInstaller(updatingInstaller(), true);
  ASSERT_EQ(ak_install("Tessel Download Client", 0, nullptr, &options_), 0) << log();
  EXPECT_EQ(ak_getLastError(), 0);
  EXPECT_EQ(runningVersion(), _ak_builtServiceVersion());
  EXPECT_STREQ(_ak_serviceUpdateProblem(), "");
  EXPECT_NE(log().find("Updating the service from '1.8.0.5' to '" + std::string(_ak_builtServiceVersion()) + "'"),
            std::string::npos);
  testsupport::expectInstallProgress(g_progress);

  // This build's and a newer one are kept: no installer is fetched.
  for (const std::string& version : {std::string(_ak_builtServiceVersion()), std::string("60000.0.0.0")}) {
    SCOPED_TRACE(version);
    stopStartedService();
    startServiceOfVersion(version);
    serveInstaller(updatingInstaller(), false);
    ASSERT_EQ(ak_install("Tessel Download Client", 0, nullptr, &options_), 0) << log();
    EXPECT_EQ(installerRequests(), "");
    EXPECT_EQ(runningVersion(), version);
  }
}

TEST_F(ClientInstallerTest, AFailedUpdateGoesOnWithTheOlderServiceAndSaysWhy) {
  const std::string built = _ak_builtServiceVersion();
  struct Case {
    const char* name;
    std::string installer;
    int status;
    std::string reason;
  } cases[] = {
      {"rolled back, the new one ended at once", "#!/bin/sh\nexit 8\n", 0,
       "the new service ended at once and the previous one was put back"},
      {"rolled back, the new one was silent", "#!/bin/sh\nexit 9\n", 0,
       "the new service did not answer and the previous one was put back"},
      {"the old one would not stop", "#!/bin/sh\nexit 3\n", 0, "the running service would not stop"},
      {"an installer that did nothing", "#!/bin/sh\nexit 0\n", 0, "the service still reports 1.8.0.5"},
      {"no installer to fetch", "", 404, "the installer could not be fetched, checked or run"},
  };
  startServiceOfVersion("1.8.0.5");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    serveInstaller(c.installer, false, c.status);
    ASSERT_EQ(ak_install("Tessel Download Client", 0, nullptr, &options_), 0) << log();
    EXPECT_EQ(ak_getLastError(), 0);
    EXPECT_EQ(std::string(_ak_serviceUpdateProblem()),
              "Service update from 1.8.0.5 to " + built + " failed: " + c.reason + "; 1.8.0.5 goes on");
    EXPECT_EQ(runningVersion(), "1.8.0.5");
  }
  // Another process of the user is updating it (holds the lock) for longer than this one waits:
  // no installer is fetched, and the older service goes on.
  _ak_testSetUpdateLockWait(300);
  akplatform::ExclusiveFile* held =
      akplatform::holdExclusiveFile((dataFolderText() + "/" + kUpdateLockFileName).c_str(), 0);
  ASSERT_NE(held, nullptr);
  serveInstaller(updatingInstaller(), false);
  ASSERT_EQ(ak_install("Tessel Download Client", 0, nullptr, &options_), 0) << log();
  EXPECT_EQ(installerRequests(), "");
  EXPECT_EQ(std::string(_ak_serviceUpdateProblem()), "Service update from 1.8.0.5 to " + built +
                                                         " failed: another update of the service did not end in "
                                                         "time; 1.8.0.5 goes on");
  akplatform::releaseExclusiveFile(held);
  _ak_testSetUpdateLockWait(0);
  // The next successful call forgets the last problem.
  serveInstaller(updatingInstaller(), false);
  ASSERT_EQ(ak_install("Tessel Download Client", 0, nullptr, &options_), 0) << log();
  EXPECT_STREQ(_ak_serviceUpdateProblem(), "");
}

// The body's end decides between an installer and a broken file.
TEST(InstallerDownloadTest, ABodyCutShortOrUnreadableCountsAsNoBody) {
  struct Case {
    const char* name;
    std::string answer;
    bool saved;
  } cases[] = {
      {"complete", testsupport::ScriptedPeer::httpAnswer("MZ-installer"), true},
      {"no length, ends at close", "HTTP/1.0 200 OK\r\n\r\nMZ-installer", true},
      {"shorter than announced", "HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nMZ-inst", false},
      {"gzip that is not", testsupport::ScriptedPeer::httpAnswer("not gzip at all, not at all", "200 OK",
                                                                 "Content-Encoding: GZIP\r\n"), false},
      {"redirect", testsupport::ScriptedPeer::httpAnswer("", "302 Found", "Location: http://127.0.0.1:1/\r\n"), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::ScriptedPeer peer;
    peer.onConnection().answer(c.answer).close();
    peer.start();
    std::string url = "http://127.0.0.1:" + std::to_string(peer.port()) + "/i.exe";
    size_t length = 99;
    char* body = _ak_httpsDownload(&length, nullptr, "agent", url.c_str(), 25, 75);
    EXPECT_EQ(body != nullptr, c.saved);
    if (body != nullptr) {
      EXPECT_EQ(std::string(body, length), "MZ-installer");
    } else {
      EXPECT_EQ(length, 0u);
    }
    free(body);
    ASSERT_EQ(peer.requests().size(), 1u);
    EXPECT_NE(peer.requests()[0].find("GET /i.exe HTTP/1.0\r\n"), std::string::npos);
    EXPECT_NE(peer.requests()[0].find("\r\nAccept-Encoding: gzip\r\n"), std::string::npos);
  }
}

TEST(InstallerDownloadTest, ProgressRunsBetweenTheGivenPercentages) {
  EXPECT_EQ(_ak_downloadProgress(0, 1000, 25, 75), 25);
  EXPECT_EQ(_ak_downloadProgress(500, 1000, 25, 75), 50);
  EXPECT_EQ(_ak_downloadProgress(999, 1000, 25, 75), 74);
  EXPECT_EQ(_ak_downloadProgress(3, 7, 0, 100), 42);
}

}  // namespace
