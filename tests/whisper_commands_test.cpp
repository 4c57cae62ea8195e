// Whispered commands in logged-in sessions against the scripted gateway:
// level checks, say tags, relays and script.ini [Whisper] overrides.
#include <filesystem>
#include <string>

#include "app/starter_files.h"
#include "support/whisper_session.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::WhisperSession;

const char* const kModerators = "[Level2]\r\nlow\r\n\r\n[Level3]\r\nmid\r\n\r\n[Level4]\r\nhigh\r\n\r\n[Level5]\r\nboss\r\n";

TEST_F(WhisperSession, KickAndBanFallBackToTheTaggedFormAndRefuseSilently) {
  Start("[Commands]\r\nKick=5\r\nKickTagged=3\r\nBan=5\r\nBanTagged=3\r\nUnban=4\r\n", kModerators);
  // Below both levels: no reply at all.
  EXPECT_EQ(Exchange("low", "/kick joe"), "");
  EXPECT_EQ(Exchange("low", "/ban joe"), "");
  EXPECT_TRUE(display.contains("Command from low: /kick joe"));
  // At the tagged level the speaker is named; command words ignore case.
  EXPECT_EQ(Exchange("mid", "/KICK joe spam"), "/kick joe spam - by mid\n");
  EXPECT_EQ(Exchange("mid", "/Ban joe"), "/ban joe - by mid\n");
  EXPECT_EQ(Exchange("boss", "/kick joe"), "/kick joe\n");
  EXPECT_EQ(Exchange("boss", "/ban joe"), "/ban joe\n");
  // Unban answers a refusal one level below.
  EXPECT_EQ(Exchange("mid", "/unban joe"), "/msg mid Insufficient access level\n");
  EXPECT_EQ(Exchange("high", "/unban joe"), "/unban joe\n");
}

TEST_F(WhisperSession, WithoutCommandLevelsEveryoneMayUseEveryCommand) {
  Start("", kModerators);
  // "nobody" is not in users.lst: level 0, still at least the missing -1.
  EXPECT_EQ(Exchange("nobody", "/join Elsewhere"), "/join Elsewhere\n");
  EXPECT_EQ(Exchange("nobody", "/away gone fishing"), "/away gone fishing\n");
  EXPECT_EQ(Exchange("nobody", "/me waves"), "/me waves\n");
  EXPECT_EQ(Exchange("nobody", "/say hi"), "hi \n");
  EXPECT_EQ(Exchange("nobody", "/ip"), "/msg nobody Server IP: " + gateway.address() + "\n");
  EXPECT_EQ(Exchange("nobody", "/unknown words"), "");
}

TEST_F(WhisperSession, ANewProfileObeysOnlyTheUsersItsOwnerListed) {
  Start(StarterBotIni(), kModerators);
  // A stranger can no longer make the bot speak, move or hand over the channel.
  EXPECT_EQ(Exchange("nobody", "/say I am in charge now"), "/msg nobody Insufficient Access Level\n");
  EXPECT_EQ(Exchange("nobody", "/join Elsewhere"), "/msg nobody Insufficient access level\n");
  EXPECT_EQ(Exchange("nobody", "/designate nobody"), "/msg nobody Insufficient access level\n");
  EXPECT_EQ(Exchange("nobody", "/kick boss"), "");
  // Listed users get what their level allows, and no more.
  EXPECT_EQ(Exchange("low", "/lvl"), "/msg low You are level 2\n");
  EXPECT_EQ(Exchange("boss", "/say hi"), "hi \n");
  EXPECT_EQ(Exchange("boss", "/join Elsewhere"), "/msg boss Insufficient access level\n");
}

TEST_F(WhisperSession, LevelGatedCommandsAnswerTheirRefusals) {
  Start("[Commands]\r\nJoin=3\r\nRejoin=3\r\nAway=3\r\nStats=2\r\nWho=3\r\nIP=3\r\nMe=3\r\nHelp=3\r\n"
        "Designate=3\r\nAdd=3\r\nDel=3\r\nPromote=3\r\nDemote=3\r\nLookup=3\r\nForward=3\r\nSay=3\r\n",
        kModerators);
  const std::string refusal = "/msg low Insufficient access level\n";
  for (const char* command : {"/join x", "/rejoin", "/resign", "/away x", "/who", "/ip", "/designate x", "/add x",
                              "/del x", "/promote x", "/demote x", "/lookup x", "/forward", "/unforward"})
    EXPECT_EQ(Exchange("low", command), refusal) << command;
  // Say alone refuses with capitals; below Me and Help nothing is answered.
  EXPECT_EQ(Exchange("low", "/say hi"), "/msg low Insufficient Access Level\n");
  EXPECT_EQ(Exchange("low", "/me waves"), "");
  EXPECT_EQ(Exchange("low", "/help"), "");
  // At the level they run.
  EXPECT_EQ(Exchange("mid", "/rejoin"), "/rejoin\n");
  EXPECT_EQ(Exchange("mid", "/me waves"), "/me waves\n");
  EXPECT_EQ(Exchange("nobody", "/lvl"), "/msg nobody Insufficient access level\n");
}

TEST_F(WhisperSession, LevelQueryAndLookupAnswerTheSpeaker) {
  Start("", kModerators);
  EXPECT_EQ(Exchange("low", "/lvl boss"), "/msg low boss is level 5\n");
  EXPECT_EQ(Exchange("low", "/level MID"), "/msg low MID is level 3\n");
  EXPECT_EQ(Exchange("boss", "/level"), "/msg boss You are level 5\n");
  EXPECT_EQ(Exchange("stranger", "/lvl"), "/msg stranger You are level 0\n");
  // The alias look-up answers the speaker too.
  EXPECT_EQ(Exchange("low", "/lookup someone"), "/msg low Name not found\n");
}

TEST_F(WhisperSession, SayAddsTheTagOfTheSpeakersLevel) {
  Start("[Messages]\r\nSay5=(%speaker)\r\nSay3=[[mid]] says\r\n", kModerators);
  EXPECT_EQ(Exchange("boss", "/say hello"), "hello (boss)\n");
  EXPECT_EQ(Exchange("mid", "/say hello"), "hello [mid] says\n");  // stored doubled
  EXPECT_EQ(Exchange("low", "/say hello"), "hello \n");  // no tag for level 2
  EXPECT_EQ(Exchange("boss", "/say"), "");                // no message, nothing said
  // A tag edited on disk counts at once.
  dir.write("Bot.ini", dir.read("Bot.ini") + "Say2=-low\r\n");
  EXPECT_EQ(Exchange("low", "/say hello"), "hello -low\n");
}

TEST_F(WhisperSession, SayOfACommandIsNoSayCommandAtAll) {
  Start("[Commands]\r\nSay=5\r\n", kModerators);
  for (const char* text : {"/say /kick joe", "/say .ban joe", "/say !seen joe", "/say   /kick joe"}) {
    EXPECT_EQ(Exchange("boss", text), "") << text;
    // Not even the refusal, whatever the level.
    EXPECT_EQ(Exchange("low", text), "") << text;
  }
  EXPECT_EQ(Exchange("boss", "/say hi /kick"), "hi /kick \n");
}

TEST_F(WhisperSession, LongSayIsCutSoTheTagStillFits) {
  Start("[Messages]\r\nSay5=(%speaker)\r\n", kModerators);
  const std::string message(250, 'x');
  const std::string sent = Exchange("boss", "/say " + message);
  // 250 - 6 characters of message, the blank and the tag.
  EXPECT_EQ(sent, std::string(244, 'x') + " (boss)\n");
  EXPECT_LE(sent.size(), 255u);
}

TEST_F(WhisperSession, RelayRefusesCommandsAndSendsWhatIsAllowed) {
  Start("[Commands]\r\nWhisper=5\r\nWhisperTagged=3\r\n", kModerators);
  EXPECT_EQ(Exchange("boss", "/w bob hello there"), "/w bob hello there\n");
  EXPECT_EQ(Exchange("mid", "/m bob hello"), "/m bob hello (from mid)\n");
  EXPECT_EQ(Exchange("low", "/msg bob hello"), "/msg low Insufficient access level\n");
  // Commands in disguise are refused whatever the level, blanks or not.
  for (const char* text : {"/w bob /kick joe", "/whisper bob .ban joe", "/msg bob !seen", "/w bob   /ban joe",
                           "/m  bob /kick joe", "/whisper   bob  .ban joe", "/ w bob !seen", "/msg\tbob\t/kick joe"})
    EXPECT_EQ(Exchange("boss", text), "/msg boss You may not whisper commands\n") << text;
  // The bare word sends nothing; a target without message goes as typed.
  EXPECT_EQ(Exchange("boss", "/w"), "");
  EXPECT_EQ(Exchange("boss", "/w bob"), "/w bob\n");
}

TEST_F(WhisperSession, ModerationNeedsALevelAboveTheTargetsWhateverTheBlanks) {
  Start("[Commands]\r\nKick=3\r\nBan=3\r\nUnban=3\r\n",
        std::string(kModerators) + "peer\r\n\r\n[Level9]\r\nowner\r\n");
  // Same level: refused both ways.
  EXPECT_EQ(Exchange("boss", "/kick peer"), "/msg boss Your level is not high enough to kick peer\n");
  EXPECT_EQ(Exchange("peer", "/ban boss"), "/msg peer Your level is not high enough to ban boss\n");
  EXPECT_EQ(Exchange("boss", "/unban peer"), "/msg boss Your level is not high enough to unban peer\n");
  // A control byte next to the target is a blank like any other, for the
  // level look-up as for the server.
  EXPECT_EQ(Exchange("mid", "/kick \towner"), "/msg mid Your level is not high enough to kick owner\n");
  EXPECT_EQ(Exchange("mid", "/ban owner\x0b"), "/msg mid Your level is not high enough to ban owner\n");
  EXPECT_EQ(Exchange("mid", "/unban\x7fowner"), "/msg mid Your level is not high enough to unban owner\n");
}

TEST_F(WhisperSession, NoLineBreakInAWhisperReachesTheServer) {
  Start("", kModerators);
  EXPECT_EQ(Exchange("boss", "/say hi\r/ban owner"), "hi /ban owner \n");
  EXPECT_EQ(Exchange("boss", "/say \t/ban owner"), "");  // a say of a command is no say at all
  EXPECT_EQ(Exchange("boss", "/me hi\r/ban owner"), "/me hi /ban owner\n");
  EXPECT_EQ(Exchange("boss", "/w bob hi\r/ban owner"), "/w bob hi /ban owner\n");
  EXPECT_EQ(Exchange("boss", "/m bob\r/ban owner"), "/msg boss You may not whisper commands\n");
  EXPECT_EQ(Exchange("boss", "/join x\r/ban owner"), "/join x /ban owner\n");
  EXPECT_EQ(Exchange("boss", "/away x\r/ban owner"), "/away x /ban owner\n");
  EXPECT_EQ(Exchange("boss", "/designate bob\r/ban owner"), "/designate bob /ban owner\n");
}

TEST_F(WhisperSession, TaggedRelayKeepsTheSpeakersNameOnALongLine) {
  Start("[Commands]\r\nWhisper=5\r\nWhisperTagged=3\r\n", kModerators);
  const std::string text = "/w bob " + std::string(240, 'y');
  const std::string sent = Exchange("mid", text);
  ASSERT_EQ(sent.find('\n'), sent.size() - 1);  // one line
  EXPECT_LE(sent.size(), 255u);
  EXPECT_EQ(sent.substr(0, 7), "/w bob ");
  EXPECT_EQ(sent.substr(sent.size() - 12), " (from mid)\n");
}

class WhisperScriptTest : public WhisperSession {
 protected:
  void SetUp() override {
    std::filesystem::create_directory(dir.path() / "scripts");
    dir.write("scripts/kick.tcl", "BnetSend \"script $action for $speaker: $data\"\n");
    dir.write("script.ini", "[Whisper]\r\n/kick=scripts/kick.tcl\r\nhello=scripts/kick.tcl\r\n");
  }
};

TEST_F(WhisperScriptTest, WhisperEntryReplacesTheCommandWithItsScript) {
  Start("[Commands]\r\nKick=5\r\n", kModerators);
  EXPECT_EQ(Exchange("boss", "/KICK joe now"), "script /KICK for boss: joe now\n");
  EXPECT_TRUE(display.contains("Script: /KICK"));
  // Words without an entry stay built in; plain whispers run their entries too.
  EXPECT_EQ(Exchange("boss", "/ban joe"), "/ban joe\n");
  EXPECT_EQ(Exchange("low", "hello bot"), "script hello for low: bot\n");
  // Below the command's level the script still answers in its place.
  EXPECT_EQ(Exchange("low", "/kick joe"), "script /kick for low: joe\n");
}

TEST_F(WhisperScriptTest, WithAutoRespondOffAnOverriddenCommandDoesNothing) {
  Start("[Commands]\r\nKick=5\r\n", kModerators);
  doc->GetToggles().AutoRespond.state = false;
  EXPECT_EQ(Exchange("boss", "/kick joe"), "");
  EXPECT_FALSE(display.contains("Script:"));
  EXPECT_EQ(Exchange("low", "hello bot"), "");
  EXPECT_EQ(Exchange("boss", "/ban joe"), "/ban joe\n");
}

TEST_F(WhisperSession, WhispersMarkTheSpeakerActiveAndAreRemembered) {
  Start("", kModerators);
  Bot().Users().addUser("present", 0, "Home", "[STAR]");
  Bot().Users().setIdle("present", true);
  ASSERT_GE(Bot().Users().row(Bot().Users().findUser("present")).icon, UserList::kIdleOffset);
  Whisper("present", "hi");
  EXPECT_LT(Bot().Users().row(Bot().Users().findUser("present")).icon, UserList::kIdleOffset);
  EXPECT_EQ(Bot().LastWhisperer(), "present");
  // Users in the channel are not added to the last-seen list; outsiders are, once.
  EXPECT_EQ(Bot().LastSeen().size(), 0u);
  Whisper("outsider", "hi");
  Whisper("OUTSIDER", "/lvl");
  ASSERT_EQ(Bot().LastSeen().size(), 1u);
  const auto& record = Bot().LastSeen().records().front();
  EXPECT_EQ(record.name, "outsider");
  ASSERT_EQ(record.time.size(), 10u);
  EXPECT_EQ(record.time.front(), '(');
  EXPECT_EQ(record.time.back(), ')');
  EXPECT_EQ(Bot().LastWhisperer(), "OUTSIDER");
  EXPECT_TRUE(display.contains("<From: outsider> hi"));
}

}  // namespace
}  // namespace tolvik
