// Channel talk commands and the operator's slash commands, in a logged-in
// session against the scripted gateway.
#include <filesystem>
#include <string>
#include <vector>

#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

class TalkCommandsTest : public testing::SessionTest {
 protected:
  void Start(const std::string& commands, const std::string& users = "") {
    WriteBotIni("[Commands]\r\n" + commands);
    if (!users.empty()) dir.write("users.lst", users);
    Open();
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));  // the join message
  }
  void Talk(const char* speaker, const char* text) { doc->Bot().TalkCommandInterpreter(speaker, 0, text); }
  ChatBot& Bot() { return doc->Bot(); }
};

TEST_F(TalkCommandsTest, SwitchWordsNeedOperatorStatusAndTheirLevel) {
  Start("AutoKick=3\r\nAutoBan=3\r\n", "[Level3]\r\nmod\r\n\r\n[Level1]\r\nguest\r\n");
  Talk("mod", ".AUTOKICK");  // not an operator yet: nothing at all
  host.RunFor(*doc, 50ms);
  EXPECT_FALSE(Bot().AutoKick());

  Bot().SetOperator(true);
  Talk("mod", ".AUTOKICK");
  ASSERT_TRUE(WaitSent("AutoKick now ON\n"));
  Talk("mod", "/autokick");
  ASSERT_TRUE(WaitSent("AutoKick now OFF\n"));
  Talk("guest", ".autoban");
  ASSERT_TRUE(WaitSent("/msg guest Insufficient Access Level\n"));
  EXPECT_FALSE(Bot().AutoBan());
}

TEST_F(TalkCommandsTest, KickFallsBackToTheTaggedFormByLevel) {
  Start("Kick=5\r\nKickTagged=3\r\n", "[Level3]\r\nuser3\r\n");
  Bot().SetOperator(true);
  Talk("user3", ".kick joe flooding");
  ASSERT_TRUE(WaitSent("/kick joe flooding - by user3\n"));
  EXPECT_TRUE(Bot().Access().KickRequested());
}

TEST_F(TalkCommandsTest, KickBelowBothLevelsIsRefusedWithItsOwnText) {
  Start("Kick=5\r\nKickTagged=4\r\nUnban=5\r\n", "[Level3]\r\nuser3\r\n");
  Bot().SetOperator(true);
  Talk("user3", ".kick joe flooding");
  ASSERT_TRUE(WaitSent("/msg user3 Insufficent access level\n"));
  Talk("user3", ".unban joe");
  ASSERT_TRUE(WaitSent("/msg user3 Insufficient access level\n"));
  EXPECT_EQ(Count("/kick"), 0);
}

TEST_F(TalkCommandsTest, OperatorLevelQueriesPrintLocally) {
  Start("", "[Level2]\r\nbob\r\n\r\n[Level9]\r\nacct\r\n");
  Talk("acct", "/lvl bob");
  Talk("acct", "/level");
  EXPECT_TRUE(display.contains("bob is level 2"));
  EXPECT_TRUE(display.contains("You are level 9"));
  EXPECT_EQ(Count("/msg"), 0);

  Talk("acct", "/help");
  std::vector<std::string> help;
  for (const auto& line : display.texts())
    if (line.rfind("Commands: ", 0) == 0) help.push_back(line);
  EXPECT_EQ(help, (std::vector<std::string>{"Commands:  Say Me Whisper Ban Kick Unban",
                                            "Commands:  AutoKick AutoBan Designate Rejoin Join MakeOp",
                                            "Commands:  Add Del Promote Demote Level Forward",
                                            "Commands:  Help Away Page Password Lookup Who", "Commands:  IP"}));
}

TEST_F(TalkCommandsTest, TalkScriptReplacesBanAndRunsOnlyForOtherUsers) {
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/ban.tcl", "BnetSend \"script saw $speaker: $data\"\n");
  dir.write("script.ini", "[Talk]\r\n.ban=scripts/ban.tcl\r\n.kick=scripts/ban.tcl\r\n");
  Start("", "[Level5]\r\nmod\r\n");
  Bot().SetOperator(true);
  Talk("mod", ".ban joe");
  ASSERT_TRUE(WaitSent("script saw mod: joe\n"));
  EXPECT_TRUE(display.contains("Script: .ban"));
  // A stop row (.kick) skips both the built-in action and the script.
  Talk("mod", ".kick joe");
  // The operator's own line never runs the script here.
  Talk("acct", ".ban joe");
  host.RunFor(*doc, 100ms);
  EXPECT_EQ(Count("script saw"), 1);
  EXPECT_EQ(Count("/ban"), 0);
  EXPECT_EQ(Count("/kick"), 0);
}

TEST_F(TalkCommandsTest, ACommentedOutTalkEntryRunsNothing) {
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/danger.tcl", "BnetSend danger\n");
  dir.write("scripts/safe.tcl", "BnetSend safe\n");
  dir.write("script.ini", "[Talk]\r\n;!danger=scripts/danger.tcl\r\n!safe=scripts/safe.tcl\r\n");
  Start("");
  doc->Bot().OnTalk("joe", 0, ";!danger");
  doc->Bot().OnTalk("joe", 0, "!safe");
  ASSERT_TRUE(WaitSent("safe\n"));
  EXPECT_EQ(Count("danger"), 0);
  EXPECT_FALSE(display.contains("Script: ;!danger"));
  EXPECT_TRUE(display.contains("Script: !safe"));
}

TEST_F(TalkCommandsTest, AwayWordsDirectAndUnforward) {
  Start("");
  Bot().Users().addUser("bob", 0, "Home", "[STAR]");
  Talk("bob", "brb back soon");
  EXPECT_EQ(Bot().Users().row(Bot().Users().findUser("bob")).icon, 3 + UserList::kIdleOffset);
  Talk("bob", "brbx");  // only the whole word
  Bot().Users().setIdle("bob", false);
  Talk("bob", "brbx");
  EXPECT_EQ(Bot().Users().row(Bot().Users().findUser("bob")).icon, 3);

  Talk("acct", "/direct");
  Talk("bob", "/direct carl");  // only the operator
  Talk("acct", "/direct carl");
  EXPECT_EQ(host.whisper_bars, std::vector<std::string>{"carl"});

  Bot().SetForwardTarget("boss");
  Talk("bob", "/unforward");
  EXPECT_EQ(Bot().ForwardTarget(), "");
  EXPECT_TRUE(display.contains("Forwarding off"));
}

TEST_F(TalkCommandsTest, OperatorListEditingUsesTheOverride) {
  Start("Add=1\r\n", "[Level1]\r\nacct\r\n");
  Talk("acct", "/add newbie 7");  // level 1 could only add below 1 without the override
  EXPECT_NE(dir.read("users.lst").find("[Level7]\r\nnewbie"), std::string::npos);
  EXPECT_TRUE(display.contains("newbie has been added at level 7"));
}

TEST_F(TalkCommandsTest, SlashCommandsSaidByOthersKeepTheSpeakersLevelLimits) {
  Start("Add=3\r\nDel=3\r\n", "[Level2]\r\nlow\r\n\r\n[Level4]\r\nfour\r\n\r\n[Level5]\r\nfive\r\n\r\n"
                                 "[Level9]\r\nowner\r\n");
  const std::string before = dir.read("users.lst");
  gateway.send("1005 TALK low 0010 \"/add x 9\"\r\n");
  ASSERT_TRUE(WaitSent("/msg low Insufficient access level\n"));
  EXPECT_EQ(dir.read("users.lst"), before);

  gateway.send("1005 TALK five 0010 \"/del owner\"\r\n");
  ASSERT_TRUE(WaitSent("/msg five Your level is not high enough to delete owner\n"));
  EXPECT_EQ(Bot().Access().GetUserLevel("owner"), 9);

  gateway.send("1005 TALK four 0010 \"/add evil 9\"\r\n");
  ASSERT_TRUE(WaitSent("/msg four Your level is not high enough to add evil at level 9 - adding at 3 instead.\n"));
  EXPECT_EQ(Bot().Access().GetUserLevel("evil"), 3);
}

}  // namespace
}  // namespace tolvik
