// The install road of the Windows library under Wine: WinINet fetches a stand-in installer (a
// small Windows program) from testbed installer servers, the library saves and runs it hidden,
// and the installer starts the native stand-in service. The ctest fixture starts the servers.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "service_client/client_errors.h"
#include "service_client/client_installer.h"
#include "service_client/exported_wrappers.h"
#include "service_client/platform.h"
#include "service_client/transport.h"
#include "tests/support/data_folder_fixture.h"
#include "tests/support/install_road_checks.h"
#include "tests/support/temp_folder.h"

namespace {

const std::filesystem::path kInstallDir = std::filesystem::u8path(AK_WINE_INSTALL_DIR);

std::vector<int> g_progress;
void recordProgress(int32_t percentage, uint32_t) { g_progress.push_back(percentage); }

bool serviceAnswers() { return _ak_ping("probe") == 0; }

// Runs the testbed script (a Linux program, which Wine starts but cannot wait for) and waits
// until the service is in the wanted state.
bool runScriptUntil(const wchar_t* command, bool wantAnswering) {
  std::wstring line = command;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  for (int i = 0; i < 200; ++i) {
    if (serviceAnswers() == wantAnswering) return true;
    Sleep(50);
  }
  return false;
}

class WineInstallRoadTest : public testsupport::DataFolderTest {
 protected:
  void SetUp() override {
    DataFolderTest::SetUp();
    ASSERT_TRUE(akplatform::startNetworking());
    ASSERT_TRUE(runScriptUntil(AK_STOP_SERVICE_COMMAND, false)) << "the stand-in service did not stop";
    g_progress.clear();
    options_ = DownloadOptions{};
    options_.recordSize = kDownloadOptionsRecordSize;
    options_.progressCallback = recordProgress;
    // The stand-in installers are unsigned; the tests of the signature check ask for it.
    _ak_testSetServiceSigner("");
  }
  void TearDown() override {
    runScriptUntil(AK_STOP_SERVICE_COMMAND, false);
    _ak_testSetInstallerBaseUrl(nullptr);
    _ak_testSetServiceSigner(nullptr);
    akplatform::stopNetworking();
    DataFolderTest::TearDown();
  }

  // Points the library at one of the fixture's installer servers.
  void useInstallerServer(const char* kind) {
    std::ifstream portFile(kInstallDir / (std::string(kind) + ".port"));
    int port = 0;
    portFile >> port;
    ASSERT_GT(port, 0) << "the installer fixture did not start";
    baseUrl_ = "http://127.0.0.1:" + std::to_string(port);
    _ak_testSetInstallerBaseUrl(baseUrl_.c_str());
  }

  std::string log() const { return readDataFile("installer.txt"); }

  std::string baseUrl_;
  DownloadOptions options_;
};

TEST_F(WineInstallRoadTest, WithTheServiceRunningNothingIsDownloadedOrCreated) {
  ASSERT_TRUE(runScriptUntil(AK_START_SERVICE_COMMAND, true));
  useInstallerServer("plain");
  ASSERT_EQ(TSInstall(&options_), 0);
  EXPECT_EQ(g_progress, (std::vector<int>{5, 10, 95}));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "service_installer.exe"));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "guid.ini"));
}

TEST_F(WineInstallRoadTest, InstallsFromAPlainOrGzipBodyRunsTheInstallerAndFindsTheService) {
  const std::string installer = testsupport::readWholeFile(std::filesystem::u8path(AK_STARTING_INSTALLER));
  ASSERT_GT(installer.size(), 1000u);
  for (const char* kind : {"plain", "gzip"}) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(runScriptUntil(AK_STOP_SERVICE_COMMAND, false));
    useInstallerServer(kind);
    removeDataFolder();
    g_progress.clear();
    ASSERT_EQ(TSInstall(&options_), 0) << log();
    testsupport::expectInstallProgress(g_progress);
    EXPECT_TRUE(readDataFile("service_installer.exe") == installer);
    EXPECT_TRUE(serviceAnswers());
    EXPECT_EQ(readDataFile("accepteula.txt"), "0_Sample App EULA v1.2\r\n");
    EXPECT_NE(log().find("Successfully installed the client"), std::string::npos);
    std::string requests = testsupport::readWholeFile(kInstallDir / (std::string(kind) + ".log"));
    EXPECT_NE(requests.find("upload=true&silent=true"), std::string::npos);
    EXPECT_NE(requests.find("Tessel Installer win Tessel Download Client"), std::string::npos);
    EXPECT_NE(requests.find("gzip"), std::string::npos);
  }
}

TEST_F(WineInstallRoadTest, AMissingInstallerIsADownloadFailureNamingTheUrl) {
  useInstallerServer("missing");
  char errorText[260] = "";
  options_.errorText = errorText;
  EXPECT_EQ(TSInstall(&options_), static_cast<int32_t>(ClientError::DownloadFailed));
  std::string url = baseUrl_ + "/conf/install.html?file=installer&upload=true&silent=true";
  EXPECT_EQ(std::string(errorText), url);
  EXPECT_NE(log().find("Error in downloading '" + url + "'"), std::string::npos);
  EXPECT_EQ(TSInstall(nullptr), static_cast<int32_t>(ClientError::NetworkFailure));
  EXPECT_FALSE(std::filesystem::exists(dataFolder() / "service_installer.exe"));
}

TEST_F(WineInstallRoadTest, AnInstallerThatLeavesNoServiceIsAnInstallerStartError) {
  useInstallerServer("idle");
  EXPECT_EQ(TSInstall(&options_), static_cast<int32_t>(ClientError::InstallerStartError));
  testsupport::expectInstallerStartErrorLog(log());
  EXPECT_TRUE(std::filesystem::exists(dataFolder() / "service_installer.exe"));
}

// When the build names the installer's signer, an installer without that signature is never run.
TEST_F(WineInstallRoadTest, AnInstallerWithoutTheExpectedSignatureIsNeverRun) {
  useInstallerServer("plain");  // the stand-in that would start the service
  _ak_testSetServiceSigner("Tessel Test Publisher");
  EXPECT_EQ(TSInstall(&options_), static_cast<int32_t>(ClientError::VerificationFailed)) << log();
  const std::string text = log();
  EXPECT_NE(text.find("service_installer.exe' failed verification: not signed"), std::string::npos) << text;
  EXPECT_NE(text.find("Error in installing the client"), std::string::npos) << text;
  EXPECT_EQ(text.find("Could not start"), std::string::npos) << text;
  EXPECT_FALSE(serviceAnswers()) << "the installer ran";
  EXPECT_TRUE(std::filesystem::exists(dataFolder() / "service_installer.exe"));
}

// The system refuses to start what was saved (on Windows also a program that demands elevation,
// 740): the install fails as an installer that cannot be started, with the system's code logged.
// Last of the suite: after Wine has refused to start a program, its shell no longer finds the
// user's folders in a later test of the same process (Windows has no such trouble).
TEST_F(WineInstallRoadTest, AnInstallerTheSystemCannotStartIsLoggedWithTheSystemsCode) {
  useInstallerServer("broken");
  EXPECT_EQ(TSInstall(&options_), static_cast<int32_t>(ClientError::InternalFailure)) << log();
  const std::string text = log();
  // ERROR_BAD_EXE_FORMAT, the answer of every Windows and of both halves of Wine to a text.
  EXPECT_NE(text.find("Could not start \"" + dataFolderText() + "/service_installer.exe\" (system error 193)"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("Error in installing the client"), std::string::npos) << text;
  EXPECT_FALSE(serviceAnswers());
}

}  // namespace
