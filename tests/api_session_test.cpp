// Sessions of the document against the loopback chat API server that only
// the chat API has: answers matched to requests by id, local refusals, pings
// and broken messages, rate limits, certificate checks. What both transports
// share runs over both in transport_session_test.cpp.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "net/api/tls_stream.h"
#include "net/api/websocket_handshake.h"
#include "support/transport_session.h"

namespace tolvik::testing {
namespace {

using api_msg::IdOf;
using api_msg::Say;

class ApiSessionTest : public TransportSessionTest {
 protected:
  // Bot.ini with `key` and the CA file `ca`, then the document.
  void Open(const std::string& extra = "", const std::string& key = "good-key",
            const std::string& ca = GetTestCa().ca_file) {
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=" + key + "\r\nServer=" + api_server->url() +
                             "\r\nChannel=Home\r\nCAFile=" + ca + "\r\n" + extra);
    TransportSessionTest::Open();
  }
  // Pumps the document until the server has a message containing `text`.
  std::string WaitSent(const std::string& text) {
    std::string found;
    Run([&] {
      for (const std::string& m : api_server->received())
        if (m.find(text) != std::string::npos) found = m;
      return !found.empty();
    });
    return found;
  }
  int CountSent(const std::string& text) {
    int n = 0;
    for (const std::string& m : api_server->received()) n += m.find(text) != std::string::npos;
    return n;
  }
};

TEST_P(ApiSessionTest, BanIsConfirmedOnceByTheLeaveBeforeItsAnswer) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  api_server->send(Say(3, "Whisper", "/ban alice"));
  std::string ban = WaitSent("Botapichat.BanUserRequest");
  ASSERT_FALSE(ban.empty());
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().size() == 1; }));
  api_server->send(api_msg::Leave(2));
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  api_server->respond("Botapichat.BanUserRequest", IdOf(ban));
  api_server->send(Say(3, "Channel", "done"));
  ASSERT_TRUE(Run([&] { return display.contains("done"); }));
  EXPECT_EQ(Shown("alice was banned by TolvikBot."), 1);
  EXPECT_EQ(doc->Bot().Users().findUser("alice"), -1);
}

TEST_P(ApiSessionTest, FailedBanTellsTheRequesterAndEmptiesThePendingEntry) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  api_server->send(Say(3, "Whisper", "/ban alice"));
  std::string ban = WaitSent("Botapichat.BanUserRequest");
  api_server->respond("Botapichat.BanUserRequest", IdOf(ban), 8, 2);
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  EXPECT_TRUE(display.contains("ERROR: Ban of alice failed: bad request (8/2)"));
}

TEST_P(ApiSessionTest, BanOfSomeoneAbsentTellsTheRequesterHeIsNotLoggedOn) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  api_server->send(Say(3, "Whisper", "/ban ghost"));
  std::string reply = WaitSent("That user is not logged on");
  EXPECT_NE(reply.find("Botapichat.SendWhisperRequest"), std::string::npos);
  EXPECT_NE(reply.find(R"("user_id":3)"), std::string::npos);
  EXPECT_TRUE(doc->Bot().Pending().isEmpty());
  EXPECT_EQ(CountSent("BanUserRequest"), 0);
}

TEST_P(ApiSessionTest, CommandsTheApiLacksAndAbsentNamesAreRefusedLocally) {
  Open();
  LogIn();
  const size_t before = api_server->received().size();
  doc->Bot().Queue().SayPriority("/join Elsewhere\n");
  doc->Bot().Queue().SayPriority("/kick ghost\n");
  doc->Bot().Queue().SayPriority("still talking\n");
  ASSERT_FALSE(WaitSent("still talking").empty());
  ASSERT_TRUE(Run([&] { return display.contains("ERROR: ghost is not logged on in this channel."); }));
  // A missing command is information, not an error that would answer a pending action.
  EXPECT_TRUE(display.contains("/join is not available over the chat API."));
  EXPECT_FALSE(display.contains("ERROR: /join"));
  EXPECT_EQ(api_server->received().size(), before + 1);  // only the talk went out
}

TEST_P(ApiSessionTest, PingIsAnsweredAndBadMessagesAreSurvived) {
  Open();
  LogIn();
  api_server->ping();
  api_server->send("{\"command\": not json");
  api_server->send(Say(2, "Channel", "caf\xC3\xA9 \xFF broken"));
  api_server->send("[]");
  api_server->send(Say(2, "Channel", "after the noise"));
  ASSERT_TRUE(Run([&] { return display.contains("after the noise"); }));
  ASSERT_TRUE(Run([&] { return api_server->pongs() >= 1; }));
  EXPECT_TRUE(display.contains("caf\xC3\xA9 ? broken"));
  EXPECT_EQ(doc->State(), Connected);
}

TEST_P(ApiSessionTest, ARefusedKeyIsReportedAndRetriedLikeAWrongPassword) {
  Open("", "wrong-key");
  doc->Connect();
  ASSERT_TRUE(Run([&] { return display.contains("ERROR: The API key was refused: bad request (8/2)"); }));
  ASSERT_TRUE(Run([&] { return api_server->clientCount() >= 2; }));  // tried again after the wait
  bool failed_seen = false;
  for (int s : host.states) failed_seen = failed_seen || s == LoginFailed;
  EXPECT_TRUE(failed_seen);
  for (const std::string& line : display.texts()) EXPECT_EQ(line.find("wrong-key"), std::string::npos) << line;
}

TEST_P(ApiSessionTest, RateLimitIsReportedAndTheNextRequestWaits) {
  Open();
  LogIn();
  doc->Bot().Queue().SayPriority("first\n");
  std::string first = WaitSent("first");
  api_server->respond("Botapichat.SendMessageRequest", IdOf(first), 6, 8);
  ASSERT_TRUE(Run([&] { return display.contains("ERROR: Message failed: rate limit exceeded (6/8)"); }));
  doc->Bot().Queue().SayPriority("second\n");
  host.RunFor(*doc, 500ms);
  EXPECT_EQ(CountSent("second"), 0);
  EXPECT_FALSE(WaitSent("second").empty());
}

TEST_P(ApiSessionTest, AServerCertificateFromAnotherCaIsRefused) {
  Open("", "good-key", GetTestCa().other_ca_file);
  doc->Connect();
  ASSERT_TRUE(api_server->waitForClients(1));
  ASSERT_TRUE(Run([&] { return display.contains("Certificate check failed"); }));
  EXPECT_NE(doc->Bot().LastFailure().Message().find("unable to get local issuer certificate"), std::string::npos)
      << doc->Bot().LastFailure().Message();
  EXPECT_TRUE(api_server->received().empty());
  EXPECT_NE(doc->State(), Connected);
  doc->Disconnect();
}

// Whatever answers the upgrade (a proxy, another service) is only taken for
// the chat API when its answer is a WebSocket's answer to our own key.
TEST_P(ApiSessionTest, AnUpgradeAnswerThatDoesNotMatchIsRefusedBeforeTheKeyIsSent) {
  auto answer = [](const char* upgrade, const char* connection, const std::string& accept) {
    return std::string("HTTP/1.1 101 Switching Protocols\r\n") + upgrade + connection +
           "Sec-WebSocket-Accept: " + accept + "\r\nSec-WebSocket-Protocol: json\r\n\r\n";
  };
  const struct {
    const char* what;
    std::function<std::string(const std::string& accept)> make;
  } cases[] = {
      {"the accept value of another key",
       [&](const std::string&) {
         return answer("Upgrade: websocket\r\n", "Connection: Upgrade\r\n",
                       api::WebSocketAcceptFor("dGhlIHNhbXBsZSBub25jZQ=="));
       }},
      {"no Upgrade field", [&](const std::string& accept) { return answer("", "Connection: Upgrade\r\n", accept); }},
      {"no Connection field", [&](const std::string& accept) { return answer("Upgrade: websocket\r\n", "", accept); }},
  };
  for (const auto& c : cases) {
    api_server->setUpgradeAnswer(c.make);
    display.clear();
    doc.reset();
    Open();
    doc->Connect();
    EXPECT_TRUE(Run([&] {
      return display.contains("WebSocket upgrade: the server's answer does not match the request");
    })) << c.what;
    // The login with the key never went out.
    const std::vector<std::string> sent = api_server->received();
    EXPECT_TRUE(sent.empty()) << c.what << ": " << (sent.empty() ? "" : sent.front());
    EXPECT_NE(doc->State(), Connected) << c.what;
    doc->Disconnect();
  }
}

// A refusal's status line is the server's own text: it reaches the status
// line cleaned, so no escape in it can set a window title, write the
// clipboard or colour the terminal.
TEST_P(ApiSessionTest, ARefusalsStatusLineReachesTheStatusCleaned) {
  api_server->setUpgradeAnswer([](const std::string&) {
    return std::string("HTTP/1.1 403 \x1b]52;c;ZXZpbA==\x07\x1b]0;pwned\x07\x1b[31mNo\r\n\r\n");
  });
  Open();
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->StatusText().find("WebSocket upgrade refused") != std::string::npos; }))
      << doc->StatusText();
  const std::string status = doc->StatusText();
  EXPECT_NE(status.find("WebSocket upgrade refused: HTTP/1.1 403 ?]52;c;ZXZpbA==??]0;pwned??[31mNo"), std::string::npos)
      << status;
  EXPECT_EQ(status.find_first_of("\x1b\x07"), std::string::npos) << status;
  doc->Disconnect();
}

TEST_P(ApiSessionTest, AMissingKeyIsAskedForAsAnApiKeyAndKeptWhole) {
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + api_server->url() + "\r\nCAFile=" + GetTestCa().ca_file + "\r\n");
  doc = std::make_unique<CHaldenDoc>(dir.path().string(), display, host);
  doc->Connect();
  EXPECT_EQ(host.asked, std::vector<std::string>{"API key"});
  EXPECT_TRUE(display.contains("Please enter API key"));
  EXPECT_EQ(doc->State(), NotConnected);

  // Longer than a gateway password: what the server gets is the whole key.
  const std::string key = "good-key";
  ApiTestServer long_server(key + std::string(60, 'x'));
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + long_server.url() + "\r\nCAFile=" +
                           GetTestCa().ca_file + "\r\n");
  doc = std::make_unique<CHaldenDoc>(dir.path().string(), display, host);
  host.answers["API key"] = key + std::string(60, 'x');
  doc->Connect();
  EXPECT_FALSE(long_server.waitForReceived(key + std::string(60, 'x')).empty());
  doc.reset();
}

// A queued entry holding more than one line (a script's text with a line
// end in it) sends each line as a request of its own, as the text gateway
// would take each as a line of its own.
TEST_P(ApiSessionTest, EachLineOfAQueuedEntryIsARequestOfItsOwn) {
  Open();
  LogIn();
  doc->Bot().Queue().Say("first line\n/me waves\n");
  doc->Bot().Queue().WhisperTo("boss", "hello\nto all\n");
  ASSERT_FALSE(WaitSent(R"("message":"to all")").empty());
  std::vector<std::string> requests;
  for (const std::string& m : api_server->received())
    if (m.find("Botapichat.Send") != std::string::npos) requests.push_back(m);
  ASSERT_EQ(requests.size(), 4u) << ::testing::PrintToString(requests);
  EXPECT_NE(requests[0].find(R"("command":"Botapichat.SendMessageRequest","payload":{"message":"first line"})"),
            std::string::npos);
  EXPECT_NE(requests[1].find(R"("command":"Botapichat.SendEmoteRequest","payload":{"message":"waves"})"),
            std::string::npos);
  EXPECT_NE(requests[2].find("Botapichat.SendWhisperRequest"), std::string::npos);
  EXPECT_NE(requests[2].find(R"("message":"hello","user_id":3)"), std::string::npos) << requests[2];
  EXPECT_NE(requests[3].find(R"("command":"Botapichat.SendMessageRequest","payload":{"message":"to all"})"),
            std::string::npos);
}

// A refused certificate leaves errors in OpenSSL's queue of the thread that
// tried; a session read later on that thread must not take them for its own.
TEST_P(ApiSessionTest, AFailedHandshakeOnTheMainThreadLeavesLaterReadsAlone) {
  {
    ApiTestServer other;
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(other.port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::string error;
    EXPECT_EQ(api::TlsStream::Connect(fd, "wrong.example", GetTestCa().ca_file, 5000, &error), nullptr);
    ::close(fd);
  }
  Open();
  LogIn();
  api_server->send(Say(2, "Channel", "still here"));
  EXPECT_TRUE(WaitShown("still here"));
  EXPECT_EQ(api_server->clientCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(ApiOnly, ApiSessionTest, ::testing::Values(Wire::kApi), WireName);

TEST(ApiTlsTest, TheHostNameMustMatchTheCertificate) {
  ApiTestServer server;
  for (const char* host : {"127.0.0.1", "wrong.example"}) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(server.port());
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    std::string error;
    auto tls = api::TlsStream::Connect(fd, host, GetTestCa().ca_file, 5000, &error);
    if (std::string(host) == "127.0.0.1") {
      EXPECT_NE(tls, nullptr) << error;
    } else {
      EXPECT_EQ(tls, nullptr);
      EXPECT_NE(error.find("Certificate check failed"), std::string::npos) << error;
    }
    tls.reset();
    ::close(fd);
  }
}

}  // namespace
}  // namespace tolvik::testing
