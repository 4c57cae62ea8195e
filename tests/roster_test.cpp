// The channel roster in logged-in sessions against the scripted gateway:
// limits per login type, the auto-ban list and the AutoBan/AutoKick
// switches, heirs, the rejoin countdown, greetings, account logging, the
// last-seen and recent-leaver lists and the roster's script hooks.
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "support/session_fixture.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;

const char kPrivateWhisper[] =
    "The channel is in private mode.  Please whisper /password <password> to the bot to get access\n";

class RosterTest : public testing::SessionTest {
 protected:
  // Writes Bot.ini (with `ini` sections), users.lst and autoban.lst, logs in.
  void Start(const std::string& ini, const std::string& users = "", const std::string& autoban = "") {
    WriteBotIni(ini);
    if (!users.empty()) dir.write("users.lst", users);
    if (!autoban.empty()) dir.write("autoban.lst", autoban);
    Open();
    Bot().SetDesignateClock([this] { return clock_now; });
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));  // the join message
  }
  // Plays server lines, then waits until the bot has handled all of them and
  // everything it queued meanwhile has reached the gateway.
  void Play(const std::string& lines) {
    const std::string mark = "[sync " + std::to_string(++syncs_) + "]";
    gateway.send(lines + "1018 INFO \"" + mark + "\"\r\n");
    ASSERT_TRUE(WaitShown(mark));
    Bot().Queue().Say("%s\n", mark.c_str());
    ASSERT_TRUE(WaitSent(mark + "\n"));
  }
  int Shown(const std::string& text) const {
    int n = 0;
    for (const auto& line : display.texts()) n += line.find(text) != std::string::npos;
    return n;
  }
  // The pause before "/Designate" passes: the fast timer queues what waited.
  void PassDesignatePause() {
    clock_now += ChatBot::kDesignatePause;
    doc->OnFastTick();
    Play("");
  }
  ChatBot& Bot() { return doc->Bot(); }
  int Counter(LoginTypeCounters::Type t) { return Bot().Counters().counts[t]; }

  std::chrono::steady_clock::time_point clock_now{};

 private:
  int syncs_ = 0;
};

TEST_F(RosterTest, LimitsPerProductKickOnlyWhileOperator) {
  Start("[Restrictions]\r\nNumSC=1\r\nNumBots=0\r\n");
  // Not an operator: counted, never kicked.
  Play("1001 USER acct 0010 [CHAT]\r\n1002 JOIN sc1 0000 [STAR]\r\n1002 JOIN sc2 0000 [JSTR]\r\n"
       "1002 JOIN robot 0010 [CHAT]\r\n");
  EXPECT_FALSE(Bot().IsOperator());
  EXPECT_EQ(Counter(LoginTypeCounters::StarCraft), 2);
  EXPECT_EQ(Counter(LoginTypeCounters::Bots), 2);  // the bot itself counts as a bot login
  EXPECT_EQ(Count("/kick"), 0);

  Play("1009 USER acct 0012\r\n1002 JOIN sc3 0000 [STAR]\r\n1002 JOIN jp 0002 [JSTR]\r\n"
       "1002 JOIN bw 0000 [SEXP]\r\n1002 JOIN botty 0010 [CHAT]\r\n1002 JOIN opbot 0012 [CHAT]\r\n"
       "1002 JOIN squelched 0020 [STAR]\r\n1002 JOIN odd 0000 [XXXX]\r\n");
  EXPECT_TRUE(Bot().IsOperator());
  EXPECT_EQ(Count("/kick sc3 Max number of SC accounts reached.  Please try again later.\n"), 1);
  EXPECT_EQ(Count("/kick jp Max number of SC accounts reached.  Please try again later.\n"), 1);
  EXPECT_EQ(Count("/kick botty Max number of bot accounts reached.  Please try again later.\n"), 1);
  EXPECT_EQ(Count("/kick opbot Max number of bot accounts reached.  Please try again later.\n"), 1);
  EXPECT_EQ(Count("/kick"), 4);  // bw has no limit, squelched counts nowhere, odd has no known tag
  EXPECT_TRUE(display.contains("Error #003: Unknown Login Type = [XXXX] - please notify bot progammers"));
  EXPECT_EQ(Counter(LoginTypeCounters::StarCraft), 4);
  EXPECT_EQ(Counter(LoginTypeCounters::BroodWar), 1);

  // A leave takes back what the arrival counted, whatever flags it carries:
  // an operator's leave (flags 0x02) lowers the StarCraft counter, not the bots'.
  Play("1003 LEAVE jp 0002\r\n1003 LEAVE sc3 0000\r\n1003 LEAVE squelched 0020\r\n1003 LEAVE opbot 0012\r\n"
       "1003 LEAVE sc2 0000\r\n");
  EXPECT_EQ(Counter(LoginTypeCounters::StarCraft), 1);
  EXPECT_EQ(Counter(LoginTypeCounters::Bots), 3);
  Play("1002 JOIN sc4 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/kick sc4"), 1);  // sc1 is still there
  Play("1003 LEAVE sc4 0000\r\n1003 LEAVE sc1 0000\r\n1002 JOIN sc5 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/kick sc5"), 0);
  EXPECT_EQ(Counter(LoginTypeCounters::StarCraft), 1);

  // Unknown tags on a listed user and on a leave are reported, nothing counted.
  Play("1001 USER other 0000 [ABCD]\r\n1003 LEAVE odd 0000\r\n");
  EXPECT_TRUE(display.contains("DEBUG INFO: Login Type = [ABCD]"));
  EXPECT_TRUE(display.contains("DEBUG INFO: Login Type = [XXXX]"));
  EXPECT_EQ(Shown("DEBUG INFO: Please notify vemmo (maker of the bot) of this message"), 2);

  // Channel entry starts the counts again.
  Play("1007 CHANNEL \"Home\"\r\n");
  EXPECT_EQ(Counter(LoginTypeCounters::StarCraft), 0);
  EXPECT_EQ(Counter(LoginTypeCounters::Bots), 0);
}

TEST_F(RosterTest, LimitsFollowReloadAndShownUsersAreNeverKicked) {
  Start("[Restrictions]\r\nNumDiablo=0\r\n");
  Play("1001 USER acct 0012 [CHAT]\r\n1001 USER d1 0000 [DRTL]\r\n1002 JOIN d2 0000 [DRTL]\r\n");
  EXPECT_EQ(Count("/kick d1"), 0);  // users already there when the bot came are only counted
  EXPECT_EQ(Count("/kick d2 Max number of Diablo accounts reached.  Please try again later.\n"), 1);

  WriteBotIni("[Restrictions]\r\nNumDiablo=-1\r\nNumWC=0\r\nNumDiabloSW=0\r\nNumSCSware=0\r\n");
  doc->ReloadBotIni();
  Play("1002 JOIN d3 0000 [DRTL]\r\n1002 JOIN wc 0000 [W2BN]\r\n1002 JOIN ds 0000 [DSHR]\r\n1002 JOIN ss 0000 [SSHR]\r\n");
  EXPECT_EQ(Count("/kick d3"), 0);
  EXPECT_EQ(Count("/kick wc Max number of Warcraft2 accounts reached.  Please try again later.\n"), 1);
  EXPECT_EQ(Count("/kick ds Max number of Diablo SW accounts reached.  Please try again later.\n"), 1);
  EXPECT_EQ(Count("/kick ss Max number of Starcraft Shareware accounts reached.  Please try again later.\n"), 1);
}

TEST_F(RosterTest, AutoBanWinsOverAutoKickAndTellsAboutThePassword) {
  Start("[Security]\r\nChannelPassword=letmein\r\n", "[Level1]\r\nfriend\r\n");
  Play("1001 USER acct 0012 [CHAT]\r\n");
  Bot().SetAutoKick(true);
  Bot().SetAutoBan(true);
  Play("1002 JOIN stranger 0000 [STAR]\r\n1002 JOIN friend 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/ban stranger AutoBan\n"), 1);
  EXPECT_EQ(Count("/msg stranger " + std::string(kPrivateWhisper)), 1);
  EXPECT_EQ(Count("/kick"), 0);
  EXPECT_EQ(Count("friend"), 0);  // listed users are left alone

  // The ban line comes before the whisper.
  const std::string all = gateway.received();
  EXPECT_LT(all.find("/ban stranger AutoBan\n"), all.find("/msg stranger"));

  Bot().SetAutoBan(false);
  Play("1002 JOIN joe 0000 [SEXP]\r\n");
  EXPECT_EQ(Count("/kick joe AutoKick\n"), 1);
  EXPECT_EQ(Count("/msg joe " + std::string(kPrivateWhisper)), 1);

  // Losing operator status turns both switches off; nothing happens without it.
  Bot().SetAutoBan(true);
  Play("1009 USER acct 0010\r\n1002 JOIN late 0000 [STAR]\r\n");
  EXPECT_FALSE(Bot().AutoKick());
  EXPECT_FALSE(Bot().AutoBan());
  EXPECT_EQ(Count("late"), 0);
}

TEST_F(RosterTest, LinesWithoutANameAreIgnored) {
  Start("[Restrictions]\r\nNumBots=0\r\n[AutoGreet]\r\n*=Welcome\r\n");
  Play("1001 USER acct 0012 [CHAT]\r\n");
  Bot().SetAutoBan(true);
  // Not "/ban  AutoBan" (which would ban a user named AutoBan) nor a kick of "Max".
  Play("1002 JOIN\r\n1001 USER\r\n1009 USER\r\n1003 LEAVE\r\n");
  EXPECT_EQ(Count("/ban"), 0);
  EXPECT_EQ(Count("/kick"), 0);
  EXPECT_EQ(Count("Welcome"), 0);
  EXPECT_EQ(Bot().Users().userCount(), 1);
  EXPECT_EQ(Bot().LastSeen().size(), 0u);
}

TEST_F(RosterTest, NoPrivateModeWhisperWithoutAChannelPassword) {
  Start("");
  Play("1001 USER acct 0002 [STAR]\r\n");
  Bot().SetAutoKick(true);
  Play("1002 JOIN joe 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/kick joe AutoKick\n"), 1);
  EXPECT_EQ(Count("/msg"), 0);
}

TEST_F(RosterTest, AutobanListWinsOverTheUserLevel) {
  Start("[Security]\r\nChannelPassword=letmein\r\n", "[Level9]\r\nboss\r\n", "someone\r\nBOSS\r\n");
  Play("1001 USER acct 0010 [CHAT]\r\n1002 JOIN boss 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/ban"), 0);  // not an operator

  Play("1003 LEAVE boss 0000\r\n1009 USER acct 0012\r\n1002 JOIN boss 0000 [STAR]\r\n1002 JOIN other 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/ban boss You are auto-banned from this channel!\n"), 1);
  EXPECT_EQ(Count("/msg boss"), 0);  // no private-mode whisper after a list ban
  EXPECT_EQ(Count("/ban"), 1);
}

TEST_F(RosterTest, HeirsAreDesignatedInPriorityOrder) {
  Start("[AutoDesignate]\r\nDesignate0=alice\r\nDesignate1=acct\r\nDesignate3=bob\r\n");
  EXPECT_EQ(Bot().OwnFlags(), -1);
  Play("1001 USER ACCT 0012 [CHAT]\r\n");
  EXPECT_EQ(Bot().OwnFlags(), 0x12);
  EXPECT_EQ(Count("/Designate"), 0);

  Play("1002 JOIN bob 0000 [STAR]\r\n");
  EXPECT_EQ(Bot().Heirs().designated, 3);
  EXPECT_EQ(Count("/Designate"), 0);  // not before the pause
  EXPECT_EQ(Bot().Pending().front(), nullptr);
  PassDesignatePause();
  EXPECT_EQ(Count("/Designate bob\n"), 1);
  ASSERT_NE(Bot().Pending().front(), nullptr);
  EXPECT_EQ(Bot().Pending().front()->text, "bob");
  EXPECT_EQ(Bot().Pending().front()->kind, kPendingDesignate);
  EXPECT_EQ(Bot().Pending().front()->mode, kDesignateTellHeir);

  Play("1002 JOIN Alice 0000 [STAR]\r\n1002 JOIN carl 0000 [STAR]\r\n");
  PassDesignatePause();
  EXPECT_EQ(Count("/Designate alice\n"), 1);
  EXPECT_EQ(Count("/Designate"), 2);  // carl is no heir
  EXPECT_EQ(Bot().Heirs().designated, 0);

  // The server confirms both; alice leaves, so bob (still here) is designated again.
  Play("1018 INFO \"bob is your new designated heir.\"\r\n1018 INFO \"alice is your new designated heir.\"\r\n");
  EXPECT_EQ(Bot().Heirs().designatedName, "alice");
  Play("1003 LEAVE alice 0000\r\n");
  EXPECT_EQ(Bot().Heirs().designatedName, "");
  PassDesignatePause();
  EXPECT_EQ(Count("/Designate bob\n"), 2);
  EXPECT_EQ(Bot().Heirs().designated, 3);

  // Without operator status nothing is designated; regaining it designates the best heir.
  Play("1009 USER acct 0010\r\n1002 JOIN alice 0000 [STAR]\r\n");
  EXPECT_EQ(Bot().Heirs().designated, HeirTable::kNone);
  PassDesignatePause();
  EXPECT_EQ(Count("/Designate"), 3);
  Play("1009 USER acct 0012\r\n");
  PassDesignatePause();
  EXPECT_EQ(Count("/Designate alice\n"), 2);
  EXPECT_FALSE(Bot().Heirs().present[1]);  // the bot is never its own heir
}

TEST_F(RosterTest, HeirJoinsDoNotWaitAndDesignationsKeepTheirOrder) {
  std::string ini = "[AutoDesignate]\r\n";
  for (int i = 0; i < 10; ++i) ini += "Designate" + std::to_string(i) + "=heir" + std::to_string(i) + "\r\n";
  Start(ini);
  Play("1001 USER acct 0012 [CHAT]\r\n");
  // Twenty joins: heirs from the lowest priority up, so each one is designated, and guests between them.
  std::string joins;
  for (int i = 9; i >= 0; --i)
    joins += "1002 JOIN heir" + std::to_string(i) + " 0000 [STAR]\r\n1002 JOIN guest" + std::to_string(i) +
             " 0000 [STAR]\r\n";
  Play(joins);
  EXPECT_EQ(Bot().Users().userCount(), 21);
  EXPECT_EQ(Bot().DesignationsWaiting(), 10u);
  EXPECT_EQ(Count("/Designate"), 0);
  EXPECT_TRUE(Bot().Pending().isEmpty());

  clock_now += ChatBot::kDesignatePause - 1ms;
  doc->OnFastTick();
  Play("");
  EXPECT_EQ(Count("/Designate"), 0);
  PassDesignatePause();
  std::vector<std::string> sent;
  for (const std::string& line : gateway.receivedLines())
    if (line.rfind("/Designate ", 0) == 0) sent.push_back(line);
  std::vector<std::string> decided;
  for (int i = 9; i >= 0; --i) decided.push_back("/Designate heir" + std::to_string(i));
  EXPECT_EQ(sent, decided);
  // One pending entry per line, in the order the server will answer them.
  ASSERT_EQ(Bot().Pending().size(), 10u);
  for (int i = 9; i >= 0; --i) {
    EXPECT_EQ(Bot().Pending().front()->text, "heir" + std::to_string(i));
    Bot().Pending().pop();
  }

  // A designation still waiting when operator status is lost is dropped.
  Play("1009 USER acct 0010\r\n1009 USER acct 0012\r\n");
  EXPECT_EQ(Bot().DesignationsWaiting(), 1u);
  Play("1009 USER acct 0010\r\n");
  PassDesignatePause();
  EXPECT_EQ(Count("/Designate"), 10);
  EXPECT_TRUE(Bot().Pending().isEmpty());
}

TEST_F(RosterTest, ALongProductTextSoundsTheBeep) {
  Start("");
  Play("1001 USER shown 0000 [STAR]\r\n1002 JOIN plain 0000 [SEXP]\r\n");
  EXPECT_EQ(host.beeps, 0);
  Play("1002 JOIN odd 0000 [SEXP]extra\r\n1001 USER other 0000 [DRTL]more\r\n");
  EXPECT_EQ(host.beeps, 2);
  EXPECT_EQ(Bot().Users().row(Bot().Users().findUser("odd")).product, "[SEXP]");
}

TEST_F(RosterTest, AFullUserListLeavesNewcomersOutUncountedAndSaysSoOnce) {
  Start("");
  const int listed = Bot().Users().userCount();
  std::string joins;
  for (int i = listed; i < UserList::kMaxUsers + 3; ++i) joins += "1002 JOIN flood" + std::to_string(i) + " 0000 [STAR]\r\n";
  Play(joins);
  EXPECT_EQ(Bot().Users().userCount(), UserList::kMaxUsers);
  EXPECT_GE(Bot().Users().findUser(("flood" + std::to_string(UserList::kMaxUsers - 1)).c_str()), 0);
  EXPECT_LT(Bot().Users().findUser(("flood" + std::to_string(UserList::kMaxUsers)).c_str()), 0);
  EXPECT_EQ(Counter(LoginTypeCounters::StarCraft), UserList::kMaxUsers - listed);
  EXPECT_EQ(Shown("The user list is full (1000 users)"), 1);

  // A leave makes room again; the report is not repeated in the same channel.
  Play("1003 LEAVE flood" + std::to_string(listed) + " 0000\r\n1002 JOIN late 0000 [STAR]\r\n1002 JOIN later 0000 [STAR]\r\n");
  EXPECT_GE(Bot().Users().findUser("late"), 0);
  EXPECT_LT(Bot().Users().findUser("later"), 0);
  EXPECT_EQ(Shown("The user list is full"), 1);
}

TEST_F(RosterTest, RejoinsWhenLeftAloneWithoutOperatorStatus) {
  Start("");
  Play("1001 USER acct 0010 [CHAT]\r\n1001 USER bob 0000 [STAR]\r\n1001 USER carl 0000 [STAR]\r\n"
       "1003 LEAVE carl 0000\r\n");
  EXPECT_EQ(Count("/rejoin"), 0);  // bob is still here
  Play("1003 LEAVE bob 0000\r\n");
  EXPECT_EQ(Count("/rejoin\n"), 1);  // at once
  EXPECT_FALSE(Bot().RejoinCounting());

  // An operator's leave starts the countdown: the 91st tick of the fast timer rejoins.
  Play("1001 USER opguy 0002 [STAR]\r\n1003 LEAVE opguy 0002\r\n");
  EXPECT_TRUE(Bot().RejoinCounting());
  for (int i = 0; i < 90; ++i) doc->OnFastTick();
  Play("");
  EXPECT_EQ(Bot().RejoinTicks(), 90);
  EXPECT_EQ(Count("/rejoin\n"), 1);
  doc->OnFastTick();
  Play("");
  EXPECT_EQ(Count("/rejoin\n"), 2);
  EXPECT_FALSE(Bot().RejoinCounting());

  // Operator status gained during the countdown cancels it.
  Play("1001 USER op2 0002 [STAR]\r\n1003 LEAVE op2 0002\r\n");
  for (int i = 0; i < 50; ++i) doc->OnFastTick();
  Play("1009 USER acct 0012\r\n");
  EXPECT_FALSE(Bot().RejoinCounting());
  EXPECT_EQ(Bot().RejoinTicks(), 0);
  for (int i = 0; i < 100; ++i) doc->OnFastTick();
  Play("1001 USER dave 0000 [STAR]\r\n1003 LEAVE dave 0000\r\n");  // an operator is not alone
  EXPECT_EQ(Count("/rejoin\n"), 2);
}

TEST_F(RosterTest, RecentLeaversAreNotGreetedForAQuarterHour) {
  Start("[AutoGreet]\r\n*=Welcome to Home\r\n[AutoPart]\r\nbob=Bye bob\r\n");
  Play("1002 JOIN bob 0000 [STAR]\r\n");
  EXPECT_EQ(Count("Welcome to Home\n"), 1);
  EXPECT_EQ(Shown("Name not found"), 1);  // the aliases of a new face

  Play("1003 LEAVE bob 0000\r\n");
  EXPECT_EQ(Count("Bye bob\n"), 1);
  ASSERT_NE(Bot().LastSeen().find("BOB"), nullptr);
  EXPECT_TRUE(std::regex_match(Bot().LastSeen().find("bob")->time, std::regex("\\d\\d:\\d\\d:\\d\\d")));

  Play("1002 JOIN BOB 0000 [STAR]\r\n");
  EXPECT_EQ(Count("Welcome to Home\n"), 1);
  EXPECT_EQ(Shown("Name not found"), 1);
  EXPECT_EQ(Bot().LastSeen().find("bob"), nullptr);  // back in the channel
  Play("1003 LEAVE bob 0000\r\n");
  EXPECT_EQ(Count("Bye bob\n"), 2);  // goodbyes are said all the same

  for (int i = 0; i < 14; ++i) doc->OnMinuteTick();
  Play("1002 JOIN bob 0000 [STAR]\r\n1003 LEAVE bob 0000\r\n");
  EXPECT_EQ(Count("Welcome to Home\n"), 1);
  EXPECT_EQ(Count("Bye bob\n"), 3);
  doc->OnMinuteTick();
  Play("1002 JOIN bob 0000 [STAR]\r\n");
  EXPECT_EQ(Count("Welcome to Home\n"), 2);
  EXPECT_EQ(Shown("Name not found"), 2);

  // The auto-responder switch silences greetings and goodbyes.
  doc->GetToggles().AutoRespond.state = false;
  Play("1002 JOIN carl 0000 [STAR]\r\n1003 LEAVE bob 0000\r\n");
  EXPECT_EQ(Count("Welcome to Home\n"), 2);
  EXPECT_EQ(Count("Bye bob\n"), 3);
}

TEST_F(RosterTest, GreetingWhoseKeyIsGoneSendsNoEmptyLine) {
  Start("[AutoGreet]\r\nbob=Hi bob\r\n[AutoPart]\r\nbob=Bye bob\r\n");
  // Edited by hand after the load: the names stay, the texts are read afresh.
  WriteBotIni("[AutoGreet]\r\nbob=Hello again\r\n");
  Play("1002 JOIN bob 0000 [STAR]\r\n1003 LEAVE bob 0000\r\n");
  EXPECT_EQ(Count("Hello again\n"), 1);
  EXPECT_EQ(Count("Bye"), 0);
  EXPECT_EQ(Count("\n\n"), 0);
}

TEST_F(RosterTest, LastSeenKeepsTheFiftyNewestLeavers) {
  Start("[Toggles]\r\nViewEnterLeave=1\r\n");
  std::string lines;
  for (int i = 0; i <= 50; ++i) lines += "1003 LEAVE user" + std::to_string(i) + " 0000\r\n";
  lines += "1003 LEAVE averyveryverylongname 0000\r\n";
  Play(lines);
  const LastSeenList& seen = Bot().LastSeen();
  ASSERT_EQ(seen.size(), 50u);
  EXPECT_EQ(seen.find("user0"), nullptr);
  EXPECT_EQ(seen.find("user1"), nullptr);
  EXPECT_EQ(seen.records().front().name, "user2");
  EXPECT_EQ(seen.records().back().name, "averyveryverylon");  // 16 characters
  EXPECT_TRUE(display.contains("user50 has left the channel"));

  // Users back in the channel leave the list, long names too; entering a channel empties it.
  Play("1002 JOIN user2 0000 [STAR]\r\n1002 JOIN averyveryverylongname 0000 [STAR]\r\n");
  EXPECT_TRUE(display.contains("user2 has joined the channel"));
  EXPECT_EQ(seen.size(), 48u);
  EXPECT_EQ(seen.find("averyveryverylongname"), nullptr);
  Play("1007 CHANNEL \"Home\"\r\n");
  EXPECT_EQ(seen.size(), 0u);
}

TEST_F(RosterTest, AccountLoggingAsksOneWhoisAtATime) {
  Start("[Toggles]\r\nIdLogging=1\r\nAutoViewAliases=0\r\n");
  Play("1002 JOIN robot 0010 [CHAT]\r\n1002 JOIN newguy 0000 [STAR]\r\n1002 JOIN second 0000 [STAR]\r\n");
  EXPECT_EQ(Count("/whois newguy\n"), 1);
  EXPECT_EQ(Count("/whois"), 1);  // bots are not asked about, and one query waits at a time
  EXPECT_TRUE(Bot().whois_pending);
  EXPECT_EQ(Bot().whois_name, "newguy");
  EXPECT_EQ(Shown("Name not found"), 0);

  Bot().whois_pending = false;
  ASSERT_EQ(Bot().Aliases().add("known", "42"), AliasAddResult::Added);
  Play("1002 JOIN known 0000 [STAR]\r\n1002 JOIN third 0012 [CHAT]\r\n");
  EXPECT_EQ(Count("/whois known"), 0);
  EXPECT_EQ(Count("/whois third\n"), 1);  // only flags of exactly 0x10 are skipped
}

TEST_F(RosterTest, ScriptHooksRunForShownJoiningAndLeavingUsers) {
  std::filesystem::create_directory(dir.path() / "scripts");
  dir.write("scripts/ev.tcl", "BnetSend \"ev $speaker <$action>\"\n");
  dir.write("script.ini",
            "[Events]\r\nOnShowUser=scripts/ev.tcl\r\nOnJoin=scripts/ev.tcl\r\nOnLeave=scripts/ev.tcl\r\n");
  Start("");
  Play("1001 USER bob 0000 [STAR]\r\n1002 JOIN carl 0000 [SEXP]\r\n1003 LEAVE carl 0000 \"gone\"\r\n");
  EXPECT_EQ(Count("ev bob <[STAR]>\n"), 1);
  EXPECT_EQ(Count("ev carl <[SEXP]>\n"), 1);
  EXPECT_EQ(Count("ev carl <gone>\n"), 1);
  EXPECT_TRUE(display.contains("Script: OnShowUser"));
  EXPECT_TRUE(display.contains("Script: OnJoin"));
  EXPECT_TRUE(display.contains("Script: OnLeave"));

  doc->GetToggles().AutoRespond.state = false;
  Play("1002 JOIN dave 0000 [STAR]\r\n");
  EXPECT_EQ(Count("ev dave"), 0);
}

// ---- The roster's lists on their own ----

TEST(LastSeenListTest, WhisperTimesAreKeptWhole) {
  LastSeenList seen;
  seen.append("whisperer", "(12:34:56)");
  ASSERT_NE(seen.find("WHISPERER"), nullptr);
  EXPECT_EQ(seen.find("whisperer")->time, "(12:34:56)");
  seen.append("whisperer", "12:00:00");
  EXPECT_EQ(seen.find("whisperer")->time, "(12:34:56)");  // the first record answers
  EXPECT_TRUE(seen.remove("Whisperer"));
  EXPECT_EQ(seen.find("whisperer")->time, "12:00:00");
  EXPECT_TRUE(seen.remove("whisperer"));
  EXPECT_FALSE(seen.remove("whisperer"));
}

TEST(RecentLeaversTest, NamesStayFourteenToFifteenMinutes) {
  RecentLeavers leavers;
  leavers.add("early");
  leavers.advance();
  leavers.add("Late");
  for (int i = 0; i < 13; ++i) leavers.advance();
  EXPECT_TRUE(leavers.contains("EARLY"));
  leavers.advance();  // the 15th minute empties the first bucket again
  EXPECT_FALSE(leavers.contains("early"));
  EXPECT_TRUE(leavers.contains("late"));
  leavers.advance();
  EXPECT_FALSE(leavers.contains("late"));
}

TEST(RecentLeaversTest, ANameInTwoBucketsStaysUntilTheLaterOneIsEmptied) {
  RecentLeavers leavers;
  leavers.add("twice");
  leavers.advance();
  leavers.add("TWICE");
  for (int i = 0; i < 14; ++i) leavers.advance();  // the first bucket is emptied
  EXPECT_TRUE(leavers.contains("twice"));
  leavers.advance();
  EXPECT_FALSE(leavers.contains("Twice"));
}

TEST(RecentLeaversTest, AtCapacityTheOldestNamesGoFirst) {
  RecentLeavers leavers;
  leavers.add("oldest");
  leavers.advance();
  leavers.add("second");
  for (size_t i = 2; i < RecentLeavers::kCapacity; ++i) leavers.add(("flood" + std::to_string(i)).c_str());
  EXPECT_EQ(leavers.size(), RecentLeavers::kCapacity);
  EXPECT_TRUE(leavers.contains("oldest"));  // exactly full keeps everyone

  leavers.add("newest");  // one past: the oldest entry of the oldest bucket goes
  EXPECT_EQ(leavers.size(), RecentLeavers::kCapacity);
  EXPECT_FALSE(leavers.contains("oldest"));
  EXPECT_TRUE(leavers.contains("second"));
  EXPECT_TRUE(leavers.contains("newest"));
  leavers.add("newer still");
  EXPECT_FALSE(leavers.contains("second"));
}

TEST(RecentLeaversTest, ANameDroppedOnceStaysWhileALaterEntryHoldsIt) {
  RecentLeavers leavers;
  leavers.add("twice");
  for (size_t i = 1; i < RecentLeavers::kCapacity - 1; ++i) leavers.add(("flood" + std::to_string(i)).c_str());
  leavers.add("TWICE");
  leavers.add("past");  // drops the first "twice"
  EXPECT_TRUE(leavers.contains("twice"));
  EXPECT_FALSE(leavers.contains("flood0"));
}

TEST(RecentLeaversTest, AFullRingEmptiesMinuteByMinute) {
  RecentLeavers leavers;
  for (size_t i = 0; i < 3 * RecentLeavers::kCapacity; ++i) {
    leavers.add(("flood" + std::to_string(i)).c_str());
    if (i % 1000 == 999) leavers.advance();
  }
  EXPECT_EQ(leavers.size(), RecentLeavers::kCapacity);
  for (int i = 0; i < RecentLeavers::kBuckets; ++i) leavers.advance();
  EXPECT_EQ(leavers.size(), 0u);
  EXPECT_FALSE(leavers.contains(("flood" + std::to_string(3 * RecentLeavers::kCapacity - 1)).c_str()));
}

TEST(LoginTypeCountersTest, TagsAndRecounting) {
  EXPECT_EQ(LoginTypeCounters::TypeOfTag("[star]"), -1);  // exact case
  EXPECT_EQ(LoginTypeCounters::TypeOfTag("[STAR]x"), -1);

  LoginTypeCounters c;
  EXPECT_EQ(c.add("bob", LoginTypeCounters::Diablo), 1);
  // Listed again without a leave: moved, not counted twice.
  EXPECT_EQ(c.add("BOB", LoginTypeCounters::WarCraft2), 1);
  EXPECT_EQ(c.counts[LoginTypeCounters::Diablo], 0);
  EXPECT_EQ(c.typeOf("bob"), LoginTypeCounters::WarCraft2);
  EXPECT_TRUE(c.remove("Bob"));
  EXPECT_FALSE(c.remove("bob"));
  EXPECT_EQ(c.counts[LoginTypeCounters::WarCraft2], 0);
}

}  // namespace
}  // namespace tolvik
