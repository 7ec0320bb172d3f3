// The HTTP answer reader and URL fetches against a scripted peer that sends exact bytes.
#include "service_client/transport.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <string>

#include "service_client/client_errors.h"
#include "service_client/test_hooks.h"
#include "tests/support/scripted_peer.h"

using testsupport::ScriptedPeer;

namespace {

struct Answer {
  int ok = 0;
  std::string header;
  bool hasBody = false;
  std::string body;
  size_t length = 0;
  int32_t error = 0;
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.listening());
    ASSERT_TRUE(akplatform::startNetworking());
  }
  void TearDown() override {
    _ak_testSetTransportTimeouts(0, 0);
    akplatform::stopNetworking();
  }

  // One exchange for "some/path" on a new connection to the peer.
  Answer exchange() {
    peer_.start();
    ak_socket socket = _ak_connect("127.0.0.1", peer_.port());
    EXPECT_NE(socket, kNoSocket);
    Answer answer;
    char* header = reinterpret_cast<char*>(1);
    char* body = reinterpret_cast<char*>(1);
    answer.ok = _ak_httpExchange("some/path", "localhost", "Agent", socket, &header, &body, &answer.length);
    answer.error = ak_getLastError();
    if (header != nullptr) answer.header = header;
    answer.hasBody = body != nullptr;
    if (body != nullptr) answer.body.assign(body, answer.ok ? answer.length : 0);
    if (!answer.ok) {
      EXPECT_EQ(header, nullptr);
      EXPECT_EQ(body, nullptr);
    }
    free(header);
    free(body);
    akplatform::closeSocket(socket);
    return answer;
  }

  std::string url(const std::string& path) { return "http://127.0.0.1:" + std::to_string(peer_.port()) + path; }

  ScriptedPeer peer_;
};

TEST_F(TransportTest, SendsTheExactRequestAndReturnsHeaderAndBody) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 5\r\nX: y\r\n\r\nhello");
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1);
  EXPECT_EQ(answer.header, "HTTP/1.0 200 OK\r\nContent-Length: 5\r\nX: y\r\n\r\n");
  EXPECT_EQ(answer.body, "hello");
  EXPECT_EQ(answer.length, 5u);
  ASSERT_EQ(peer_.requests().size(), 1u);
  EXPECT_EQ(peer_.requests()[0],
            "GET /some/path HTTP/1.0\r\nHost: localhost\r\nUser-Agent: Agent\r\nConnection: keep-alive\r\n\r\n");
}

TEST_F(TransportTest, AnswerArrivingInSmallSlowPiecesIsReadWhole) {
  peer_.onConnection().readRequest().send(ScriptedPeer::httpAnswer("{\"status\":3}"), 3, 2);
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1);
  EXPECT_EQ(answer.body, "{\"status\":3}");
}

TEST_F(TransportTest, ContentLengthZeroIsSuccessWithoutBody) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n");
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 1);
  EXPECT_FALSE(answer.hasBody);
  EXPECT_EQ(answer.length, 0u);
}

TEST_F(TransportTest, WithoutContentLengthTheBodyRunsToTheCloseAndIsTerminated) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\n\r\nfirst part").send(std::string(3000, 'x'), 1000, 5).close();
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1);
  EXPECT_EQ(answer.length, 10u + 3000u);
  EXPECT_EQ(answer.body, "first part" + std::string(3000, 'x'));
}

TEST_F(TransportTest, HeaderNameMustStartALine) {
  // "X-Content-Length: 3" is another header: the body runs to the close.
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nX-Content-Length: 3\r\n\r\nabcdef").close();
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1);
  EXPECT_EQ(answer.body, "abcdef");
}

TEST_F(TransportTest, LargestAcceptedBodyIsTenMebibytes) {
  std::string body(kMaxAnswerBody, 'a');
  peer_.onConnection().answer(ScriptedPeer::httpAnswer(body));
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1) << answer.error;
  EXPECT_EQ(answer.length, kMaxAnswerBody);
  EXPECT_TRUE(answer.body == body);
}

TEST_F(TransportTest, OneByteMoreThanTenMebibytesIsRefused) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 10485761\r\n\r\n");
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 4);
}

TEST_F(TransportTest, ContentLengthBeyondSixtyFourBitsIsRefused) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n");
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 4);
}

TEST_F(TransportTest, UnsizedBodyLargerThanTenMebibytesIsRefused) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\n\r\n").send(std::string(kMaxAnswerBody + 1, 'b')).close();
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 4);
}

TEST_F(TransportTest, HeaderThatDoesNotEndWithin4096BytesFails) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nX: " + std::string(5000, 'h') + "\r\n\r\n");
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 5);
}

TEST_F(TransportTest, HeaderEndingExactlyAtTheBufferEndIsAccepted) {
  std::string start = "HTTP/1.0 200 OK\r\nX: ";
  std::string header = start + std::string(4096 - start.size() - 4, 'h') + "\r\n\r\n";
  ASSERT_EQ(header.size(), 4096u);
  peer_.onConnection().answer(header + "tail").close();
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1);
  EXPECT_EQ(answer.header, header);
  EXPECT_EQ(answer.body, "tail");
}

TEST_F(TransportTest, PeerClosingInsideTheHeaderFails) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Le").close();
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 5);
}

TEST_F(TransportTest, TooShortHeaderFails) {
  peer_.onConnection().answer("H\r\n\r\n").close();
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 5);
}

TEST_F(TransportTest, FewerBodyBytesThanAnnouncedFails) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 100\r\n\r\nonly this").close();
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 5);
}

TEST_F(TransportTest, ExtraBytesBeyondContentLengthAreNotPartOfTheBody) {
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\nContent-Length: 3\r\n\r\nabcdef");
  Answer answer = exchange();
  ASSERT_EQ(answer.ok, 1);
  EXPECT_EQ(answer.body, "abc");
}

TEST_F(TransportTest, PeerThatNeverAnswersFailsAfterTheTimeOut) {
  _ak_testSetTransportTimeouts(0, 300);
  peer_.onConnection().readRequest();  // then holds the connection open, silent
  auto started = std::chrono::steady_clock::now();
  Answer answer = exchange();
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 5);
  EXPECT_GE(waited, std::chrono::milliseconds(250));
}

TEST_F(TransportTest, PeerThatStallsInsideAnUnsizedBodyFailsRatherThanCutItShort) {
  _ak_testSetTransportTimeouts(0, 300);
  peer_.onConnection().answer("HTTP/1.0 200 OK\r\n\r\npartial");
  Answer answer = exchange();
  EXPECT_EQ(answer.ok, 0);
  EXPECT_EQ(answer.error, 5);
}

TEST_F(TransportTest, ConnectFailuresAreReported) {
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_connect("no-such-host.invalid", 80), kNoSocket);
  EXPECT_EQ(ak_getLastError(), 1);
  // A port nothing listens on: take the peer's port after it has gone.
  uint16_t closedPort;
  {
    ScriptedPeer gone;
    closedPort = gone.port();
  }
  EXPECT_EQ(_ak_connect("127.0.0.1", closedPort), kNoSocket);
  EXPECT_EQ(ak_getLastError(), 5);
}

TEST_F(TransportTest, FetchReturnsTheBodyOfA200) {
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("pong"));
  peer_.start();
  size_t length = 0;
  char* body = _ak_fetchUrl("Agent", url("/api?x=1").c_str(), nullptr, &length);
  ASSERT_NE(body, nullptr);
  EXPECT_STREQ(body, "pong");
  EXPECT_EQ(length, 4u);
  free(body);
  ASSERT_EQ(peer_.requests().size(), 1u);
  // The Host header is the URL's host without its port.
  EXPECT_EQ(peer_.requests()[0],
            "GET /api?x=1 HTTP/1.0\r\nHost: 127.0.0.1\r\nUser-Agent: Agent\r\nConnection: keep-alive\r\n\r\n");
}

TEST_F(TransportTest, FetchHandsTheConnectionToTheCaller) {
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("first")).answer(ScriptedPeer::httpAnswer("second"));
  peer_.start();
  ak_socket socket = kNoSocket;
  char* body = _ak_fetchUrl("Agent", url("/a").c_str(), &socket, nullptr);
  ASSERT_NE(body, nullptr);
  free(body);
  ASSERT_NE(socket, kNoSocket);
  char* second = nullptr;
  ASSERT_EQ(_ak_httpExchange("b", "127.0.0.1", "Agent", socket, nullptr, &second, nullptr), 1);
  EXPECT_STREQ(second, "second");
  free(second);
  akplatform::closeSocket(socket);
  EXPECT_EQ(peer_.connectionsAccepted(), 1);
}

TEST_F(TransportTest, FetchFollowsARedirectOnANewConnectionTakingTheLastLocation) {
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("", "302 Found",
                                                       "Location: http://127.0.0.1:1/wrong\r\nContent-Location: "
                                                       "http://127.0.0.1:1/content\r\nLocation: " +
                                                           url("/moved") + "\r\n"));
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("arrived"));
  peer_.start();
  char* body = _ak_fetchUrl("Agent", url("/start").c_str(), nullptr, nullptr);
  ASSERT_NE(body, nullptr);
  EXPECT_STREQ(body, "arrived");
  free(body);
  EXPECT_EQ(peer_.connectionsAccepted(), 2);
  ASSERT_EQ(peer_.requests().size(), 2u);
  EXPECT_EQ(peer_.requests()[1].rfind("GET /moved HTTP/1.0\r\n", 0), 0u);
}

TEST_F(TransportTest, RedirectToANonHttpLocationIsInvalid) {
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("", "301 Moved", "Location: https://127.0.0.1/x\r\n"));
  peer_.start();
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_fetchUrl("Agent", url("/start").c_str(), nullptr, nullptr), nullptr);
  EXPECT_EQ(ak_getLastError(), 1);
}

TEST_F(TransportTest, RedirectWithoutLocationFails) {
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("", "302 Found"));
  peer_.start();
  EXPECT_EQ(_ak_fetchUrl("Agent", url("/start").c_str(), nullptr, nullptr), nullptr);
  EXPECT_EQ(peer_.connectionsAccepted(), 1);
}

TEST_F(TransportTest, RedirectLoopEndsAfterTheBound) {
  peer_.onEveryOtherConnection() = testsupport::ConnectionScript().answer(
      ScriptedPeer::httpAnswer("", "302 Found", "Location: " + url("/again") + "\r\n"));
  peer_.start();
  _ak_setLastError(ClientError::Success);
  EXPECT_EQ(_ak_fetchUrl("Agent", url("/again").c_str(), nullptr, nullptr), nullptr);
  EXPECT_EQ(ak_getLastError(), 5);
  EXPECT_EQ(peer_.connectionsAccepted(), kMaxRedirects + 1);
}

TEST_F(TransportTest, StatusOtherThan200GivesNothing) {
  peer_.onConnection().answer(ScriptedPeer::httpAnswer("not here", "404 Not Found"));
  peer_.start();
  EXPECT_EQ(_ak_fetchUrl("Agent", url("/x").c_str(), nullptr, nullptr), nullptr);
}

TEST_F(TransportTest, MalformedUrlsAreInvalid) {
  for (const char* bad : {"https://127.0.0.1/x", "http://127.0.0.1", "ftp://h/x", "", "http://127.0.0.1:0/x",
                          "http://127.0.0.1:70000/x"}) {
    _ak_setLastError(ClientError::Success);
    EXPECT_EQ(_ak_fetchUrl("Agent", bad, nullptr, nullptr), nullptr) << bad;
    EXPECT_EQ(ak_getLastError(), 1) << bad;
  }
}

}  // namespace
