// The kept API connection, the ping and the client lifecycle against a scripted service on 9421.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "service_client/client_errors.h"
#include "service_client/client_lifecycle.h"
#include "service_client/service_interface.h"
#include "service_client/transport.h"
#include "service_client/client_installer.h"
#include "tests/support/scripted_peer.h"
#ifndef _WIN32
#include "tests/support/data_folder_fixture.h"
#include "tests/support/other_account.h"
#endif

using testsupport::ScriptedPeer;

namespace {

const std::string kPingRequest =
    "GET /api?function=ping&apiversion=capi_1.8.0.5&installcpcode=-1 HTTP/1.0\r\nHost: 127.0.0.1\r\n"
    "User-Agent: Test Client\r\nConnection: keep-alive\r\n\r\n";

std::string apiRequestText(const std::string& target) {
  return "GET /" + target + " HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Test Client\r\nConnection: keep-alive\r\n\r\n";
}

class ServiceConnectionTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(akplatform::startNetworking()); }
  void TearDown() override { akplatform::stopNetworking(); }

  // A handle made directly, so that API requests can be tested without a ping first.
  ClientHandle handle_{const_cast<char*>("Test Client"), kNoSocket};
};

TEST_F(ServiceConnectionTest, TwoRequestsShareOneKeptConnection) {
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onConnection().answer(ScriptedPeer::httpAnswer("{\"a\":1}")).answer(ScriptedPeer::httpAnswer("{\"b\":2}"));
  service.start();
  char* first = _ak_apiRequest(&handle_, "api?function=one");
  char* second = _ak_apiRequest(&handle_, "api?function=two");
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_STREQ(first, "{\"a\":1}");
  EXPECT_STREQ(second, "{\"b\":2}");
  free(first);
  free(second);
  EXPECT_EQ(service.connectionsAccepted(), 1);
  auto requests = service.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], apiRequestText("api?function=one"));
  EXPECT_EQ(requests[1], apiRequestText("api?function=two"));
  akplatform::closeSocket(handle_.socket);
}

TEST_F(ServiceConnectionTest, FailedExchangeDropsTheConnectionAndTheNextRequestReconnects) {
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 50\r\n\r\ncut").close();
  service.onConnection().answer(ScriptedPeer::httpAnswer("{}"));
  service.start();
  EXPECT_EQ(_ak_apiRequest(&handle_, "api?function=one"), nullptr);
  EXPECT_EQ(ak_getLastError(), 5);
  EXPECT_EQ(handle_.socket, kNoSocket);
  char* body = _ak_apiRequest(&handle_, "api?function=two");
  ASSERT_NE(body, nullptr);
  EXPECT_STREQ(body, "{}");
  free(body);
  EXPECT_EQ(service.connectionsAccepted(), 2);
  akplatform::closeSocket(handle_.socket);
}

TEST_F(ServiceConnectionTest, ServiceClosingAfterAnUnsizedAnswerCostsOneFailedRequest) {
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onConnection().answer("HTTP/1.0 200 OK\r\n\r\n{\"x\":1}").close();
  service.onConnection().answer(ScriptedPeer::httpAnswer("{\"y\":2}"));
  service.start();
  char* first = _ak_apiRequest(&handle_, "api?function=one");
  ASSERT_NE(first, nullptr);
  EXPECT_STREQ(first, "{\"x\":1}");
  free(first);
  EXPECT_EQ(_ak_apiRequest(&handle_, "api?function=two"), nullptr);  // the kept socket is closed
  char* third = _ak_apiRequest(&handle_, "api?function=three");
  ASSERT_NE(third, nullptr);
  EXPECT_STREQ(third, "{\"y\":2}");
  free(third);
  akplatform::closeSocket(handle_.socket);
}

TEST_F(ServiceConnectionTest, NonSuccessAnswersAreStillReturned) {
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onConnection().answer(ScriptedPeer::httpAnswer("{\"u\":\"Invalid URL.\"}", "400 Bad Request"));
  service.start();
  char* body = _ak_apiRequest(&handle_, "api?function=x");
  ASSERT_NE(body, nullptr);
  EXPECT_STREQ(body, "{\"u\":\"Invalid URL.\"}");
  free(body);
  akplatform::closeSocket(handle_.socket);
}

TEST_F(ServiceConnectionTest, NothingListeningMeansNotInstalled) {
  EXPECT_EQ(_ak_apiRequest(&handle_, "api?function=x"), nullptr);
  EXPECT_EQ(ak_getLastError(), 2);
  EXPECT_EQ(_ak_ping("Test Client"), 1);
  ClientHandle* untouched = reinterpret_cast<ClientHandle*>(0x1234);
  EXPECT_EQ(ak_initialize("Test Client", &untouched, 0), -1);
  EXPECT_EQ(ak_getLastError(), 2);
  EXPECT_EQ(untouched, reinterpret_cast<ClientHandle*>(0x1234));
}

TEST_F(ServiceConnectionTest, PingSendsItsExactRequestAndNeedsABody) {
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onConnection().answer(ScriptedPeer::httpAnswer("{}"));
  service.onConnection().answer(ScriptedPeer::httpAnswer(""));
  service.onConnection().answer(ScriptedPeer::httpAnswer("down", "503 Service Unavailable"));
  service.start();
  EXPECT_EQ(_ak_ping("Test Client"), 0);
  EXPECT_EQ(_ak_ping("Test Client"), 1);  // Content-Length 0: no body, so not running
  EXPECT_EQ(_ak_ping("Test Client"), 1);
  auto requests = service.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0], kPingRequest);
}

TEST_F(ServiceConnectionTest, InitializeOpensAHandleThatTheFirstRequestConnects) {
  ScriptedPeer service(service_client::kServicePort);
  ASSERT_TRUE(service.listening());
  service.onConnection().answer(ScriptedPeer::httpAnswer("{}"));
  service.onConnection().answer(ScriptedPeer::httpAnswer("{\"k\":true}"));
  service.start();
  ClientHandle* handle = nullptr;
  ASSERT_EQ(ak_initialize("Test Client", &handle, 0), 0);
  EXPECT_EQ(ak_getLastError(), 0);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->socket, kNoSocket);
  char* body = _ak_apiRequest(handle, "api?function=k");
  ASSERT_NE(body, nullptr);
  free(body);
  EXPECT_EQ(service.requests().at(1), apiRequestText("api?function=k"));

  // A non-zero reserved argument is refused and the handle stays usable.
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(ak_uninitialize(handle, 1), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_NE(handle->socket, kNoSocket);
  _ak_setLastError(ClientError::FileNotFound);
  EXPECT_EQ(ak_uninitialize(handle, 0), 0);
  EXPECT_EQ(ak_getLastError(), 13);  // left as it was
}

#ifndef _WIN32
// Another account's program holds the service's port: the library never talks to it (no ping, no
// token, no file written where it asks) and says the port is held. This user's service is missing
// all the same, and its install is tried: installed, it takes a port of its own.
TEST_F(ServiceConnectionTest, AServiceOfAnotherAccountIsNeverTalkedTo) {
  if (!testsupport::canRunAsOtherAccount()) GTEST_SKIP() << "only root can run a program as another account";
  testsupport::OtherAccountListener foreign(service_client::kServicePort);
  ASSERT_TRUE(foreign.listening());
  EXPECT_EQ(_ak_ping("Test Client"), 1);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::PortBlocked));
  ClientHandle* handle = nullptr;
  EXPECT_EQ(ak_initialize("Test Client", &handle, 0), -1);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::NotInstalled));
  EXPECT_EQ(handle, nullptr);
  // No installer server answers here (nothing listens on port 9): the install fails at its
  // download, not at the port.
  _ak_testSetInstallerBaseUrl("http://127.0.0.1:9");
  EXPECT_EQ(ak_install("Test Client", 0, nullptr, nullptr), -1);
  _ak_testSetInstallerBaseUrl(nullptr);
  EXPECT_NE(ak_getLastError(), static_cast<int32_t>(ClientError::PortBlocked)) << "no install was tried";
  char* answer = _ak_apiRequest(&handle_, "api?function=getClientAttributes");
  EXPECT_EQ(answer, nullptr);
  EXPECT_EQ(ak_getLastError(), static_cast<int32_t>(ClientError::PortBlocked));
}

// Two accounts at once: the other account's service has 9421, this user's took the next port and
// recorded it. The library finds its own on the recorded port with the same request bytes, and a
// record that no longer leads to this user's service sends it back to 9421, never to a stranger.
class RecordedPortTest : public testsupport::DataFolderTest {
 protected:
  void SetUp() override {
    if (!testsupport::canRunAsOtherAccount()) GTEST_SKIP() << "only root can run a program as another account";
    DataFolderTest::SetUp();
    ASSERT_TRUE(akplatform::startNetworking());
  }
  void TearDown() override {
    if (!testsupport::canRunAsOtherAccount()) return;
    akplatform::stopNetworking();
    DataFolderTest::TearDown();
  }
  ClientHandle handle_{const_cast<char*>("Test Client"), kNoSocket};
};

TEST_F(RecordedPortTest, ItsOwnServiceIsFoundOnTheRecordedPortPastAnotherAccounts) {
  testsupport::OtherAccountListener foreign(service_client::kServicePort);
  ASSERT_TRUE(foreign.listening());
  ScriptedPeer own(9422);
  ASSERT_TRUE(own.listening());
  own.onConnection().answer(ScriptedPeer::httpAnswer("{\"ping\":\"ok\"}"));
  own.onConnection().answer(ScriptedPeer::httpAnswer("{\"a\":1}"));
  own.start();
  writeDataFile("serviceport.txt", "9422\r\n");
  EXPECT_EQ(_ak_ping("Test Client"), 0);
  char* answer = _ak_apiRequest(&handle_, "api?function=one");
  ASSERT_NE(answer, nullptr);
  EXPECT_STREQ(answer, "{\"a\":1}");
  free(answer);
  akplatform::closeSocket(handle_.socket);
  auto requests = own.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], kPingRequest);
  EXPECT_EQ(requests[1], apiRequestText("api?function=one"));
}

TEST_F(RecordedPortTest, ARecordLeadingNowhereOrToAStrangerFallsBackTo9421) {
  testsupport::OtherAccountListener foreign(9423);
  ASSERT_TRUE(foreign.listening());
  ScriptedPeer own(service_client::kServicePort);
  ASSERT_TRUE(own.listening());
  for (int i = 0; i < 5; ++i) own.onConnection().answer(ScriptedPeer::httpAnswer("{}"));
  own.start();
  // A stale record (the service ended uncleanly), one held by another account, one outside the
  // range and a torn one: each ends on this user's service on 9421.
  for (const char* record : {"9422\n", "9423\n", "8080\n", "94", "9422x"}) {
    writeDataFile("serviceport.txt", record);
    EXPECT_EQ(_ak_ping("Test Client"), 0) << record;
  }
  EXPECT_EQ(own.connectionsAccepted(), 5);
}
#endif

TEST(ClientLifecycle, ArgumentChecks) {
  ClientHandle* handle = nullptr;
  EXPECT_EQ(ak_initialize(nullptr, &handle, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_EQ(ak_initialize("Test Client", nullptr, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
  EXPECT_EQ(ak_uninitialize(nullptr, 0), -1);
  EXPECT_EQ(ak_getLastError(), 1);
}

}  // namespace
