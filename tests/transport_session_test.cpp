// Whole sessions of the document run once over the text gateway and once over
// the chat API: login, a retry after a refused login, lost connections, the
// close sequence, and moderation with its confirmations.
#include <algorithm>
#include <string>
#include <vector>

#include "support/transport_session.h"

namespace tolvik::testing {
namespace {

using Session = TransportSessionTest;

TEST_P(Session, LogsInAndTakesTheNameAndChannelTheServerGives) {
  WriteBotIni();
  Open();
  LogIn();
  EXPECT_STREQ(doc->Bot().OwnName(), "TolvikBot");
  EXPECT_STREQ(doc->Bot().CurrentChannel(), "Home");
  EXPECT_TRUE(doc->Bot().IsOperator());
  EXPECT_GE(doc->Bot().Users().findUser("alice"), 0);
  EXPECT_EQ(doc->StatusText(), "Connected: " + ServerValue());
  if (Api()) {
    const std::vector<std::string> sent = Sent();
    ASSERT_GE(sent.size(), 2u);
    EXPECT_NE(sent[0].find(R"("api_key":"good-key")"), std::string::npos);
    EXPECT_NE(sent[1].find("Botapichat.ConnectRequest"), std::string::npos);
  } else {
    EXPECT_TRUE(gateway->selectorOk(0));
    EXPECT_EQ(gateway->receivedLines(0).at(0), "acct\r");
  }
}

// After a refused login the bot tries again on the backoff schedule; that
// connection opens exactly as the first one did, whatever the transport:
// the selector and then the login reply on the text gateway, the
// authentication and connect requests and nothing else on the chat API.
TEST_P(Session, ARetryAfterARefusedLoginOpensLikeTheFirstConnection) {
  WriteBotIni();
  Open();
  if (Api()) api_server->setApiKey("another-key");
  doc->Connect();
  if (!Api()) {
    ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
    gateway->send("Login Incorrect\r\n");
  }
  // Over the API the refusal and the close come together: the state passes through LoginFailed.
  ASSERT_TRUE(Run([&] { return std::find(host.states.begin(), host.states.end(), LoginFailed) != host.states.end(); }));
  if (Api()) {
    api_server->setApiKey("good-key");
  } else {
    gateway->closeClient();
  }
  ASSERT_TRUE(Run([&] { return doc->RetryPending() || Clients() == 2; }));
  PlayLogin(2);
  const std::vector<std::string> sent = Sent();
  if (Api()) {
    ASSERT_GE(sent.size(), 2u);
    EXPECT_NE(sent[0].find("Botapiauth.AuthenticateRequest"), std::string::npos) << sent[0];
    EXPECT_NE(sent[1].find("Botapichat.ConnectRequest"), std::string::npos) << sent[1];
    for (const std::string& m : sent) EXPECT_EQ(m.find("\\u0003"), std::string::npos) << m;
  } else {
    EXPECT_TRUE(gateway->selectorOk(1));
    ASSERT_GE(sent.size(), 2u);
    EXPECT_EQ(sent[0], "acct\r");
    EXPECT_EQ(sent[1], "secret\r");
  }
}

TEST_P(Session, ALostConnectionIsReportedAndLogsInAgain) {
  WriteBotIni();
  Open();
  LogIn();
  Drop();
  ASSERT_TRUE(WaitShown("Attempting to reconnect..."));
  EXPECT_TRUE(display.contains("THE BOT HAS LOST CONNECTION"));
  EXPECT_EQ(doc->State(), Connecting);
  PlayLogin(2);
  if (Api()) {
    EXPECT_EQ(CountSent(Out::kChat, "", "\x03\x04"), 0);
    bool connect_sent = false;
    for (const std::string& m : Sent()) connect_sent = connect_sent || m.find("Botapichat.ConnectRequest") != std::string::npos;
    EXPECT_TRUE(connect_sent);
  } else {
    EXPECT_TRUE(gateway->selectorOk(1));
  }
}

// The leave line goes out at once and is shown; then the connection is
// closed the transport's way (over the API: a disconnect request, then a
// close frame).
TEST_P(Session, CloseSendsTheLeaveLineThenCloses) {
  WriteBotIni("[AutoSend]\r\nLeave=Bye all\r\n");
  Open();
  LogIn();
  doc->Close();
  ASSERT_TRUE(WaitClientGone());
  EXPECT_TRUE(display.contains("<TolvikBot> Bye all"));
  const std::vector<std::string> sent = Sent();
  if (Api()) {
    ASSERT_GE(sent.size(), 2u);
    EXPECT_NE(sent[sent.size() - 2].find(R"("message":"Bye all")"), std::string::npos);
    EXPECT_NE(sent.back().find("Botapichat.DisconnectRequest"), std::string::npos);
    EXPECT_TRUE(api_server->closeFrameReceived());
  } else {
    ASSERT_FALSE(sent.empty());
    EXPECT_EQ(sent.back(), "Bye all");
  }
}

TEST_P(Session, AMissingSecretIsAskedForByItsName) {
  WriteBotIni("", false);
  Open();
  doc->Connect();
  EXPECT_EQ(host.asked, std::vector<std::string>{Api() ? "API key" : "Password"});
  EXPECT_TRUE(display.contains(Api() ? "Please enter API key" : "Please enter password"));
  EXPECT_EQ(doc->State(), NotConnected);
  host.answers[host.asked[0]] = GoodSecret();
  LogIn();
}

TEST_P(Session, ANewcomerIsGreetedAndThoseListedAtEntryAreNot) {
  WriteBotIni("[AutoGreet]\r\n*=Welcome aboard\r\n");
  Open();
  LogIn();
  Join("newbie");
  EXPECT_FALSE(WaitSentChat("Welcome aboard").empty());
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(CountSent(Out::kChat, "", "Welcome aboard"), 1);
}

TEST_P(Session, WhisperedKickIsObeyedByLevelAndConfirmed) {
  dir.write("users.lst", "[Level1]\r\nlow\r\n\r\n[Level5]\r\nboss\r\n");
  WriteBotIni("[Commands]\r\nKick=5\r\nKickTagged=5\r\n");
  Open();
  LogIn();
  Whisper("low", "/kick alice");
  ASSERT_TRUE(WaitShown("Command from low: /kick alice"));
  Whisper("boss", "/kick alice");
  const std::string kick = WaitSent(Out::kKick, "alice");
  ASSERT_FALSE(kick.empty());
  EXPECT_EQ(CountSent(Out::kKick, "alice"), 1);  // low's was refused
  Confirm(Out::kKick, "alice", kick);
  EXPECT_TRUE(WaitShown("alice was kicked out of the channel by TolvikBot."));
}

TEST_P(Session, WhisperedBanIsConfirmedAndEmptiesThePendingEntry) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  WriteBotIni("[Commands]\r\nBan=5\r\nBanTagged=5\r\n");
  Open();
  LogIn();
  Whisper("boss", "/ban alice");
  const std::string ban = WaitSent(Out::kBan, "alice");
  ASSERT_FALSE(ban.empty());
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().size() == 1; }));
  Confirm(Out::kBan, "alice", ban);
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  Talk("boss", "done");
  ASSERT_TRUE(WaitShown("done"));
  EXPECT_EQ(Shown("alice was banned by TolvikBot."), 1);
}

TEST_P(Session, WhisperedDesignateIsConfirmedToHeirAndRequester) {
  dir.write("users.lst", "[Level5]\r\nboss\r\n");
  WriteBotIni("[Commands]\r\nDesignate=5\r\n");
  Open();
  LogIn();
  Whisper("boss", "/designate alice");
  // Over the API a designation is only recorded (the request would hand
  // operator status over at once), and the bot confirms it itself.
  if (!Api()) {
    const std::string designate = WaitSent(Out::kDesignate, "alice");
    ASSERT_FALSE(designate.empty());
    Confirm(Out::kDesignate, "alice", designate);
  }
  EXPECT_FALSE(WaitSent(Out::kWhisper, "alice", "You are the new designated heir").empty());
  EXPECT_FALSE(WaitSent(Out::kWhisper, "boss", "alice is the new designated heir").empty());
  EXPECT_TRUE(doc->Bot().Pending().isEmpty());
  EXPECT_EQ(doc->Bot().Heirs().designatedName, "alice");
  if (Api()) {
    EXPECT_EQ(CountSent(Out::kDesignate, "alice"), 0);
  }
}

// A Disconnect while the bot waits to reconnect after a loss stops it for good.
TEST_P(Session, DisconnectDuringTheReconnectWaitStopsIt) {
  WriteBotIni();
  Open();
  doc->SetReconnectDelay(600);
  LogIn();
  Drop();
  ASSERT_TRUE(WaitShown("Attempting to reconnect..."));
  doc->Disconnect();
  EXPECT_EQ(doc->State(), NotConnected);
  host.RunFor(*doc, 900ms);
  EXPECT_EQ(Clients(), 1);
  EXPECT_EQ(doc->State(), NotConnected);
  // Disconnect in the wrong state does nothing.
  doc->Disconnect();
  EXPECT_EQ(doc->State(), NotConnected);
}

// A ban by a user below the BanTagged level is undone and the unban waits for
// its answer; a ban by a user at that level or by the bot itself stands.
TEST_P(Session, BanByALowLevelUserIsUndone) {
  dir.write("users.lst", "[Level2]\r\nlowuser\r\n\r\n[Level5]\r\nboss\r\n");
  WriteBotIni("[Commands]\r\nBanTagged=5\r\n");
  Open();
  LogIn();
  Info("victim was banned by lowuser.");
  const std::string unban = WaitSent(Out::kUnban, "victim");
  ASSERT_FALSE(unban.empty());
  EXPECT_EQ(doc->Bot().Pending().size(), 1u);
  Confirm(Out::kUnban, "victim", unban);
  ASSERT_TRUE(Run([&] { return doc->Bot().Pending().isEmpty(); }));
  Info("other was banned by boss.");
  Info("third was banned by TolvikBot.");
  Talk("boss", "done");
  ASSERT_TRUE(WaitShown("done"));
  host.RunFor(*doc, 200ms);
  EXPECT_EQ(CountSent(Out::kUnban, "other"), 0);
  EXPECT_EQ(CountSent(Out::kUnban, "third"), 0);
}

// A server that accepts the connection but never completes the login is
// given up after the login timeout; the next try logs in.
TEST_P(Session, LoginThatNeverCompletesTimesOutIntoTheRetries) {
  WriteBotIni();
  Open();
  ReconnectTimings timings = doc->Timings();
  timings.login_timeout_ms = 300;
  doc->SetReconnectTimings(timings);
  if (Api()) api_server->setAnswersLogin(false);
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt && Clients() == 1; }));
  // The timeout is checked by the fast timer, as the front-ends drive it.
  ASSERT_TRUE(Run([&] {
    doc->OnFastTick();
    return doc->RetryPending();
  }));
  EXPECT_EQ(Shown("Login timed out: no login within 1 s."), 1);
  EXPECT_EQ(std::count_if(host.status_texts.begin(), host.status_texts.end(),
                          [](const std::string& s) {
                            return s.find("Connection Failed: Login timed out: no login within 1 s. Retrying in") !=
                                   std::string::npos;
                          }),
            1);
  EXPECT_TRUE(WaitClientGone());
  if (Api()) api_server->setAnswersLogin(true);
  PlayLogin(2);
  host.RunFor(*doc, 400ms);
  doc->OnFastTick();
  EXPECT_EQ(doc->State(), Connected);
  EXPECT_EQ(Clients(), 2);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, Session, ::testing::Values(Wire::kText, Wire::kApi), WireName);

}  // namespace
}  // namespace tolvik::testing
