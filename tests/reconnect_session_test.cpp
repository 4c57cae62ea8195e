// The bot never gives up on its server: a server that refuses for a while and
// comes back, a login that never completes, a deliberate disconnect, and a
// Connect during the wait. Every wait is shortened (see SessionTest::Open).
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedGateway;
using testing::SessionTest;

class ReconnectTest : public SessionTest {
 protected:
  // Bot.ini naming a loopback port where nothing listens yet.
  void OpenOnFreePort() {
    {
      ScriptedGateway probe;
      port_ = probe.port();
    }
    server_ = "127.0.0.1:" + std::to_string(port_);
    dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + server_ + "\r\nChannel=Home\r\n");
    Open();
  }
  int Shown(const std::string& text) const {
    const auto texts = display.texts();
    return static_cast<int>(std::count(texts.begin(), texts.end(), text));
  }
  int StatusesWith(const std::string& text) const {
    return static_cast<int>(std::count_if(host.status_texts.begin(), host.status_texts.end(),
                                          [&](const std::string& s) { return s.find(text) != std::string::npos; }));
  }
  // Plays the login dialogue on `g`, up to the home channel.
  void LogInAt(ScriptedGateway& g) {
    ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt && g.clientCount() > 0; }));
    g.send("Enter your account name and password.\r\n");
    ASSERT_TRUE(Run([&] { return g.received().find("acct\r\nsecret\r\n") != std::string::npos; }));
    g.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n");
    ASSERT_TRUE(Run([&] { return doc->State() == Connected; }));
    // The join message is read, so a close from the server is a clean one.
    ASSERT_TRUE(Run([&] { return g.received().find("/time\n") != std::string::npos; }));
  }

  uint16_t port_ = 0;
  std::string server_;
};

TEST_F(ReconnectTest, RefusingServerIsTriedUntilItComesBack) {
  OpenOnFreePort();
  doc->Connect();
  // The three quick tries, then tries on the schedule: each refusal is
  // printed once, while the status names the reason and the wait.
  ASSERT_TRUE(Run([&] { return StatusesWith("Connection Failed: Connection refused. Retrying in") >= 4; }));
  EXPECT_EQ(Shown("Connection refused."), 1);
  EXPECT_EQ(doc->State(), ConnectionFailed);
  EXPECT_TRUE(doc->RetryPending());
  EXPECT_EQ(host.status_texts[1], "(" + server_ + ") Connection Failed: Connection refused. Retrying in 1 s");

  // The server comes back: the bot logs in without anyone's help.
  std::optional<ScriptedGateway> back;
  back.emplace(port_);
  LogInAt(*back);
  EXPECT_TRUE(back->selectorOk(0));
  EXPECT_FALSE(doc->RetryPending());
  EXPECT_EQ(doc->StatusText(), "Connected: " + server_);

  // It goes away again: the loss is reported with its reason, and the
  // refusals that follow are news again after the good session.
  back->closeClient();
  back.reset();
  ASSERT_TRUE(Run([&] { return Shown("The server closed the connection.") == 1; })) << ::testing::PrintToString(display.texts());
  ASSERT_TRUE(Run([&] { return Shown("Connection refused.") == 2 && doc->RetryPending(); }));

  // A deliberate Disconnect ends the retries for good.
  doc->Disconnect();
  EXPECT_EQ(doc->State(), NotConnected);
  EXPECT_FALSE(doc->RetryPending());
  EXPECT_EQ(doc->StatusText(), "Not Connected: " + server_);
  const size_t statuses = host.status_texts.size();
  back.emplace(port_);
  host.RunFor(*doc, 1000ms);  // more than twice the longest shortened wait
  EXPECT_EQ(back->clientCount(), 0);
  EXPECT_EQ(host.status_texts.size(), statuses);
  EXPECT_EQ(Shown("Connection refused."), 2);
}

// Connect during the wait tries at once instead of waiting its turn.
TEST_F(ReconnectTest, ConnectDuringTheWaitTriesAtOnce) {
  OpenOnFreePort();
  ReconnectTimings timings = doc->Timings();
  timings.backoff = {60s, 300s, 0};
  doc->SetReconnectTimings(timings);
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->RetryPending(); }));
  EXPECT_EQ(doc->StatusText(), "(" + server_ + ") Connection Failed: Connection refused. Retrying in 60 s");
  // The countdown is only refreshed when its whole seconds change.
  doc->OnFastTick();
  EXPECT_TRUE(host.refreshed_texts.empty());

  ScriptedGateway back(port_);
  doc->Connect();
  EXPECT_EQ(doc->State(), Connecting);
  EXPECT_FALSE(doc->RetryPending());
  LogInAt(back);
}

// Refused logins back off too, and say why.
TEST_F(ReconnectTest, RefusedLoginIsAReasonOfItsOwn) {
  WriteBotIni();
  Open();
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Login Incorrect\r\n");
  ASSERT_TRUE(Run([&] { return doc->State() == LoginFailed; }));
  gateway.closeClient();
  ASSERT_TRUE(Run([&] { return doc->RetryPending(); }));
  EXPECT_EQ(Shown("Login refused: Login Incorrect."), 1);
  ASSERT_TRUE(Run([&] { return gateway.clientCount() == 2 && doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Login Incorrect\r\n");
  ASSERT_TRUE(Run([&] { return doc->State() == LoginFailed; }));
  gateway.closeClient();
  ASSERT_TRUE(Run([&] { return gateway.clientCount() == 3; }));
  EXPECT_EQ(Shown("Login refused: Login Incorrect."), 1);  // the same reason again is not repeated
}

}  // namespace
}  // namespace tolvik
