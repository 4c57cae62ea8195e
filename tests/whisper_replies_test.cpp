// Whispered commands that keep state or answer at length, in logged-in
// sessions against the scripted gateway: forwarding, help, the channel
// password, who, the page alarm, designate and makeop.
#include <string>

#include "support/whisper_session.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::WhisperSession;

const char* const kUsers = "[Level2]\r\nlow\r\n\r\n[Level3]\r\nmid\r\n\r\n[Level5]\r\nboss\r\nacct\r\n";

TEST_F(WhisperSession, ForwardingPassesPlainWhispersToWhoeverAskedLast) {
  Start("[Commands]\r\nForward=3\r\n", kUsers);
  EXPECT_EQ(Exchange("carl", "before"), "");
  EXPECT_TRUE(display.contains("<From: carl> before"));

  EXPECT_EQ(Exchange("boss", "/forward"), "/msg boss messages forwarded to boss\n");
  EXPECT_EQ(Bot().ForwardTarget(), "boss");
  EXPECT_TRUE(display.contains("Forward to: boss, speaker: boss"));
  EXPECT_EQ(Exchange("carl", "hi there"),
            "/msg boss hi there (carl)\n/msg carl Your message has been auto-forwarded to boss\n");
  EXPECT_TRUE(display.contains("<From: carl> hi there (forwarded)"));

  // The forward goes to the last speaker, and unforward names the old target.
  EXPECT_EQ(Exchange("mid", "/forward"), "/msg mid messages forwarded to mid\n");
  EXPECT_EQ(Exchange("boss", "/unforward"), "/msg boss messages are no longer being forwarded to mid\n");
  EXPECT_EQ(Bot().ForwardTarget(), "");
  EXPECT_TRUE(display.contains("Forwarding off"));
  EXPECT_EQ(Exchange("carl", "after"), "");
  EXPECT_TRUE(display.contains("<From: carl> after"));
}

TEST_F(WhisperSession, LongForwardedWhisperStillNamesItsSender) {
  Start("", kUsers);
  Exchange("boss", "/forward");
  const std::string sent = Exchange("carl", std::string(250, 'z'));
  const size_t end = sent.find('\n');
  ASSERT_NE(end, std::string::npos);
  const std::string forwarded = sent.substr(0, end + 1);
  EXPECT_LE(forwarded.size(), 255u);
  EXPECT_EQ(forwarded.substr(0, 10), "/msg boss ");
  EXPECT_EQ(forwarded.substr(forwarded.size() - 8), " (carl)\n");
}

TEST_F(WhisperSession, HelpListsTheCommandsInFiveReplies) {
  Start("[Commands]\r\nHelp=2\r\n", kUsers);
  EXPECT_EQ(Exchange("low", "/help"),
            "/msg low Commands:  Say Me Whisper Ban Kick Unban\n"
            "/msg low Commands:  AutoKick AutoBan Designate Rejoin Join MakeOp\n"
            "/msg low Commands:  Add Del Promote Demote Level Forward\n"
            "/msg low Commands:  Help Away Page Password Lookup Who\n"
            "/msg low Commands:  IP\n");
  EXPECT_EQ(Exchange("stranger", "/help"), "");
}

TEST_F(WhisperSession, ChannelPasswordAdmitsAnUnlistedUser) {
  Start("[Security]\r\nChannelPassword=Sesame\r\n", kUsers);
  const std::string listed = dir.read("users.lst");
  EXPECT_EQ(Exchange("newbie", "/password wrong"), "");
  EXPECT_EQ(Exchange("newbie", "/password"), "");
  EXPECT_EQ(dir.read("users.lst"), listed);

  // Not an operator: added (the answer is the bot's own), no unban.
  EXPECT_EQ(Exchange("newbie", "/password SESAME"), "");
  EXPECT_TRUE(display.contains("newbie has been added at level 1"));
  EXPECT_EQ(Bot().Access().GetUserLevel("newbie"), 1);

  // As an operator the ban on the newcomer is lifted as well.
  Bot().SetOperator(true);
  EXPECT_EQ(Exchange("fresh", "/password sesame"), "/unban fresh\n");
  EXPECT_EQ(Bot().Access().GetUserLevel("fresh"), 1);

  // A listed user gets nothing from it.
  const std::string after = dir.read("users.lst");
  EXPECT_EQ(Exchange("low", "/password sesame"), "");
  EXPECT_EQ(dir.read("users.lst"), after);
}

TEST_F(WhisperSession, EmptyChannelPasswordDisablesThePasswordCommand) {
  Start("", kUsers);
  Bot().SetOperator(true);
  const std::string listed = dir.read("users.lst");
  EXPECT_EQ(Exchange("intruder", "/password"), "");
  EXPECT_EQ(Exchange("intruder", "/password "), "");
  EXPECT_EQ(dir.read("users.lst"), listed);
  EXPECT_EQ(Bot().Access().GetUserLevel("intruder"), 0);
  EXPECT_FALSE(display.contains("has been added"));
}

TEST_F(WhisperSession, LongestChannelPasswordCanBeTyped) {
  const std::string password(29, 'p');
  Start("[Security]\r\nChannelPassword=" + password + "\r\n", kUsers);
  EXPECT_EQ(Exchange("newbie", "/password " + password.substr(0, 18)), "");
  EXPECT_EQ(Bot().Access().GetUserLevel("newbie"), 0);
  Exchange("newbie", "/password " + password);
  EXPECT_EQ(Bot().Access().GetUserLevel("newbie"), 1);
}

TEST_F(WhisperSession, WhoListsTheChannelCutToOneLine) {
  Start("[Commands]\r\nWho=2\r\n", kUsers);
  Bot().Users().addUser("first", 0, "Home", "[STAR]");
  Bot().Users().addUser("second", 0, "Home", "[SEXP]");
  EXPECT_EQ(Exchange("low", "/who"), "/msg low Channel List: first, second\n");

  for (int i = 0; i < 40; ++i) Bot().Users().addUser(("channeluser" + std::to_string(i)).c_str(), 0, "Home", "[STAR]");
  const std::string all = Bot().Users().allNames();
  ASSERT_GT(all.size(), 255u);
  const std::string sent = Exchange("low", "/who");
  EXPECT_LE(sent.size(), 255u);
  const std::string head = "/msg low Channel List: ";
  ASSERT_EQ(sent.substr(0, head.size()), head);
  ASSERT_EQ(sent.back(), '\n');
  // Whole names only: the list shown is a prefix of the roster ending before a separator.
  const std::string shown = sent.substr(head.size(), sent.size() - head.size() - 1);
  EXPECT_EQ(all.compare(0, shown.size(), shown), 0);
  EXPECT_EQ(all.substr(shown.size(), 2), ", ");
  EXPECT_GT(shown.size(), 200u);
}

// Replies cut to the server's line use all of it: 255 characters with the LF, not one more.
TEST_F(WhisperSession, CutRepliesFillTheLineToItsLastCharacter) {
  Start("", kUsers);
  // "/msg low Channel List: " and the LF leave 231 characters for names.
  for (int i = 0; i < 10; ++i)
    Bot().Users().addUser(("channeluser" + std::string(8, static_cast<char>('a' + i)) + "z").c_str(), 0, "Home", "[STAR]");
  Bot().Users().addUser("elevenchars", 0, "Home", "[STAR]");
  ASSERT_EQ(Bot().Users().allNames().size(), 231u);
  std::string sent = Exchange("low", "/who");
  EXPECT_EQ(sent, "/msg low Channel List: " + Bot().Users().allNames() + "\n");
  EXPECT_EQ(sent.size(), 255u);
  // One character more and the last name goes whole.
  Bot().Users().removeUser("elevenchars", "Home");
  Bot().Users().addUser("twelve_chars", 0, "Home", "[STAR]");
  sent = Exchange("low", "/who");
  const std::string all = Bot().Users().allNames();
  EXPECT_EQ(sent, "/msg low Channel List: " + all.substr(0, all.rfind(", ")) + "\n");

  // The alias look-up: nineteen names of ten characters and ", ..." fill the line exactly.
  for (int i = 0; i < 20; ++i)
    ASSERT_EQ(Bot().Aliases().add("alias" + std::to_string(10000 + i), "7"), AliasAddResult::Added);
  sent = Exchange("whoasker", "/lookup alias10000");
  const size_t names = sent.find("/msg whoasker Name(s): ");
  ASSERT_EQ(sent.substr(0, names), "/msg whoasker ID#(s): 7\n");
  const std::string line = sent.substr(names);
  EXPECT_EQ(line.size(), 255u);
  EXPECT_TRUE(line.ends_with(", ...\n")) << line;
  size_t shown = 0;
  for (size_t at = line.find("alias"); at != std::string::npos; at = line.find("alias", at + 1)) ++shown;
  EXPECT_EQ(shown, 19u) << line;
}

TEST_F(WhisperSession, PageSoundsTheHostAlarmWhenAllowed) {
  Start("[Commands]\r\nPage=3\r\n", kUsers);
  EXPECT_EQ(Exchange("low", "/page"), "/msg low Insufficient access level\n");
  EXPECT_EQ(Exchange("mid", "/page"), "");
  // One alarm rings at a time: the next page waits until this one is over.
  EXPECT_TRUE(Run([&] { return host.pages.load() == 1 && !Bot().Pages().Ringing(); }));
  Exchange("mid", "/page");
  EXPECT_TRUE(Run([&] { return host.pages.load() == 2; }));

  // With paging switched off the word is no command at all.
  doc->GetToggles().AllowPage.state = false;
  EXPECT_EQ(Exchange("low", "/page"), "");
  Exchange("mid", "/page");
  host.RunFor(*doc, 50ms);
  EXPECT_EQ(host.pages.load(), 2);
}

TEST_F(WhisperSession, DesignateRecordsWhomToTell) {
  Start("", kUsers);
  EXPECT_EQ(Exchange("alice", "/designate bob"), "/designate bob\n");
  EXPECT_TRUE(Bot().designate_requested);
  ASSERT_EQ(Bot().Pending().size(), 1u);
  EXPECT_EQ(Bot().Pending().front()->text, "bob alice");
  EXPECT_EQ(Bot().Pending().front()->kind, kPendingDesignate);
  EXPECT_EQ(Bot().Pending().front()->mode, kDesignateTellHeirAndRequester);
  Bot().Pending().pop();

  EXPECT_EQ(Exchange("bob", "/designate BOB"), "/designate BOB\n");
  ASSERT_EQ(Bot().Pending().size(), 1u);
  EXPECT_EQ(Bot().Pending().front()->text, "BOB");
  EXPECT_EQ(Bot().Pending().front()->mode, kDesignateTellHeir);
}

TEST_F(WhisperSession, MakeOpNeedsOperatorStatusAndAUserInTheChannel) {
  Start("[Commands]\r\nMakeOp=5\r\nRejoin=5\r\n", kUsers);
  // Not an operator: refused even at the level.
  EXPECT_EQ(Exchange("boss", "/makeop bob"), "/msg boss Insufficient access level\n");
  Bot().SetOperator(true);
  EXPECT_EQ(Exchange("mid", "/makeop bob"), "/msg mid Insufficient access level\n");
  EXPECT_EQ(Exchange("boss", "/makeop"), "/msg boss You are not in the channel!\n");
  EXPECT_EQ(Exchange("boss", "/makeop bob"), "/msg boss bob is not in the channel!\n");

  Bot().Users().addUser("bob", 0, "Home", "[STAR]");
  Bot().Heirs().designated = 3;
  Bot().Heirs().designatedName = "carl";
  EXPECT_EQ(Exchange("boss", "/makeop BOB"), "/designate BOB\n/rejoin\n");
  ASSERT_EQ(Bot().Pending().size(), 1u);
  EXPECT_EQ(Bot().Pending().front()->text, "BOB");
  EXPECT_EQ(Bot().Pending().front()->mode, kDesignateSilent);
  EXPECT_EQ(Bot().Heirs().designated, HeirTable::kNone);
  EXPECT_EQ(Bot().Heirs().designatedName, "");

  // Without a name the speaker is the one.
  Bot().Users().addUser("boss", 0, "Home", "[STAR]");
  EXPECT_EQ(Exchange("boss", "/makeop"), "/designate boss\n/rejoin\n");

  // A rejoin forgets the designated heir too.
  Bot().Heirs().designated = 2;
  EXPECT_EQ(Exchange("boss", "/resign"), "/resign\n");
  EXPECT_EQ(Bot().Heirs().designated, HeirTable::kNone);
}

}  // namespace
}  // namespace tolvik
