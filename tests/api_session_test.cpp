// Whole sessions of the document against the loopback chat API server: TLS
// with the test CA, real WebSocket framing, the login exchange, the channel,
// moderation with its confirmations, and the close sequence.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "app/document.h"
#include "bot/chat_bot.h"
#include "net/api/tls_stream.h"
#include "net/api/websocket_handshake.h"
#include "support/api_test_server.h"
#include "support/recording_display.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"
#include "support/test_host.h"

namespace tolvik::testing {
namespace {

std::string Update(int id, const std::string& name, const std::string& flags = "[]") {
  return R"({"command":"Botapichat.UserUpdateEventRequest","request_id":0,"payload":{"user_id":)" +
         std::to_string(id) + R"(,"toon_name":")" + name + R"(","flag":)" + flags +
         R"(,"attribute":[{"key":"ProgramId","value":"W2BN"}]}})";
}
std::string Say(int id, const std::string& type, const std::string& text) {
  return R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":)" + std::to_string(id) +
         R"(,"message":")" + text + R"(","type":")" + type + R"("}})";
}
std::string Leave(int id) {
  return R"({"command":"Botapichat.UserLeaveEventRequest","payload":{"user_id":)" + std::to_string(id) + "}}";
}
// The request id of a recorded request.
int64_t IdOf(const std::string& request) {
  size_t p = request.find("\"request_id\":");
  return p == std::string::npos ? -1 : std::stoll(request.substr(p + 13));
}

class ApiSessionTest : public ::testing::Test {
 protected:
  ~ApiSessionTest() override {
    doc.reset();
    std::filesystem::current_path(start_dir_);
  }
  void Open(const std::string& extra = "", const std::string& key = "good-key",
            const std::string& ca = GetTestCa().ca_file) {
    // Login is only what the bot is called until the server names it.
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=" + key + "\r\nServer=" + server.url() +
                             "\r\nChannel=Home\r\nCAFile=" + ca + "\r\n" + extra);
    doc = std::make_unique<CHaldenDoc>(dir.path().string(), display, host);
    ReconnectTimings timings;
    timings.reconnect_delay_ms = 200;
    timings.quick_pause_ms = 50;
    timings.backoff = {100ms, 400ms, 20};
    timings.per_address_timeout_ms = 500;
    doc->SetReconnectTimings(timings);
    doc->Bot().Queue().SetPause([](int) {});
  }
  // Bot (id 1, an operator), channel Home with alice (2), boss (3) and low (4).
  void LogIn() {
    server.setChannelScript({Update(1, "TolvikBot", R"(["Moderator"])"),
                             R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                             Update(2, "alice"), Update(3, "boss"), Update(4, "low")});
    doc->Connect();
    ASSERT_TRUE(Run([&] { return doc->State() == Connected && display.contains("Joining Channel: Home"); }));
    ASSERT_TRUE(Run([&] { return doc->Bot().Users().findUser("low") >= 0; }));
  }
  bool Run(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    return host.RunUntil(*doc, done, timeout);
  }
  // Pumps the document until the server has a message containing `text`.
  std::string WaitSent(const std::string& text) {
    std::string found;
    Run([&] {
      for (const std::string& m : server.received())
        if (m.find(text) != std::string::npos) found = m;
      return !found.empty();
    });
    return found;
  }
  int Shown(const std::string& text) const {
    int n = 0;
    for (const std::string& t : display.texts()) n += t.find(text) != std::string::npos;
    return n;
  }
  int CountSent(const std::string& text) {
    int n = 0;
    for (const std::string& m : server.received()) n += m.find(text) != std::string::npos;
    return n;
  }

  ApiTestServer server;
  TempDir dir;
  RecordingDisplay display;
  TestHost host;
  std::unique_ptr<CHaldenDoc> doc;

 private:
  std::filesystem::path start_dir_ = std::filesystem::current_path();
};

TEST_F(ApiSessionTest, LogsInWithTheKeyAndTakesTheNameTheServerGives) {
  Open();
  LogIn();
  const std::vector<std::string> sent = server.received();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_NE(sent[0].find(R"("api_key":"good-key")"), std::string::npos);
  EXPECT_NE(sent[1].find("Botapichat.ConnectRequest"), std::string::npos);
  EXPECT_STREQ(doc->Bot().OwnName(), "TolvikBot");
  EXPECT_STREQ(doc->Bot().CurrentChannel(), "Home");
  EXPECT_TRUE(doc->Bot().IsOperator());
  EXPECT_GE(doc->Bot().Users().findUser("alice"), 0);
}

TEST_F(ApiSessionTest, ANewcomerIsGreeted) {
  Open("[AutoGreet]\r\n*=Welcome aboard\r\n");
  LogIn();
  server.send(Say(2, "Channel", "hi all"));  // the listing is over
  server.send(Update(5, "newbie"));
  std::string greeting = WaitSent("Welcome aboard");
  EXPECT_NE(greeting.find("Botapichat.SendMessageRequest"), std::string::npos);
  EXPECT_EQ(CountSent("Welcome aboard"), 1);  // those listed at entry were not greeted
}

TEST_F(ApiSessionTest, WhisperedKickIsObeyedByLevelAndConfirmed) {
  dir.write("users.lst", "[Level1]\r\nlow\r\n\r\n[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nKick=5\r\nKickTagged=5\r\n");
  LogIn();
  server.send(Say(4, "Whisper", "/kick alice"));
  ASSERT_TRUE(Run([&] { return display.contains("Command from low: /kick alice"); }));
  server.send(Say(3, "Whisper", "/kick alice"));
  std::string kick = WaitSent("Botapichat.KickUserRequest");
  ASSERT_FALSE(kick.empty());
  EXPECT_NE(kick.find(R"("user_id":2)"), std::string::npos);
  EXPECT_EQ(CountSent("KickUserRequest"), 1);  // low's was refused
  server.respond("Botapichat.KickUserRequest", IdOf(kick));
  EXPECT_TRUE(Run([&] { return display.contains("alice was kicked out of the channel by TolvikBot."); }));
}

TEST_F(ApiSessionTest, BanIsConfirmedOnceByTheLeaveBeforeItsAnswer) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  server.send(Say(3, "Whisper", "/ban alice"));
  std::string ban = WaitSent("Botapichat.BanUserRequest");
  ASSERT_FALSE(ban.empty());
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().size() == 1; }));
  server.send(Leave(2));
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  server.respond("Botapichat.BanUserRequest", IdOf(ban));
  server.send(Say(3, "Channel", "done"));
  ASSERT_TRUE(Run([&] { return display.contains("done"); }));
  EXPECT_EQ(Shown("alice was banned by TolvikBot."), 1);
  EXPECT_EQ(doc->Bot().Users().findUser("alice"), -1);
}

TEST_F(ApiSessionTest, FailedBanTellsTheRequesterAndEmptiesThePendingEntry) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  server.send(Say(3, "Whisper", "/ban alice"));
  std::string ban = WaitSent("Botapichat.BanUserRequest");
  server.respond("Botapichat.BanUserRequest", IdOf(ban), 8, 2);
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  EXPECT_TRUE(display.contains("ERROR: Ban of alice failed: bad request (8/2)"));
}

TEST_F(ApiSessionTest, BanOfSomeoneAbsentTellsTheRequesterHeIsNotLoggedOn) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  Open("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  LogIn();
  server.send(Say(3, "Whisper", "/ban ghost"));
  std::string reply = WaitSent("That user is not logged on");
  EXPECT_NE(reply.find("Botapichat.SendWhisperRequest"), std::string::npos);
  EXPECT_NE(reply.find(R"("user_id":3)"), std::string::npos);
  EXPECT_TRUE(doc->Bot().Pending().isEmpty());
  EXPECT_EQ(CountSent("BanUserRequest"), 0);
}

TEST_F(ApiSessionTest, CommandsTheApiLacksAndAbsentNamesAreRefusedLocally) {
  Open();
  LogIn();
  const size_t before = server.received().size();
  doc->Bot().Queue().SayPriority("/join Elsewhere\n");
  doc->Bot().Queue().SayPriority("/kick ghost\n");
  doc->Bot().Queue().SayPriority("still talking\n");
  ASSERT_FALSE(WaitSent("still talking").empty());
  ASSERT_TRUE(Run([&] { return display.contains("ERROR: ghost is not logged on in this channel."); }));
  // A missing command is information, not an error that would answer a pending action.
  EXPECT_TRUE(display.contains("/join is not available over the chat API."));
  EXPECT_FALSE(display.contains("ERROR: /join"));
  EXPECT_EQ(server.received().size(), before + 1);  // only the talk went out
}

TEST_F(ApiSessionTest, PingIsAnsweredAndBadMessagesAreSurvived) {
  Open();
  LogIn();
  server.ping();
  server.send("{\"command\": not json");
  server.send(Say(2, "Channel", "caf\xC3\xA9 \xFF broken"));
  server.send("[]");
  server.send(Say(2, "Channel", "after the noise"));
  ASSERT_TRUE(Run([&] { return display.contains("after the noise"); }));
  ASSERT_TRUE(Run([&] { return server.pongs() >= 1; }));
  EXPECT_TRUE(display.contains("caf\xC3\xA9 ? broken"));
  EXPECT_EQ(doc->State(), Connected);
}

TEST_F(ApiSessionTest, ARefusedKeyIsReportedAndRetriedLikeAWrongPassword) {
  Open("", "wrong-key");
  doc->Connect();
  ASSERT_TRUE(Run([&] { return display.contains("ERROR: The API key was refused: bad request (8/2)"); }));
  ASSERT_TRUE(Run([&] { return server.clientCount() >= 2; }));  // tried again after the wait
  bool failed_seen = false;
  for (int s : host.states) failed_seen = failed_seen || s == LoginFailed;
  EXPECT_TRUE(failed_seen);
  for (const std::string& line : display.texts()) EXPECT_EQ(line.find("wrong-key"), std::string::npos) << line;
}

TEST_F(ApiSessionTest, ALostConnectionReconnectsAndLogsInAgain) {
  Open();
  LogIn();
  server.dropClient();
  ASSERT_TRUE(Run([&] { return display.contains("THE BOT HAS LOST CONNECTION"); }));
  ASSERT_TRUE(Run([&] { return server.clientCount() == 2 && doc->State() == Connected; }));
  EXPECT_FALSE(WaitSent("Botapichat.ConnectRequest").empty());
}

TEST_F(ApiSessionTest, CloseSendsTheLeaveLineThenDisconnectThenACloseFrame) {
  Open("[AutoSend]\r\nLeave=Bye all\r\n");
  LogIn();
  doc->Close();
  ASSERT_TRUE(server.waitForClientGone());
  const std::vector<std::string> sent = server.received();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_NE(sent[sent.size() - 2].find("Bye all"), std::string::npos);
  EXPECT_NE(sent.back().find("Botapichat.DisconnectRequest"), std::string::npos);
  EXPECT_TRUE(server.closeFrameReceived());
}

TEST_F(ApiSessionTest, RateLimitIsReportedAndTheNextRequestWaits) {
  Open();
  LogIn();
  doc->Bot().Queue().SayPriority("first\n");
  std::string first = WaitSent("first");
  server.respond("Botapichat.SendMessageRequest", IdOf(first), 6, 8);
  ASSERT_TRUE(Run([&] { return display.contains("ERROR: Message failed: rate limit exceeded (6/8)"); }));
  doc->Bot().Queue().SayPriority("second\n");
  host.RunFor(*doc, 500ms);
  EXPECT_EQ(CountSent("second"), 0);
  EXPECT_FALSE(WaitSent("second").empty());
}

TEST_F(ApiSessionTest, AServerCertificateFromAnotherCaIsRefused) {
  Open("", "good-key", GetTestCa().other_ca_file);
  doc->Connect();
  ASSERT_TRUE(server.waitForClients(1));
  ASSERT_TRUE(Run([&] { return display.contains("Certificate check failed"); }));
  EXPECT_NE(doc->Bot().LastFailure().Message().find("unable to get local issuer certificate"), std::string::npos)
      << doc->Bot().LastFailure().Message();
  EXPECT_TRUE(server.received().empty());
  EXPECT_NE(doc->State(), Connected);
  doc->Disconnect();
}

// Whatever answers the upgrade (a proxy, another service) is only taken for
// the chat API when its answer is a WebSocket's answer to our own key.
TEST_F(ApiSessionTest, AnUpgradeAnswerThatDoesNotMatchIsRefusedBeforeTheKeyIsSent) {
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
    server.setUpgradeAnswer(c.make);
    display.clear();
    doc.reset();
    Open();
    doc->Connect();
    EXPECT_TRUE(Run([&] {
      return display.contains("WebSocket upgrade: the server's answer does not match the request");
    })) << c.what;
    // The login with the key never went out.
    const std::vector<std::string> sent = server.received();
    EXPECT_TRUE(sent.empty()) << c.what << ": " << (sent.empty() ? "" : sent.front());
    EXPECT_NE(doc->State(), Connected) << c.what;
    doc->Disconnect();
  }
}

TEST_F(ApiSessionTest, AMissingKeyIsAskedForAsAnApiKeyAndKeptWhole) {
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + server.url() + "\r\nCAFile=" + GetTestCa().ca_file + "\r\n");
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
