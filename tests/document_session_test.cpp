// Whole sessions of the document against the scripted gateway: login,
// refusals, lost connections and reconnects, channel entry, confirmations,
// ban protection and script hooks.
#include <filesystem>
#include <string>
#include <vector>

#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::SessionTest;

TEST_F(SessionTest, LogsInAndEntersTheHomeChannel) {
  WriteBotIni();
  Open();
  LogIn();
  EXPECT_TRUE(gateway.selectorOk(0));
  EXPECT_EQ(host.states, (std::vector<int>{Connecting, WaitingForLoginPrompt, VerifyingNameAndPassword, Connected}));
  EXPECT_EQ(doc->StatusText(), "Connected: " + gateway.address());
  EXPECT_STREQ(doc->Bot().CurrentChannel(), "Home");
  // The join message of [AutoSend] defaults to /time, sent as one line.
  EXPECT_TRUE(WaitSent("/time\n"));
  host.RunFor(*doc, 50ms);
  EXPECT_EQ(gateway.received().find("/time\n\n"), std::string::npos);

  // Entering the home channel again sends it again; another channel does not.
  gateway.send("1007 CHANNEL \"Elsewhere\"\r\n1007 CHANNEL \"home\"\r\n");
  ASSERT_TRUE(Run([&] { return Count("/time\n") == 2; }));
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("/time\n"), 2);
  EXPECT_EQ(doc->Bot().Recent().count(), 2);  // Home and Elsewhere, no repeat of home
}

TEST_F(SessionTest, WrongPasswordAndRefusalSetTheirStates) {
  WriteBotIni();
  Open();
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Login Incorrect\r\n");
  ASSERT_TRUE(Run([&] { return doc->State() == LoginFailed; }));
  EXPECT_EQ(doc->StatusText(), "(" + gateway.address() + ") Login Failed");
  gateway.send("Connection refused.\r\n");
  ASSERT_TRUE(Run([&] { return doc->State() == ConnectionRefused; }));
  // "Password:" with a capital and a colon is not the prompt.
  gateway.send("Password:\r\n");
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(gateway.received(), "");
}

// A connection lost while the login is still going on is tried again too,
// whether the prompt had come yet (state 2) or the password had gone out (7).
TEST_F(SessionTest, ConnectionLostDuringTheLoginReconnects) {
  WriteBotIni();
  Open();
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.closeClient();
  ASSERT_TRUE(WaitShown("Attempting to reconnect..."));
  ASSERT_TRUE(Run([&] { return gateway.clientCount() == 2 && doc->State() == WaitingForLoginPrompt; }));

  gateway.send("Enter your password.\r\n");
  ASSERT_TRUE(Run([&] { return doc->State() == VerifyingNameAndPassword; }));
  gateway.closeClient();
  ASSERT_TRUE(Run([&] { return gateway.clientCount() == 3 && doc->State() == WaitingForLoginPrompt; }));
  EXPECT_TRUE(gateway.selectorOk(2));
}

// Prompts wait for an answer without a line end. Each piece here arrives as
// a read of its own (the raw line is shown before the next one is sent).
TEST_F(SessionTest, PromptsWithoutLineEndsAreHandledAtOnce) {
  WriteBotIni("[Toggles]\r\nViewText=1\r\n");
  Open();
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Username: ");
  ASSERT_TRUE(WaitShown("Username:"));
  gateway.send("Password: ");
  ASSERT_TRUE(WaitShown("Password:"));
  gateway.send("Login incorrect");
  ASSERT_TRUE(Run([&] { return doc->State() == LoginFailed; }));

  // The wrong password is tried again on the next connection, where a prompt
  // does not swallow the name line that follows it.
  gateway.closeClient();
  ASSERT_TRUE(Run([&] { return gateway.clientCount() == 2 && doc->State() == WaitingForLoginPrompt; }));
  const size_t shown = display.texts().size();
  gateway.send("Username: ");
  ASSERT_TRUE(Run([&] { return display.texts().size() > shown; }));
  gateway.send("2010 NAME acct#2\r\n1007 CHANNEL \"Home\"\r\n");
  ASSERT_TRUE(WaitShown("Joining Channel: Home"));
  EXPECT_STREQ(doc->Bot().OwnName(), "acct#2");
}

// A server that keeps prompting but never reads: the login replies pile up
// until a write gives up. That counts as a lost connection; the bot goes on.
TEST_F(SessionTest, ServerThatStopsReadingIsGivenUp) {
  // The longest login values make the longest replies, so the buffers fill sooner.
  dir.write("Bot.ini", "[Init]\r\nLogin=" + std::string(29, 'a') + "\r\nPassword=" + std::string(29, 'p') +
                           "\r\nServer=" + gateway.address() + "\r\n");
  Open();
  doc->Bot().SetSendTimeout(300);
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.stopReading();
  std::string prompts;
  for (int i = 0; i < 400; ++i) prompts += "password.\r\n";
  // Far more replies than the socket buffers hold; the player ends once the
  // bot has dropped the connection.
  gateway.playAsync(std::vector<testing::ScriptedGateway::Chunk>(3000, {prompts}));
  // Generous: how much the socket buffers take first depends on the kernel.
  ASSERT_TRUE(WaitShown("The server stopped taking what the bot sends; the connection is dropped.", 60s));
  EXPECT_TRUE(display.contains("THE BOT HAS LOST CONNECTION"));
  gateway.waitPlayed();
  ASSERT_TRUE(Run([&] { return gateway.clientCount() == 2 && doc->State() == WaitingForLoginPrompt; }));
  EXPECT_TRUE(gateway.selectorOk(1));
}

TEST_F(SessionTest, MissingPasswordAsksAndCancelLeavesItDisconnected) {
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nServer=" + gateway.address() + "\r\n");
  Open();
  doc->Connect();
  EXPECT_EQ(host.asked, std::vector<std::string>{"Password"});
  EXPECT_TRUE(display.contains("Please enter password"));
  EXPECT_EQ(doc->State(), NotConnected);

  host.answers["Password"] = "typed";
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Enter your password.\r\n");
  EXPECT_TRUE(WaitSent("acct\r\ntyped\r\n"));
}

TEST_F(SessionTest, WelcomeLineJoinsTheHomeChannel) {
  WriteBotIni();
  Open();
  LogIn();
  gateway.send("1018 INFO \"Welcome to Battle.net!\"\r\n");
  EXPECT_TRUE(WaitSent("/join Home\n"));
}

TEST_F(SessionTest, WithoutAHomeChannelNothingIsJoinedAndEmptyHooksStayQuiet) {
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=secret\r\nServer=" + gateway.address() + "\r\n");
  dir.write("script.ini", "[Events]\r\nOnChannel=\r\nOnInfo=\r\n");
  Open();
  LogIn();
  // A channel line without a name is no home channel, and the welcome line has nothing to join.
  gateway.send("1007 CHANNEL\r\n1018 INFO \"Welcome to Battle.net!\"\r\n");
  ASSERT_TRUE(WaitShown("Welcome to Battle.net!"));
  doc->Bot().Queue().Say("marker\n");
  ASSERT_TRUE(WaitSent("marker\n"));
  EXPECT_EQ(gateway.received(), "acct\r\nsecret\r\nmarker\n");
  EXPECT_FALSE(display.contains("Script:"));
}

TEST_F(SessionTest, TypedLoginValuesKeepToTheStoredLimit) {
  dir.write("Bot.ini", "[Init]\r\nServer=" + gateway.address() + "\r\n");
  Open();
  host.answers["Login"] = std::string(200, 'l');
  host.answers["Password"] = std::string(200, 'p');
  doc->Connect();
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Enter your password.\r\n");
  EXPECT_TRUE(WaitSent(std::string(29, 'l') + "\r\n" + std::string(29, 'p') + "\r\n"));
  EXPECT_EQ(gateway.received().size(), 29u + 2 + 29 + 2);
}

TEST_F(SessionTest, DesignateConfirmationsTellHeirAndRequester) {
  WriteBotIni();
  Open();
  LogIn();
  ChatBot& bot = doc->Bot();
  bot.Pending().push("bob alice", kPendingDesignate, kDesignateTellHeirAndRequester);
  gateway.send("1018 INFO \"bob is your new designated heir.\"\r\n");
  ASSERT_TRUE(WaitSent("/msg alice bob is the new designated heir\n"));
  EXPECT_EQ(Count("/msg bob You are the new designated heir\n"), 1);
  EXPECT_EQ(bot.Heirs().designatedName, "bob");

  // Designating somebody else tells bob he no longer is.
  bot.Pending().push("carl", kPendingDesignate, kDesignateTellHeir);
  gateway.send("1018 INFO \"carl is your new designated heir.\"\r\n");
  ASSERT_TRUE(WaitSent("/msg carl You are the new designated heir\n"));
  EXPECT_EQ(Count("/msg bob You are no longer the designated heir\n"), 1);

  // A second confirmation for the same heir says nothing.
  bot.Pending().push("carl", kPendingDesignate, kDesignateTellHeir);
  gateway.send("1018 INFO \"carl is your new designated heir.\"\r\n");
  ASSERT_TRUE(Run([&] { return bot.Pending().isEmpty(); }));
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("/msg carl"), 1);

  // An error line consumes the oldest entry and tells the requester.
  bot.Pending().push("dave alice", kPendingDesignate, kDesignateTellHeirAndRequester);
  gateway.send("1019 ERROR \"That user is not logged on.\"\r\n");
  ASSERT_TRUE(WaitSent("/msg alice That user is not logged on.\n"));
  EXPECT_TRUE(bot.Pending().isEmpty());
}

TEST_F(SessionTest, ChannelHookAnswersThroughBnetSend) {
  WriteBotIni();
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/hello.tcl", "BnetSend \"Hello from [BotName] in [BotChannel]\"\n");
  dir.write("script.ini", "[Events]\r\nOnChannel=scripts/hello.tcl\r\n");
  Open();
  LogIn();
  EXPECT_TRUE(display.contains("Script: OnChannel"));
  EXPECT_TRUE(WaitSent("Hello from acct in Home\n"));
  ASSERT_TRUE(WaitShown("<acct> Hello from acct in Home"));  // echoed once it left
}

TEST_F(SessionTest, MissingFilesAreCreatedWithWhatTheFirstRunNeeds) {
  Open();
  EXPECT_TRUE(dir.exists("Bot.ini"));
  EXPECT_TRUE(dir.exists("script.ini"));
  EXPECT_TRUE(dir.exists("users.lst"));
  EXPECT_EQ(dir.read("script.ini"), "");
  // Bot.ini starts with the colour scheme only; every other key has its default.
  EXPECT_EQ(dir.read("Bot.ini").rfind("[Fonts]\r\n", 0), 0u);
  EXPECT_TRUE(IsUnset(doc->Login().login));
  EXPECT_EQ(doc->State(), NotConnected);
  EXPECT_TRUE(doc->GetToggles().AutoRespond.state);
}

}  // namespace
}  // namespace tolvik

namespace tolvik {
namespace {

using testing::SessionTest;

TEST_F(SessionTest, AntiIdleLineAfterFifteenQuietMinutes) {
  WriteBotIni("[AutoSend]\r\nAntiIdleMsg=still here\r\nJoin=hi\r\n");
  Open();
  LogIn();
  // The join line left the queue (its echo shows it): the count starts again.
  ASSERT_TRUE(WaitShown("<acct> hi"));
  EXPECT_EQ(doc->AntiIdleCount(), 0);
  for (int minute = 1; minute <= 14; ++minute) doc->OnMinuteTick();
  EXPECT_EQ(doc->AntiIdleCount(), 14);
  doc->Bot().Queue().Say("talking in minute 14\n");
  ASSERT_TRUE(WaitShown("<acct> talking in minute 14"));
  EXPECT_EQ(doc->AntiIdleCount(), 0);
  for (int minute = 1; minute <= 14; ++minute) doc->OnMinuteTick();
  host.RunFor(*doc, 50ms);
  EXPECT_EQ(Count("still here"), 0);
  doc->OnMinuteTick();
  EXPECT_TRUE(WaitSent("still here\n"));
}

}  // namespace
}  // namespace tolvik

namespace tolvik {
namespace {

using testing::SessionTest;

TEST_F(SessionTest, ChannelRefusalsArePrintedAndHookedOnlyWithAutoRespond) {
  WriteBotIni("[Toggles]\r\nAutoRespond=0\r\n");
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/dne.tcl", "BnetSend \"no such channel: $data\"\n");
  dir.write("script.ini", "[Events]\r\nOnChannelDoesNotExist=scripts/dne.tcl\r\n");
  Open();
  LogIn();
  gateway.send("1014 INFO \"Nowhere land\"\r\n1013 INFO \"Full\"\r\n1015 INFO \"Private\"\r\n");
  ASSERT_TRUE(WaitShown("OnChannelRestricted chanrest<> Private"));
  EXPECT_TRUE(display.contains("OnChannelDoesNotExit chandne<> Nowhere land"));
  EXPECT_TRUE(display.contains("OnChannelFull chanfull<> Full"));
  EXPECT_FALSE(display.contains("Script:"));

  doc->GetToggles().AutoRespond.state = true;
  gateway.send("1014 INFO \"Nowhere land\"\r\n");
  ASSERT_TRUE(WaitSent("no such channel: land\n"));
  EXPECT_TRUE(display.contains("Script: OnChannelDoesNotExist"));
}

TEST_F(SessionTest, WhoisAnswerIsLoggedAsAnAliasWhenIdLoggingIsOn) {
  WriteBotIni("[Toggles]\r\nIdLogging=1\r\n");
  Open();
  LogIn();
  ChatBot& bot = doc->Bot();
  bot.whois_pending = true;
  bot.whois_name = "Bob";
  gateway.send("1018 INFO \"someone else is using StarCraft in channel #1, x\"\r\n");
  host.RunFor(*doc, 100ms);
  EXPECT_TRUE(bot.whois_pending);  // not the answer for Bob
  gateway.send("1018 INFO \"bob is using StarCraft in channel #1234, Home.\"\r\n");
  ASSERT_TRUE(Run([&] { return !bot.whois_pending; }));
  EXPECT_TRUE(bot.Aliases().isKnown("Bob"));
  EXPECT_EQ(bot.Aliases().idsOfName("Bob"), "1234");
}

TEST_F(SessionTest, BroadcastsWhisperEchoesAndPings) {
  WriteBotIni("[Toggles]\r\nViewPings=1\r\nViewText=1\r\n[Messages]\r\nPing=<ping>\r\n");
  Open();
  LogIn();
  EXPECT_TRUE(display.contains("Please enter your name and password."));  // ViewText shows raw lines
  gateway.send("1006 BROADCAST \"Server restart soon\"\r\n1010 WHISPER ann 0000 \"psst\"\r\n2000 NULL\r\n");
  ASSERT_TRUE(WaitShown("<ping>"));
  EXPECT_TRUE(display.contains("Server restart soon"));
  EXPECT_TRUE(display.contains("<To: ann> psst"));
}

}  // namespace
}  // namespace tolvik
