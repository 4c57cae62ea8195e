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

#include "net/api/api_session.h"
#include "net/tls_stream.h"
#include "net/websocket_handshake.h"
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

// "alice evil" joins while the auto-ban list names "*evil*": a ban by name
// would read "/ban alice evil ..." and reach the listed user alice. Such a
// name is shown, and nothing is done to it by name.
TEST_P(ApiSessionTest, ANameWithABlankIsNeverActedOnByName) {
  dir.write("autoban.lst", "*evil*\r\n");
  Open();
  LogIn();
  api_server->send(api_msg::Update(7, "alice evil"));
  ASSERT_TRUE(WaitShown("No command can name the user \"alice evil\": nothing is done to this user by name."));
  // A later line shows the join has been handled in full.
  api_server->send(Say(3, "Channel", "after"));
  ASSERT_TRUE(WaitShown("after"));
  EXPECT_EQ(CountSent("Botapichat.BanUserRequest"), 0);
  EXPECT_EQ(CountSent("Botapichat.KickUserRequest"), 0);
  EXPECT_TRUE(doc->Bot().Pending().isEmpty());
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

// ---- Statuses

// A rate-limit answer is no failure: the request goes again after a pause
// that grows with each further refusal, and the queue waits behind it.
// Leaving never does: the close goes out at once, the held request never.
TEST_P(ApiSessionTest, RateLimitIsReportedAndTheNextRequestWaits) {
  Open();
  LogIn();
  doc->Bot().Queue().SayPriority("first\n");
  std::string first = WaitSent("\"first\"");
  api_server->respond("Botapichat.SendMessageRequest", IdOf(first), 6, 8);
  ASSERT_TRUE(WaitShown("The chat API asks the bot to wait (rate limit exceeded (6/8)): requests go again in 1 s."));
  EXPECT_FALSE(display.contains("failed"));
  doc->Bot().Queue().SayPriority("second\n");
  host.RunFor(*doc, 300ms);
  EXPECT_EQ(CountSent("\"second\""), 0);
  // The same request again, under its id, and only then the queue's next line.
  ASSERT_TRUE(Run([&] { return CountSent("\"first\"") == 2 && CountSent("\"second\"") == 1; }));
  std::vector<std::string> order;
  for (const std::string& m : api_server->received())
    if (m.find("\"first\"") != std::string::npos || m.find("\"second\"") != std::string::npos) order.push_back(m);
  ASSERT_EQ(order.size(), 3u);
  EXPECT_EQ(order[1], first);
  EXPECT_NE(order[2].find("\"second\""), std::string::npos);

  // Refused again: a longer pause. Closing meanwhile waits for nothing.
  api_server->respond("Botapichat.SendMessageRequest", IdOf(first), 6, 8);
  ASSERT_TRUE(WaitShown("requests go again in 2 s."));
  doc->Bot().Queue().SayPriority("third\n");
  doc->Close();
  ASSERT_TRUE(WaitClientGone());
  const std::vector<std::string> sent = api_server->received();
  ASSERT_FALSE(sent.empty());
  EXPECT_NE(sent.back().find("Botapichat.DisconnectRequest"), std::string::npos) << sent.back();
  EXPECT_EQ(CountSent("\"first\""), 2);
  EXPECT_EQ(CountSent("\"third\""), 0);
}

// A ban its target's leave confirmed is not sent again after a busy answer:
// it would fail, and its failure would answer another pending action.
TEST_P(ApiSessionTest, ABanConfirmedByTheLeaveIsNotSentAgain) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  api_server->send(Say(3, "Whisper", "/ban alice"));
  const std::string ban = WaitSent("Botapichat.BanUserRequest");
  ASSERT_FALSE(ban.empty());
  api_server->send(api_msg::Leave(2));
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  api_server->respond("Botapichat.BanUserRequest", IdOf(ban), 6, 8);
  ASSERT_TRUE(WaitShown("requests go again in 1 s."));
  doc->Bot().Queue().SayPriority("after the pause\n");
  ASSERT_FALSE(WaitSent("after the pause").empty());
  EXPECT_EQ(CountSent("Botapichat.BanUserRequest"), 1);
  EXPECT_EQ(Shown("alice was banned by TolvikBot."), 1);
}

TEST(ApiPauseTest, GrowsFromOneSecondToTen) {
  EXPECT_EQ(api::ApiSession::NextPauseMs(0), 1000);
  EXPECT_EQ(api::ApiSession::NextPauseMs(1000), 2000);
  EXPECT_EQ(api::ApiSession::NextPauseMs(4000), 8000);
  EXPECT_EQ(api::ApiSession::NextPauseMs(8000), 10000);
  EXPECT_EQ(api::ApiSession::NextPauseMs(10000), 10000);
}

// "Not connected to chat" on an answer: the session is over, and the bot
// reconnects as after any lost connection.
TEST_P(ApiSessionTest, NotConnectedToChatIsALostConnection) {
  Open();
  LogIn();
  doc->Bot().Queue().SayPriority("hello\n");
  std::string hello = WaitSent("\"hello\"");
  api_server->respond("Botapichat.SendMessageRequest", IdOf(hello), 8, 1);
  ASSERT_TRUE(WaitShown("THE BOT HAS LOST CONNECTION"));
  EXPECT_TRUE(display.contains("Message failed: not connected to chat (8/1)"));
  PlayLogin(2);
}

// ---- Operator status

// Designating (by command or by the bot's own choice of heir) only records
// the heir; leaving hands operator status over, once, just before the
// disconnect request.
TEST_P(ApiSessionTest, OperatorStatusGoesToTheHeirOnlyWhenTheBotLeaves) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nDesignate=5\r\n[AutoDesignate]\r\nDesignate0=newbie\r\n");
  LogIn();
  Join("newbie");
  ASSERT_TRUE(Run([&] { return doc->Bot().Users().findUser("newbie") >= 0; }));
  // The bot's own choice goes out after its pause; the clock is moved past it.
  doc->Bot().SetDesignateClock([] { return std::chrono::steady_clock::now() + 1h; });
  ASSERT_TRUE(Run([&] {
    doc->OnFastTick();
    return display.contains("newbie is your new designated heir.");
  }));
  Whisper("boss", "/designate alice");
  ASSERT_TRUE(Run([&] { return CountSent("You are the new designated heir") == 2; }));  // newbie's, then alice's
  EXPECT_EQ(doc->Bot().Heirs().designatedName, "alice");
  Talk("boss", "still here");
  ASSERT_TRUE(WaitShown("still here"));
  EXPECT_EQ(CountSent("SendSetModeratorRequest"), 0);

  doc->Close();
  ASSERT_TRUE(WaitClientGone());
  const std::vector<std::string> sent = api_server->received();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(CountSent("SendSetModeratorRequest"), 1);
  EXPECT_NE(sent[sent.size() - 2].find("Botapichat.SendSetModeratorRequest"), std::string::npos);
  EXPECT_NE(sent[sent.size() - 2].find(R"("user_id":2)"), std::string::npos) << sent[sent.size() - 2];
  EXPECT_NE(sent.back().find("Botapichat.DisconnectRequest"), std::string::npos);
}

// "makeop" means now: operator status goes to the user at once, and leaving
// afterwards hands nothing over again.
TEST_P(ApiSessionTest, MakeOpHandsOperatorStatusOverAtOnce) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nMakeOp=5\r\n");
  LogIn();
  Whisper("boss", "/makeop low");
  const std::string request = WaitSent("Botapichat.SendSetModeratorRequest");
  ASSERT_FALSE(request.empty());
  EXPECT_NE(request.find(R"("user_id":4)"), std::string::npos) << request;
  api_server->respond("Botapichat.SendSetModeratorRequest", IdOf(request));
  api_server->send(api_msg::Update(1, "TolvikBot"));
  api_server->send(api_msg::Update(4, "low", R"(["Moderator"])"));
  ASSERT_TRUE(Run([&] { return !doc->Bot().IsOperator(); }));
  EXPECT_FALSE(display.contains("/rejoin is not available"));
  doc->Close();
  ASSERT_TRUE(WaitClientGone());
  EXPECT_EQ(CountSent("SendSetModeratorRequest"), 1);
}

// ---- A hostile server

// Events sent before the login is accepted, or before the chat is joined,
// are not acted on: a whispered command from a listed user is not obeyed,
// and the connection is not taken as established until the ConnectResponse.
TEST_P(ApiSessionTest, NothingBeforeTheChatIsJoinedIsActedOn) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nSay=5\r\n");
  api_server->setAnswersLogin(false);
  doc->Connect();
  const std::string auth = WaitSent("Botapiauth.AuthenticateRequest");
  ASSERT_FALSE(auth.empty());
  const std::vector<std::string> channel = {
      api_msg::Update(1, "TolvikBot", R"(["Moderator"])"),
      R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})", api_msg::Update(3, "boss")};
  auto hostile = [&](const std::string& text) {
    for (const std::string& m : channel) api_server->send(m);
    api_server->send(Say(3, "Whisper", "/say " + text));
  };
  hostile("before login");
  api_server->respond("Botapiauth.AuthenticateRequest", IdOf(auth));
  const std::string connect = WaitSent("Botapichat.ConnectRequest");
  ASSERT_FALSE(connect.empty());
  EXPECT_EQ(doc->State(), WaitingForLoginPrompt);
  hostile("before connect");
  // The queue waits for the chat too: this line marks when it was joined.
  doc->Bot().Queue().SayPriority("joined\n");
  host.RunFor(*doc, 200ms);
  EXPECT_EQ(CountSent("joined"), 0);
  api_server->respond("Botapichat.ConnectRequest", IdOf(connect));
  ASSERT_FALSE(WaitSent("joined").empty());
  EXPECT_EQ(doc->State(), WaitingForLoginPrompt);
  EXPECT_FALSE(display.contains("Joining Channel"));
  // Only now the channel counts, and the bot is named by it.
  for (const std::string& m : channel) api_server->send(m);
  api_server->send(Say(3, "Channel", "now"));
  ASSERT_TRUE(WaitShown("now"));
  EXPECT_EQ(doc->State(), Connected);
  EXPECT_STREQ(doc->Bot().OwnName(), "TolvikBot");
  EXPECT_EQ(Shown("Joining Channel: Home"), 1);
  EXPECT_FALSE(display.contains("Command from boss"));
  EXPECT_EQ(CountSent("before"), 0);
}

// A kick goes to the id that holds the name when it is sent: a renamed user
// is reached under the new name, and the old name reaches whoever took it.
TEST_P(ApiSessionTest, AnActionGoesToTheIdOfTheUserNamed) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nKick=5\r\nKickTagged=5\r\n");
  LogIn();
  api_server->send(api_msg::Update(2, "alicia"));
  api_server->send(api_msg::Update(9, "alice"));
  ASSERT_TRUE(Run([&] { return doc->Bot().Users().findUser("alicia") >= 0 && doc->Bot().Users().findUser("alice") >= 0; }));
  api_server->send(Say(3, "Whisper", "/kick alicia"));
  const std::string renamed = WaitSent("Botapichat.KickUserRequest");
  EXPECT_NE(renamed.find(R"("user_id":2)"), std::string::npos) << renamed;
  api_server->send(Say(3, "Whisper", "/kick alice"));
  ASSERT_TRUE(Run([&] { return CountSent("Botapichat.KickUserRequest") == 2; }));
  EXPECT_EQ(CountSent(R"("user_id":9)"), 1);
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
