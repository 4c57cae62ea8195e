// The bot's own protection of the channel: flood and repeat detection, the
// rules of protect.lst, the escalation (warning, kick, timed ban), timed bans
// kept across restarts, and the moderation record with its rotation. The
// session cases run against the scripted gateway; what they check is what
// reaches the wire.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "bot/flood_guard.h"
#include "bot/moderation_record.h"
#include "bot/protect_rules.h"
#include "bot/temp_bans.h"
#include "cli_process.h"
#include "support/session_fixture.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;
using Wall = std::chrono::system_clock;
using testing::TempDir;

// ---- Flood and repeats, line by line ----------------------------------------

TEST(FloodGuardTest, FloodFiresOneLinePastTheLimitWithinTheWindow) {
  FloodGuard guard;
  guard.Configure(true, 5, 6, false, 3);
  const Steady::time_point t0{};
  // Five lines in six seconds is allowed, however fast.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(guard.OnLine("ann", "line " + std::to_string(i), t0 + i * 100ms), FloodGuard::Verdict::None);
  // The sixth within six seconds of the first is one too many.
  EXPECT_EQ(guard.OnLine("ANN", "more", t0 + 5999ms), FloodGuard::Verdict::Flood);
  // Counting starts over after a verdict.
  for (int i = 0; i < 5; ++i) EXPECT_EQ(guard.OnLine("ann", "x", t0 + 6s + i * 10ms), FloodGuard::Verdict::None);

  // Six lines spread so that the window never holds more than five.
  FloodGuard slow;
  slow.Configure(true, 5, 6, false, 3);
  for (int i = 0; i < 12; ++i)
    EXPECT_EQ(slow.OnLine("bob", "l", t0 + i * 1200ms), FloodGuard::Verdict::None) << i;
  // Other users have counts of their own.
  FloodGuard two;
  two.Configure(true, 2, 6, false, 3);
  EXPECT_EQ(two.OnLine("a", "1", t0), FloodGuard::Verdict::None);
  EXPECT_EQ(two.OnLine("b", "1", t0), FloodGuard::Verdict::None);
  EXPECT_EQ(two.OnLine("a", "2", t0), FloodGuard::Verdict::None);
  EXPECT_EQ(two.OnLine("a", "3", t0), FloodGuard::Verdict::Flood);
}

TEST(FloodGuardTest, RepeatsCountIgnoringCaseAndBlanksWithinAMinute) {
  FloodGuard guard;
  guard.Configure(false, 5, 6, true, 3);
  const Steady::time_point t0{};
  EXPECT_EQ(guard.OnLine("ann", "CHEAP minerals", t0), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("ann", "cheap   MINERALS ", t0 + 1s), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("ann", " Cheap Minerals", t0 + 2s), FloodGuard::Verdict::Repeat);
  // Another line between breaks the run.
  EXPECT_EQ(guard.OnLine("ann", "a", t0 + 3s), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("ann", "a", t0 + 4s), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("ann", "b", t0 + 5s), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("ann", "a", t0 + 6s), FloodGuard::Verdict::None);
  // The third repeat more than a minute after the first of the run is no repeat.
  EXPECT_EQ(guard.OnLine("bob", "x", t0), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("bob", "x", t0 + 30s), FloodGuard::Verdict::None);
  EXPECT_EQ(guard.OnLine("bob", "x", t0 + 61s), FloodGuard::Verdict::None);
  // "ab" and "a b" are different lines.
  EXPECT_NE(FloodGuard::LineHash("ab"), FloodGuard::LineHash("a b"));
  // State is only kept for users present.
  EXPECT_EQ(guard.Users(), 2u);
  guard.Forget("ANN");
  EXPECT_EQ(guard.Users(), 1u);
}

// ---- protect.lst ------------------------------------------------------------

TEST(ProtectRulesTest, EachPatternKindAndTheFirstMatchingRuleActs) {
  ProtectRules rules;
  auto problems = rules.Parse(
      "# comment\n"
      "\n"
      "*cheap minerals*\tkick\tselling\n"
      "free gold\twarn\n"
      "gg?\tban\n"
      "/VISIT\\s+www\\./\ttempban:30\tads\n"
      "/buy\\s+now/i\tkick\n"
      "*minerals*\tban\n");
  EXPECT_TRUE(problems.empty());
  ASSERT_EQ(rules.size(), 6u);
  auto hit = [&](const char* line) -> std::string {
    const ProtectRule* r = rules.Match(line);
    return r == nullptr ? "-" : r->Name() + " " + r->ActionText();
  };
  // Wildcards match the whole line ignoring case.
  EXPECT_EQ(hit("Buy CHEAP MINERALS here"), "protect.lst:3 kick");  // first of two matching rules
  EXPECT_EQ(hit("FREE GOLD"), "protect.lst:4 warn");
  EXPECT_EQ(hit("free gold now"), "-");
  EXPECT_EQ(hit("ggs"), "protect.lst:5 ban");
  EXPECT_EQ(hit("gg"), "-");
  EXPECT_EQ(hit("some minerals"), "protect.lst:8 ban");
  // Regular expressions are searched; case counts unless /i.
  EXPECT_EQ(hit("please VISIT   www.example"), "protect.lst:6 tempban:30");
  EXPECT_EQ(hit("please visit www.example"), "-");
  EXPECT_EQ(hit("so BUY  NOW!"), "protect.lst:7 kick");
  // Wildcards do not treat regex characters specially.
  ProtectRules literal;
  literal.Parse("a.c (x)\twarn\n");
  EXPECT_NE(literal.Match("A.C (X)"), nullptr);
  EXPECT_EQ(literal.Match("abc (x)"), nullptr);
}

TEST(ProtectRulesTest, BadLinesAreReportedWithTheirNumberAndSkipped) {
  ProtectRules rules;
  auto problems = rules.Parse("/(unclosed/\tkick\nok\tkick\nnoaction\nx\tslap\ny\ttempban:0\nz\tban\treason\n");
  ASSERT_EQ(problems.size(), 4u);
  EXPECT_EQ(problems[0].line, 1);
  EXPECT_NE(problems[0].message.find("compile"), std::string::npos);
  EXPECT_EQ(problems[1].line, 3);
  EXPECT_EQ(problems[2].line, 4);
  EXPECT_EQ(problems[3].line, 5);
  ASSERT_EQ(rules.size(), 2u);
  EXPECT_EQ(rules.Match("OK")->line, 2);
  EXPECT_EQ(rules.Match("z")->reason, "reason");
}

TEST(ProtectRulesTest, PathologicalExpressionsMatchInLinearTime) {
  ProtectRules rules;
  // Backtracking engines take exponential time on these with a line of a's
  // that does not end as they want; the set answers at once.
  ASSERT_TRUE(rules.Parse("/(a+)+$x/\tkick\n/(a|aa)*c/\tkick\n/(x+x+)+y/\tkick\n").empty());
  const std::string line(100000, 'a');
  EXPECT_EQ(rules.Match(line), nullptr);
  EXPECT_EQ(rules.Match(std::string(5000, 'x')), nullptr);
  EXPECT_NE(rules.Match(std::string(5000, 'x') + "y"), nullptr);
}

TEST(ProtectRulesTest, AChangedFileIsReadAgain) {
  TempDir dir;
  dir.write("protect.lst", "spam\tkick\n");
  ProtectRules rules;
  const Steady::time_point t0 = Steady::now();
  EXPECT_TRUE(rules.Refresh(dir.file("protect.lst"), nullptr, t0));
  EXPECT_NE(rules.Match("SPAM"), nullptr);
  // Unchanged: not read again.
  EXPECT_FALSE(rules.Refresh(dir.file("protect.lst"), nullptr, t0 + 10s));
  dir.write("protect.lst", "eggs\tkick\n/(bad/\twarn\n");
  // Within the look interval nothing is looked at.
  EXPECT_FALSE(rules.Refresh(dir.file("protect.lst"), nullptr, t0 + 11s));
  std::vector<RuleProblem> problems;
  EXPECT_TRUE(rules.Refresh(dir.file("protect.lst"), &problems, t0 + 20s));
  EXPECT_EQ(rules.Match("spam"), nullptr);
  EXPECT_NE(rules.Match("eggs"), nullptr);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].line, 2);
}

// ---- The record ---------------------------------------------------------------

TEST(ModerationRecordTest, LinesAnswersAndRotation) {
  TempDir dir;
  Wall::time_point now = Wall::from_time_t(1796680265);  // 2026-12-07T21:51:05Z
  {
    ModerationRecord record(dir.path().string());
    record.SetClock([&] { return now; });
    record.Write("flood", "warn", "ann", "flooding\tfast", "sent");
    record.Await("bob", "kick", "carl", "spam");
    record.Await("bob", "tempban", "dave", "ads");
    record.Await("bob", "ban", "erin", "");
    EXPECT_FALSE(record.Answer("kick", "nobody", true));
    EXPECT_TRUE(record.Answer("ban", "DAVE", true));  // a ban's answer closes a timed ban
    EXPECT_TRUE(record.Answer("kick", "carl", false));
    EXPECT_EQ(record.Awaiting(), 1u);
    now += ModerationRecord::kAnswerTime;
    record.ExpireAwaiting();
    EXPECT_EQ(record.Awaiting(), 0u);
  }
  EXPECT_EQ(dir.read("moderation.log"),
            "2026-12-07T21:51:05Z\tflood\twarn\tann\tflooding fast\tsent\n"
            "2026-12-07T21:51:05Z\tbob\ttempban\tdave\tads\tconfirmed\n"
            "2026-12-07T21:51:05Z\tbob\tkick\tcarl\tspam\trefused\n"
            "2026-12-07T21:51:05Z\tbob\tban\terin\t\tunanswered\n");
  auto last = ReadModerationRecord(dir.path().string(), 2);
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[0].target, "carl");
  EXPECT_EQ(last[1].result, "unanswered");

  // Past 1 MiB the file moves aside; five files at most are kept.
  TempDir big;
  ModerationRecord record(big.path().string());
  record.SetClock([&] { return now; });
  const std::string reason(1000, 'r');
  const size_t line_size = FormatModerationLine({now, "a", "warn", "t0000000", reason, "sent"}).size();
  const size_t per_file = ModerationRecord::kRotateBytes / line_size;
  for (size_t i = 0; i < per_file; ++i) {
    char target[16];
    std::snprintf(target, sizeof target, "t%07zu", i);
    ASSERT_TRUE(record.Write("a", "warn", target, reason, "sent"));
  }
  EXPECT_FALSE(big.exists("moderation.log.1"));  // exactly at the limit
  ASSERT_TRUE(record.Write("a", "warn", "t9999999", reason, "sent"));
  EXPECT_TRUE(big.exists("moderation.log.1"));  // one past it
  EXPECT_EQ(std::filesystem::file_size(big.file("moderation.log")), line_size);
  for (size_t i = 0; i < 5 * per_file; ++i) ASSERT_TRUE(record.Write("a", "warn", "t1111111", reason, "sent"));
  EXPECT_TRUE(big.exists("moderation.log.4"));
  EXPECT_FALSE(big.exists("moderation.log.5"));
  for (const auto& entry : std::filesystem::directory_iterator(big.path()))
    EXPECT_LE(entry.file_size(), ModerationRecord::kRotateBytes) << entry.path();
  // The newest lines are read back across the files, oldest first.
  auto across = ReadModerationRecord(big.path().string(), per_file + 3);
  ASSERT_EQ(across.size(), per_file + 3);
  EXPECT_EQ(across.back().target, "t1111111");
}

// ---- In a session --------------------------------------------------------------

class ProtectionSession : public testing::SessionTest {
 protected:
  // The bot's clocks read this fixture's members: the document (which may
  // still record at its close) goes while they are there.
  ~ProtectionSession() override { doc.reset(); }

  void Start(const std::string& protection, const std::string& users = "", const std::string& extra = "") {
    WriteBotIni("[Protection]\r\n" + protection + extra);
    if (!users.empty()) dir.write("users.lst", users);
    Open();
    Bot().Protect().SetClocks([this] { return steady_now; }, [this] { return wall_now; });
    LogIn();
    ASSERT_TRUE(WaitSent("/time\n"));
  }
  // Plays lines; returns once the bot handled them and all it queued went out.
  std::string Play(const std::string& lines) {
    const size_t start = gateway.received().size();
    const std::string mark = "[sync " + std::to_string(++syncs_) + "]";
    gateway.send(lines + "1018 INFO \"" + mark + "\"\r\n");
    EXPECT_TRUE(WaitShown(mark));
    Bot().Queue().Say("%s\n", mark.c_str());
    EXPECT_TRUE(WaitSent(mark + "\n"));
    const std::string all = gateway.received();
    return all.substr(start, all.find(mark + "\n", start) - start);
  }
  static std::string Talk(const std::string& who, const std::string& text, int times = 1) {
    std::string lines;
    for (int i = 0; i < times; ++i) lines += "1005 TALK " + who + " 0000 \"" + text + "\"\r\n";
    return lines;
  }
  void MakeOperator() { Play("1001 USER acct 0012 [CHAT]\r\n"); }
  ChatBot& Bot() { return doc->Bot(); }
  std::string Record() { return dir.exists("moderation.log") ? dir.read("moderation.log") : ""; }

  Steady::time_point steady_now = Steady::time_point{} + 1h;
  Wall::time_point wall_now = Wall::from_time_t(1796680265);

 private:
  int syncs_ = 0;
};

TEST_F(ProtectionSession, FloodEscalatesToKickAndToATimedBanOnReturn) {
  Start("Flood=1\r\nFloodLines=5\r\nFloodSeconds=6\r\nRepeat=0\r\nBanMinutes=30\r\n");
  MakeOperator();
  Play("1002 JOIN spam 0000 [STAR]\r\n");
  // Five lines: nothing. The sixth: a warning naming the rule.
  EXPECT_EQ(Play(Talk("spam", "a", 5)), "");
  EXPECT_EQ(Play(Talk("spam", "b")), "/msg spam Warning (flood): flooding (more than 5 lines in 6 seconds)\n");
  // The next flood: a kick.
  EXPECT_EQ(Play(Talk("spam", "c", 6)), "/kick spam flooding (more than 5 lines in 6 seconds)\n");
  Play("1018 INFO \"spam was kicked out of the channel by acct (flooding).\"\r\n1003 LEAVE spam 0000\r\n");
  EXPECT_EQ(Bot().Protect().Guard().Users(), 0u);  // nothing kept of a user gone
  // Back within the hour and flooding again: banned for BanMinutes.
  wall_now += 59min;
  Play("1002 JOIN spam 0000 [STAR]\r\n");
  EXPECT_EQ(Play(Talk("spam", "d", 6)), "/ban spam flooding (more than 5 lines in 6 seconds) (30 minutes)\n");
  Play("1018 INFO \"spam was banned by acct (flooding).\"\r\n");
  ASSERT_EQ(Bot().Protect().TimedBans().Bans().size(), 1u);
  EXPECT_EQ(Bot().Protect().TimedBans().Bans()[0].end, wall_now + 30min);
  const std::string record = Record();
  EXPECT_NE(record.find("\tflood\twarn\tspam\tflooding (more than 5 lines in 6 seconds)\tsent\n"), std::string::npos);
  EXPECT_NE(record.find("\tflood\tkick\tspam\tflooding (more than 5 lines in 6 seconds)\tconfirmed\n"), std::string::npos);
  EXPECT_NE(record.find("\tflood\ttempban\tspam\t"), std::string::npos);
  EXPECT_NE(record.find("(30 minutes)\tconfirmed\n"), std::string::npos);
}

TEST_F(ProtectionSession, AKickedUserBackAfterAnHourStartsWithAWarning) {
  Start("Flood=0\r\nRepeat=1\r\nRepeatLines=3\r\n");
  MakeOperator();
  Play("1002 JOIN rep 0000 [STAR]\r\n");
  EXPECT_EQ(Play(Talk("rep", "BUY", 2)), "");
  EXPECT_EQ(Play(Talk("rep", "buy")), "/msg rep Warning (repeat): repeating the same line\n");
  EXPECT_EQ(Play(Talk("rep", "buy", 3)), "/kick rep repeating the same line\n");
  Play("1003 LEAVE rep 0000\r\n");
  wall_now += 61min;
  Bot().OnMinuteTick();
  Play("1002 JOIN rep 0000 [STAR]\r\n");
  EXPECT_EQ(Play(Talk("rep", "x", 3)), "/msg rep Warning (repeat): repeating the same line\n");
}

TEST_F(ProtectionSession, ProtectedLevelsTheBotItselfAndNoOperatorStatus) {
  Start("Flood=1\r\nFloodLines=2\r\nRepeat=0\r\nProtectedLevel=3\r\n", "[Level2]\r\nmember\r\n[Level3]\r\nmod\r\n");
  // Not an operator: every offence is only warned about and recorded.
  Play("1002 JOIN pest 0000 [STAR]\r\n");
  EXPECT_EQ(Play(Talk("pest", "x", 3)), "/msg pest Warning (flood): flooding (more than 2 lines in 6 seconds)\n");
  EXPECT_EQ(Play(Talk("pest", "x", 3)), "/msg pest Warning (flood): flooding (more than 2 lines in 6 seconds)\n");
  MakeOperator();
  // At the protected level: never acted on; one below it: acted on.
  EXPECT_EQ(Play(Talk("mod", "x", 9)), "");
  EXPECT_EQ(Play(Talk("acct", "x", 9)), "");
  EXPECT_EQ(Play(Talk("member", "x", 3)), "/msg member Warning (flood): flooding (more than 2 lines in 6 seconds)\n");
  const std::string record = Record();
  size_t warns = 0;
  for (size_t p = record.find("\twarn\tpest\t"); p != std::string::npos; p = record.find("\twarn\tpest\t", p + 1)) ++warns;
  EXPECT_EQ(warns, 2u);
  EXPECT_EQ(record.find("\tkick\t"), std::string::npos);
}

TEST_F(ProtectionSession, RulesActOnTalkEmotesAndJoiningNames) {
  dir.write("protect.lst", "*cheap minerals*\tkick\tselling\n/^spam\\d+$/i\tban\tspam account\n"
                           "rude\twarn\n/x{3}/\ttempban:15\n");
  Start("Rules=1\r\n");
  MakeOperator();
  Play("1002 JOIN seller 0000 [STAR]\r\n");
  EXPECT_EQ(Play(Talk("seller", "CHEAP MINERALS!!! whisper me")), "/kick seller selling\n");
  EXPECT_EQ(Play("1023 EMOTE seller 0000 \"rude\"\r\n"), "/msg seller Warning (protect.lst:3): the channel's rules\n");
  EXPECT_EQ(Play("1002 JOIN SPAM42 0000 [STAR]\r\n"), "/ban SPAM42 spam account\n");
  EXPECT_EQ(Play(Talk("seller", "xxx")), "/ban seller the channel's rules (15 minutes)\n");
  // A hand edit of the file counts without a restart.
  dir.write("protect.lst", "*hello*\tkick\tno greetings\n");
  steady_now += 1min;
  EXPECT_EQ(Play(Talk("seller", "well hello")), "/kick seller no greetings\n");
}

TEST_F(ProtectionSession, TimedBanLiftedWhenDueAndAfterARestart) {
  Start("Flood=0\r\n", "[Level5]\r\nmod\r\n", "[Commands]\r\nBan=5\r\n");
  MakeOperator();
  // TempBan falls back to the Ban level.
  EXPECT_EQ(Play("1004 WHISPER low 0000 \"/tempban bob 10 spam\"\r\n"), "/msg low Insufficient access level\n");
  EXPECT_EQ(Play("1004 WHISPER mod 0000 \"/tempban bob ten\"\r\n"),
            "/msg mod Usage: /tempban NAME MINUTES [reason] (1 to 525600 minutes)\n");
  EXPECT_EQ(Play("1004 WHISPER mod 0000 \"/tempban bob 10 spamming\"\r\n"),
            "/ban bob spamming (10 minutes)\n/msg mod bob is banned for 10 minutes\n");
  EXPECT_EQ(Play("1004 WHISPER mod 0000 \"/tempbans\"\r\n"), "/msg mod Timed bans: bob 10 min\n");
  EXPECT_EQ(dir.read("tempbans.lst"),
            "bob\t" + std::to_string(Wall::to_time_t(wall_now + 10min)) + "\tspamming\n");

  // The program ends and starts again with the clock past the end.
  doc.reset();
  Open();
  wall_now += 11min;
  Bot().Protect().SetClocks([this] { return steady_now; }, [this] { return wall_now; });
  doc->Connect();
  ASSERT_TRUE(gateway.waitForClients(2));
  ASSERT_TRUE(Run([&] { return doc->State() == WaitingForLoginPrompt; }));
  gateway.send("Username: Password: \r\nPlease enter your name and password.\r\n");
  ASSERT_TRUE(WaitSent("acct\r\nsecret\r\n"));
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n");
  ASSERT_TRUE(Run([&] { return doc->State() == Connected; }));
  EXPECT_EQ(Bot().Protect().TimedBans().Bans().size(), 1u);
  // Without operator status it waits; with it the unban goes at once.
  EXPECT_EQ(Play("1001 USER acct 0010 [CHAT]\r\n").find("/unban"), std::string::npos);
  EXPECT_NE(Play("1009 USER acct 0012\r\n").find("/unban bob\n"), std::string::npos);
  EXPECT_TRUE(Bot().Protect().TimedBans().Bans().empty());
  EXPECT_EQ(dir.read("tempbans.lst"), "");

  // While running: nothing before the end, the unban once the clock passes it.
  EXPECT_NE(Play("1004 WHISPER mod 0000 \"/tempban carl 5\"\r\n").find("/ban carl"), std::string::npos);
  wall_now += 4min;
  Bot().OnMinuteTick();
  EXPECT_EQ(Play("").find("/unban"), std::string::npos);
  wall_now += 1min;
  Bot().OnMinuteTick();
  EXPECT_EQ(Play(""), "/unban carl\n");
}

TEST_F(ProtectionSession, ModLogWhispersTheLastActionsToItsLevel) {
  Start("Flood=0\r\n", "[Level3]\r\nkicker\r\n[Level5]\r\nmod\r\n", "[Commands]\r\nKick=3\r\n");
  MakeOperator();
  Play("1004 WHISPER kicker 0000 \"/kick ann go away\"\r\n");
  Play("1018 INFO \"ann was kicked out of the channel by acct (go away).\"\r\n");
  Play("1004 WHISPER kicker 0000 \"/kick bob bye\"\r\n");
  // ModLog falls back to the Kick level.
  EXPECT_EQ(Play("1004 WHISPER nobody 0000 \"/modlog\"\r\n"), "/msg nobody Insufficient access level\n");
  EXPECT_EQ(Play("1004 WHISPER kicker 0000 \"/modlog 1\"\r\n"),
            "/msg kicker 2026-12-07T21:51:05Z kicker kick ann (go away) confirmed\n");
  EXPECT_EQ(Play("1004 WHISPER mod 0000 \"/modlog x\"\r\n"), "/msg mod Usage: /modlog [N] (1 to 20)\n");
}

// The terminal shows the record with //modlog.
TEST(ModerationRecordTerminal, ModLogShowsTheNewestEntries) {
  testing::ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\n");
  dir.write("moderation.log", "2026-12-07T21:51:05Z\tflood\twarn\tann\tflooding\tsent\n"
                              "2026-12-07T21:52:00Z\tmod\tkick\tbob\t\tconfirmed\n"
                              "2026-12-07T21:53:00Z\tprotect.lst:2\tban\tcarl\tads\trefused\n");
  testing::CliProcess cli({"--dir", dir.path().string()});
  cli.Type("//modlog 2\n");
  ASSERT_TRUE(cli.WaitOutput("-- 2026-12-07T21:53:00Z protect.lst:2 ban carl (ads) refused")) << cli.output();
  EXPECT_NE(cli.output().find("-- 2026-12-07T21:52:00Z mod kick bob confirmed"), std::string::npos);
  EXPECT_EQ(cli.output().find("ann"), std::string::npos);
  cli.Type("//modlog x\n");
  ASSERT_TRUE(cli.WaitOutput("-- //modlog N: N is a number from 1 to 10000")) << cli.output();
  cli.Type("//quit\n");
  EXPECT_EQ(cli.Wait(), 0);
}

}  // namespace
}  // namespace tolvik
