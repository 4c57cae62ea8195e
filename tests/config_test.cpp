#include "settings/config.h"

#include <gtest/gtest.h>

#include <string>

#include "support/crlf.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::Crlf;
using testing::TempDir;

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { ini_ = dir_.file("Bot.ini"); }
  void Write(std::string_view text) { dir_.write("Bot.ini", Crlf(text)); }

  TempDir dir_;
  std::string ini_;
};

TEST(ConfigPaths, JoinsTheWorkingDirectoryWithSlashes) {
  ConfigPaths p = ConfigPaths::FromWorkingDirectory("/home/bot");
  EXPECT_EQ(p.botIni, "/home/bot/Bot.ini");
  EXPECT_EQ(p.scriptIni, "/home/bot/script.ini");
  EXPECT_EQ(p.scriptsDir, "/home/bot/scripts/");
  EXPECT_EQ(JoinPath("/", "Bot.ini"), "/Bot.ini");
  EXPECT_EQ(JoinPath("dir/", "x"), "dir/x");
}

TEST_F(ConfigTest, WithoutBotIniEverythingHasItsDefault) {
  LoginSettings login = LoadLoginSettings(ini_);
  EXPECT_EQ(login.login, "\n");
  EXPECT_EQ(login.password, "\n");
  EXPECT_EQ(login.server, "\n");
  EXPECT_EQ(login.channel, "\n");
  EXPECT_FALSE(login.autoLogin);
  EXPECT_FALSE(login.savePassword);
  EXPECT_EQ(login.pagerEnableTime, 0);

  Toggles t = LoadToggles(ini_);
  for (const ToggleKey& k : kToggleKeys) {
    EXPECT_EQ((t.*k.field).state, k.defaultValue == 1) << k.key;
    EXPECT_FALSE((t.*k.field).save) << k.key;
  }
  EXPECT_TRUE(t.ViewChatUpdates.state);
  EXPECT_TRUE(t.AllowPage.state);
  EXPECT_FALSE(t.IdLogging.state);
  EXPECT_FALSE(t.AutoSave.state);

  BotSettings s = LoadBotSettings(ini_);
  for (const CommandLevelKey& k : kCommandLevelKeys) EXPECT_EQ(s.commands.*k.field, -1) << k.key;
  for (const RestrictionKey& k : kRestrictionKeys) EXPECT_EQ(s.restrictions.*k.field, -1) << k.key;
  EXPECT_EQ(s.antiIdleMsg, "/time\n");
  EXPECT_EQ(s.joinMsg, "/time\n");
  EXPECT_EQ(s.leaveMsg, "/time\n");
  EXPECT_EQ(s.channelPassword, "");
  EXPECT_EQ(s.whisperPassword, "");
  for (const std::string& d : s.designate) EXPECT_EQ(d, "\n");

  EXPECT_EQ(LoadLeaveMessageAtExit(ini_), "\n");
  EXPECT_EQ(LoadPingText(ini_), "[Ping]");
  EXPECT_EQ(LoadServerList(ini_), "\n");
}

TEST_F(ConfigTest, InitStringsAreUnescapedAndNumbersRead) {
  Write("[Init]\nLogin=Op[[x]]\nPassword=a==b\nServer=useast.example\nChannel=Home\nAutoLogin=1\n"
        "SavePassword=2\nPagerEnableTime=30\n");
  LoginSettings s = LoadLoginSettings(ini_);
  EXPECT_EQ(s.login, "Op[x]");
  EXPECT_EQ(s.password, "a=b");
  EXPECT_EQ(s.server, "useast.example");
  EXPECT_EQ(s.channel, "Home");
  EXPECT_TRUE(s.autoLogin);
  EXPECT_TRUE(s.savePassword);
  EXPECT_EQ(s.pagerEnableTime, 30);
}

TEST_F(ConfigTest, LongValuesAreCutToTheirLimits) {
  std::string s40(40, 'c'), s300(300, 'm');
  Write("[Init]\nLogin=" + s40 + "\n[AutoSend]\nJoin=" + s300 + "\n[Security]\nWhisperPassword=" + s40 +
        "\n[AutoDesignate]\nDesignate3=" + s40 + "\n");
  EXPECT_EQ(LoadLoginSettings(ini_).login, std::string(29, 'c'));
  BotSettings b = LoadBotSettings(ini_);
  EXPECT_EQ(b.joinMsg, std::string(254, 'm'));
  EXPECT_EQ(b.whisperPassword, std::string(29, 'c'));
  EXPECT_EQ(b.designate[3], std::string(19, 'c'));
  EXPECT_EQ(b.designate[2], "\n");
}

TEST_F(ConfigTest, InitLimitAppliesToTheStoredEscapedText) {
  // 28 characters then an escaped "[": the cut keeps only one of the pair.
  Write("[Init]\nPassword=" + std::string(28, 'p') + "[[x\n");
  EXPECT_EQ(LoadLoginSettings(ini_).password, std::string(28, 'p') + "[");
}

TEST_F(ConfigTest, PasswordWithEqualsAndBracketsSurvivesSaveAndReload) {
  Write("[Init]\n");
  LoginSettings s;
  s.login = "Moderator";
  s.password = "p=ss[w]rd";
  s.channel = "Op [Home]";
  s.savePassword = true;
  s.autoLogin = true;
  ASSERT_TRUE(SaveLoginSettings(ini_, s));
  ASSERT_TRUE(SaveServer(ini_, "server.example"));
  LoginSettings back = LoadLoginSettings(ini_);
  EXPECT_EQ(back.login, "Moderator");
  EXPECT_EQ(back.password, "p=ss[w]rd");
  EXPECT_EQ(back.channel, "Op [Home]");
  EXPECT_EQ(back.server, "server.example");
  EXPECT_TRUE(back.autoLogin);
  EXPECT_TRUE(back.savePassword);
}

TEST_F(ConfigTest, UnsavedPasswordIsStoredAsUnsetWithoutGrowingTheFile) {
  Write("[Init]\nPassword=secret\nChannel=x\n");
  LoginSettings s;
  s.login = "me";
  s.password = "typed";
  s.channel = "x";
  s.savePassword = false;
  ASSERT_TRUE(SaveLoginSettings(ini_, s));
  LoginSettings back = LoadLoginSettings(ini_);
  EXPECT_TRUE(IsUnset(back.password));
  EXPECT_FALSE(back.savePassword);
  std::string once = dir_.read("Bot.ini");
  ASSERT_TRUE(SaveLoginSettings(ini_, s));
  EXPECT_EQ(dir_.read("Bot.ini"), once);
}

TEST_F(ConfigTest, SavingLoginWithoutBotIniWritesNothing) {
  EXPECT_FALSE(SaveLoginSettings(ini_, LoginSettings{}));
  EXPECT_FALSE(dir_.exists("Bot.ini"));
}

TEST_F(ConfigTest, ServerListRoundTrips) {
  Write("[Init]\n");
  ASSERT_TRUE(SaveServerList(ini_, "a.example;b.example c.example"));
  EXPECT_EQ(LoadServerList(ini_), "a.example;b.example c.example");
}

TEST_F(ConfigTest, ToggleBitsGiveStateAndSaveFlag) {
  Write("[Toggles]\nViewChatUpdates=3\nAutoRespond=1\nAutoViewAliases=0\nIdLogging=2\nViewPings=3\n");
  Toggles t = LoadToggles(ini_);
  EXPECT_TRUE(t.ViewChatUpdates.state);
  EXPECT_TRUE(t.ViewChatUpdates.save);
  EXPECT_TRUE(t.AutoRespond.state);
  EXPECT_FALSE(t.AutoRespond.save);
  EXPECT_FALSE(t.AutoViewAliases.state);
  EXPECT_FALSE(t.IdLogging.state);
  EXPECT_TRUE(t.IdLogging.save);
  EXPECT_TRUE(t.ViewPings.state);
  EXPECT_TRUE(t.HighlightUsers.state);  // missing: default 1
  EXPECT_FALSE(t.HighlightUsers.save);
}

TEST_F(ConfigTest, RememberedTogglesAreWrittenBackAsTwoOrThree) {
  Write("[Toggles]\nViewChatUpdates=3\n");
  EXPECT_EQ(RememberedToggleValue("ViewChatUpdates", false), 2);
  EXPECT_EQ(RememberedToggleValue("AllowPage", true), 3);
  EXPECT_EQ(RememberedToggleValue("ViewPings", true), 1);
  EXPECT_EQ(RememberedToggleValue("ViewPings", false), 0);

  ASSERT_TRUE(WriteToggle(ini_, "ViewChatUpdates", RememberedToggleValue("ViewChatUpdates", false)));
  ASSERT_TRUE(WriteToggle(ini_, "ViewPings", RememberedToggleValue("ViewPings", true)));
  EXPECT_EQ(dir_.read("Bot.ini"), Crlf("[Toggles]\nViewChatUpdates=2\nViewPings=1\n"));
  Toggles t = LoadToggles(ini_);
  EXPECT_FALSE(t.ViewChatUpdates.state);
  EXPECT_TRUE(t.ViewChatUpdates.save);
  EXPECT_TRUE(t.ViewPings.state);
  EXPECT_FALSE(t.ViewPings.save);
}

TEST_F(ConfigTest, BotSettingsAreReadFromTheirSections) {
  Write("[Commands]\nban=5\nIP=10\nSay=abc\n[Restrictions]\nNumBots=0\nNumWC=3\n"
        "[AutoSend]\nAntiIdleMsg=/me [[idle]]\nLeave=bye\n"
        "[Security]\nChannelPassword= \"open sesame\" \n"
        "[AutoDesignate]\nDesignate0=Heir\nDesignate9=Last\n");
  BotSettings s = LoadBotSettings(ini_);
  EXPECT_EQ(s.commands.Ban, 5);
  EXPECT_EQ(s.commands.IP, 10);
  EXPECT_EQ(s.commands.Say, 0);
  EXPECT_EQ(s.commands.Kick, -1);
  ASSERT_NE(s.commands.Find("ip"), nullptr);
  EXPECT_EQ(*s.commands.Find("ip"), 10);
  EXPECT_EQ(s.commands.Find("nosuch"), nullptr);
  EXPECT_EQ(s.restrictions.NumBots, 0);
  EXPECT_EQ(s.restrictions.NumWC, 3);
  EXPECT_EQ(s.restrictions.NumSC, -1);
  EXPECT_EQ(s.antiIdleMsg, "/me [[idle]]");  // outside [Init] the value is used as stored
  EXPECT_EQ(s.joinMsg, "/time\n");
  EXPECT_EQ(s.leaveMsg, "bye");
  EXPECT_EQ(LoadLeaveMessageAtExit(ini_), "bye");
  EXPECT_EQ(s.channelPassword, "open sesame");
  EXPECT_EQ(s.designate[0], "Heir");
  EXPECT_EQ(s.designate[9], "Last");
  EXPECT_EQ(s.designate[5], "\n");
}

}  // namespace
}  // namespace tolvik
