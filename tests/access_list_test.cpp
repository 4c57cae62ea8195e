#include "bot/access_list.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "bot/bot_context.h"
#include "bot/pending_actions.h"
#include "net/chat_connection.h"
#include "net/outgoing_queue.h"
#include "support/temp_dir.h"
#include "support/test_bot_context.h"

namespace tolvik {
namespace {

using Strings = std::vector<std::string>;
using Changes = std::vector<std::pair<std::string, int>>;

// A file as the program writes it: one item a line, CR LF.
std::string Crlf(std::initializer_list<const char*> lines) {
  std::string out;
  for (const char* l : lines) out += std::string(l) + "\r\n";
  return out;
}

// guest 1, helper 2, trusted 4, mod 5, owner 9.
const std::string kStandard = Crlf({"[Level1]", "guest", "", "[Level2]", "helper", "", "[Level4]", "trusted", "",
                                    "[Level5]", "mod", "", "[Level9]", "owner"});

// A bot whose display reads users.lst each time a line is shown, to see what
// the file held when a reply to the operator went out.
class SnapshotBot : public BotContext {
 public:
  explicit SnapshotBot(std::string dir) : dir_(std::move(dir)), display_(dir_), queue_(connection_, &display_) {
    connection_.SetLoginInfo("TolvikBot", "", "", ChatConnection::kDefaultPort);
  }
  OutgoingQueue& Queue() override { return queue_; }
  ChatDisplay& Display() override { return display_; }
  const char* OwnName() const override { return connection_.OwnName(); }
  const char* CurrentChannel() const override { return "Tolvik"; }
  const char* HomeChannel() const override { return "Tolvik"; }
  int CommandLevel(const char*) const override { return -1; }
  void UserLevelChanged(const char*, int) override {}
  const std::string& WorkingDir() const override { return dir_; }
  // users.lst as it was when `text` was shown.
  std::string FileWhenShown(const std::string& text) const {
    for (const auto& [shown, file] : display_.seen)
      if (shown == text) return file;
    ADD_FAILURE() << "not shown: " << text;
    return "";
  }

 private:
  struct SnapshotDisplay : ChatDisplay {
    explicit SnapshotDisplay(const std::string& dir) : path(dir + "/users.lst") {}
    void append(const char* text, const TextFormat&) override {
      std::ifstream in(path, std::ios::binary);
      seen.emplace_back(text, std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    }
    std::string path;
    std::vector<std::pair<std::string, std::string>> seen;
  };
  std::string dir_;
  SnapshotDisplay display_;
  ChatConnection connection_;
  OutgoingQueue queue_;
};

class AccessListTest : public ::testing::Test {
 protected:
  AccessListTest() { bot.SetCommandLevel("Promote", 3); }
  void Users(const std::string& text) { dir.write("users.lst", text); }
  std::string UsersFile() const { return dir.read("users.lst"); }
  Strings Local() const { return bot.Shown(TextType::BotInfo); }
  const char* Me() const { return bot.OwnName(); }

  testing::TempDir dir;
  testing::TestBotContext bot{dir.path().string()};
  PendingActionQueue pending;
  AccessList access{bot, pending};
};

// ---- reading levels ----

TEST_F(AccessListTest, HeaderThenNameGivesTheLevelAndTheFirstOccurrenceDecides) {
  Users("early\n[Level3]\nBob\n[Level5]\nbob carol,dan\n[Level12]\nbig\n[Level]\nzero\n[level8]\nlow");
  EXPECT_EQ(access.GetUserLevel("BOB"), 3);
  EXPECT_EQ(access.GetUserLevel("dan"), 5);
  EXPECT_EQ(access.GetUserLevel("big"), 12);
  EXPECT_EQ(access.GetUserLevel("early"), 0);  // above the first header
  EXPECT_EQ(access.GetUserLevel("zero"), 0);
  EXPECT_EQ(access.GetUserLevel("low"), 0);  // "[level8]" is no header; low sits under [Level]
  EXPECT_EQ(access.GetUserLevel("nobody"), 0);
  Users(kStandard);  // the CR of CR LF is no part of a name
  EXPECT_EQ(access.GetUserLevel("mod"), 5);
  // A header is never a name, or a user called "[Level9]" would be level 9.
  EXPECT_EQ(access.GetUserLevel("[Level9]"), 0);
}

TEST_F(AccessListTest, OverLongAndControlByteWordsDoNotConfuseTheReader) {
  const std::string head(28, 'n');
  const char raw[] = "[Level7]\n\x01odd\x7f\nbo\tb\n\0\n,,\n";
  Users(std::string(raw, sizeof raw - 1) + head + "tail\n" + std::string(28, 'e') + "\n[Level99999999999999]\nlast");
  EXPECT_EQ(access.GetUserLevel(head.c_str()), 0);  // the cut head of a longer name
  EXPECT_EQ(access.GetUserLevel("ail"), 0);          // nor its tail
  EXPECT_EQ(access.GetUserLevel(std::string(28, 'e').c_str()), 7);
  EXPECT_EQ(access.GetUserLevel("\x01odd\x7f"), 7);
  EXPECT_EQ(access.GetUserLevel("bo"), 7);  // a TAB ends a word, as it does for the rewrite
  EXPECT_GT(access.GetUserLevel("last"), 9);  // saturated, no overflow; no final line end
  EXPECT_EQ(Local().front(), "Error - Possible Word Trunctation due to buffer overflow");
}

TEST_F(AccessListTest, LongListsAreReadWhole) {
  std::string text = Crlf({"[Level5]", "mod", "", "[Level6]"});
  while (text.size() < 11997) text += "x\r\n";
  Users(text + "zzwide\r\n\r\n[Level9]\r\nowner\r\n");  // "zz" lies inside the first 12000 bytes, "wide" beyond
  EXPECT_EQ(access.GetUserLevel("Owner"), 9);
  EXPECT_EQ(access.GetUserLevel("zzwide"), 6);
  EXPECT_EQ(access.GetUserLevel("zz"), 0);
  // Neither a name nor a ban past the old 12000-byte limit can be lost.
  access.AddUser("/add owner", "mod", false);
  EXPECT_EQ(bot.Sent(), Strings{"/msg mod owner is already in the list\n"});
  EXPECT_EQ(access.GetUserLevel("owner"), 9);
  std::string bans;
  while (bans.size() < 13000) bans += "spammer" + std::to_string(bans.size()) + ", ";
  dir.write("autoban.lst", bans + "LastBan");
  EXPECT_TRUE(access.IsAutoBanned("lastban"));
}

TEST_F(AccessListTest, AutoBanList) {
  EXPECT_FALSE(access.IsAutoBanned("flooder"));
  dir.write("autoban.lst", "Spammer1, flooder\r\nBADGUY,,last");
  for (const char* name : {"spammer1", "FLOODER", "badguy", "last"}) EXPECT_TRUE(access.IsAutoBanned(name)) << name;
  EXPECT_FALSE(access.IsAutoBanned("spammer"));
}

// ---- adding ----

TEST_F(AccessListTest, AddPutsTheNameAfterItsHeader) {
  Users(kStandard);
  access.AddUser("/add joe", "mod", false);
  EXPECT_EQ(bot.Sent(), Strings{"/msg mod joe has been added at level 1\n"});
  EXPECT_EQ(Local(), Strings{"User Added: joe"});
  EXPECT_EQ(UsersFile().substr(0, 24), "[Level1]\r\njoe\r\nguest\r\n\r\n");
  EXPECT_EQ(bot.level_changes, (Changes{{"joe", 1}}));
  EXPECT_FALSE(dir.exists("~users.tmp"));
}

TEST_F(AccessListTest, AddLevelRules) {
  Users(kStandard);
  access.AddUser("/add joe 5", "trusted", false);   // level 4, Promote 3: lowered to 3
  access.AddUser("/add ann 5", "helper", false);    // level 2, below Promote: the 5 is ignored
  access.AddUser("/add   sam   4", "mod", false);
  access.AddUser("/add a0 0", "mod", false);
  access.AddUser("/add ax x", "mod", false);
  access.AddUser("/add boss 9", Me(), true);        // operator override
  access.AddUser(("/add " + std::string(28, 'q') + "123 2").c_str(), "mod", false);  // the cut tail is no level
  EXPECT_EQ(bot.Sent()[0],
            "/msg trusted Your level is not high enough to add joe at level 5 - adding at 3 instead.\n");
  EXPECT_EQ(bot.Sent()[1], "/msg helper ann has been added at level 1\n");
  EXPECT_EQ(Local()[5], "boss has been added at level 9");  // after five "User Added:" reports
  const std::pair<const char*, int> levels[] = {{"joe", 3}, {"ann", 1}, {"sam", 4}, {"a0", 1}, {"ax", 1}, {"boss", 9}};
  for (const auto& [name, level] : levels) EXPECT_EQ(access.GetUserLevel(name), level) << name;
  EXPECT_EQ(access.GetUserLevel(std::string(28, 'q').c_str()), 2);
  EXPECT_EQ(bot.level_changes.front(), (std::pair<std::string, int>{"joe", 3}));
}

TEST_F(AccessListTest, AddRefusalsChangeNothing) {
  Users(kStandard);
  for (const char* line : {"/add joe 10", "/add joe -1", "/add MOD", "/add [Level9]", "/add bo\tb", "/add"})
    access.AddUser(line, "mod", false);
  access.AddUser("/add joe", "guest", false);  // level 1: nothing lies below
  EXPECT_EQ(bot.Sent(), (Strings{"/msg mod Invalid Level: 10\n", "/msg mod Invalid Level: -1\n",
                                 "/msg mod MOD is already in the list\n", "/msg mod Invalid Name: [Level9]\n",
                                 "/msg mod Invalid Name: bo?b\n", "/msg mod Invalid Name: \n",
                                 "/msg guest Your level is not high enough to add joe\n"}));
  EXPECT_EQ(UsersFile(), kStandard);
  EXPECT_TRUE(bot.level_changes.empty());
  EXPECT_FALSE(dir.exists("~users.tmp"));
}

TEST_F(AccessListTest, AMissingHeaderIsCreatedInLevelOrder) {
  Users(Crlf({"early", "[Level5]", "mod"}));
  access.AddUser("/add joe 3", "mod", false);
  access.AddUser("/add top 9", Me(), true);
  access.AddUser("/add low 1", "mod", false);
  EXPECT_EQ(UsersFile(), Crlf({"early", "[Level1]", "low", "", "[Level3]", "joe", "", "[Level5]", "mod", "",
                               "[Level9]", "top"}));
  access.PromoteUser("/promote low", "mod", false);  // promote and demote used to drop the name
  access.DemoteUser("/demote top", Me(), true);
  EXPECT_EQ(access.GetUserLevel("low"), 2);
  EXPECT_EQ(access.GetUserLevel("top"), 8);
}

TEST_F(AccessListTest, AddingANameListedAtLevelZeroMovesOnlyThatOccurrence) {
  Users(Crlf({"joe", "[Level1]", "guest", "", "[Level5]", "mod", "", "[Level9]", "JOE"}));
  access.AddUser("/add Joe 2", "mod", false);
  EXPECT_EQ(UsersFile(), Crlf({"[Level1]", "guest", "", "[Level2]", "Joe", "", "[Level5]", "mod", "", "[Level9]", "JOE"}));
  EXPECT_EQ(access.GetUserLevel("joe"), 2);
}

// ---- deleting ----

TEST_F(AccessListTest, DeleteAnswersEveryOccurrenceAndFollowsTheLevelRules) {
  Users(Crlf({"early", "[Level2]", "bob", "", "[Level5]", "Bob", "mod", "peer"}));
  access.DelUser("/del BOB", "mod", false);
  access.DelUser("/del early", "bob", false);  // level 0 goes to any listed user
  access.DelUser("/del peer", "mod", false);
  access.DelUser("/del ghost", "mod", false);
  EXPECT_EQ(bot.Sent(), (Strings{"/msg mod BOB has been deleted\n", "/msg mod Your level is not high enough to delete BOB\n",
                                 "/msg bob early has been deleted\n", "/msg mod Your level is not high enough to delete peer\n",
                                 "/msg mod ghost is not in the list\n"}));
  EXPECT_EQ(UsersFile(), Crlf({"[Level2]", "", "[Level5]", "Bob", "mod", "peer"}));
  // The refused occurrence now decides; names refused everywhere are not reported.
  EXPECT_EQ(bot.level_changes, (Changes{{"BOB", 5}, {"early", 0}, {"ghost", 0}}));
  access.DelUser("/del peer", Me(), true);
  EXPECT_EQ(Local(), Strings{"peer has been deleted"});
}

// ---- promoting and demoting ----

TEST_F(AccessListTest, PromoteAndDemoteBounds) {
  Users(Crlf({"[Level1]", "one", "", "[Level3]", "dup", "", "[Level8]", "eight", "dup", "", "[Level9]", "nine", "owner"}));
  access.PromoteUser("/promote eight", "owner", false);  // 9 is not below 9
  access.PromoteUser("/promote nine", Me(), true);
  access.DemoteUser("/demote one", Me(), true);
  access.DemoteUser("/demote nine", "owner", false);
  access.PromoteUser("/promote ghost", "owner", false);
  EXPECT_EQ(bot.Sent(), (Strings{"/msg owner You cannot promote eight any higher!\n", "/msg owner You cannot demote nine!\n",
                                 "/msg owner ghost is not in the list!\n"}));
  EXPECT_EQ(Local(), (Strings{"You cannot promote nine any higher!", "You cannot demote one!"}));

  bot.Clear();
  access.PromoteUser("/promote eight", Me(), true);
  access.PromoteUser("/promote DUP", "owner", false);  // every other occurrence goes
  EXPECT_EQ(Local(), (Strings{"eight is now level 9"}));
  EXPECT_EQ(bot.Sent(), Strings{"/msg owner DUP is now level 4\n"});
  EXPECT_EQ(bot.level_changes, (Changes{{"eight", 9}, {"DUP", 4}}));
  EXPECT_EQ(UsersFile(), Crlf({"[Level1]", "one", "", "[Level3]", "", "[Level4]", "DUP", "", "[Level8]", "", "[Level9]",
                               "eight", "nine", "owner"}));
}

// ---- kick, ban, unban ----

TEST_F(AccessListTest, KickCarriesTheReasonAndTheTag) {
  Users(kStandard);
  access.KickUser("/kick joe spamming", "mod", 5, false);
  access.KickUser(".kick joe spamming", "helper", 2, true);
  access.KickUser("/kick Mod", "trusted", 4, false);
  EXPECT_EQ(bot.Sent(), (Strings{"/kick joe spamming\n", "/kick joe spamming - by helper\n",
                                 "/msg trusted Your level is not high enough to kick Mod\n"}));
  EXPECT_TRUE(access.KickRequested());
  EXPECT_EQ(access.KickRequester(), "helper");
  access.ClearKickRequest();
  access.KickUser("/kick joe", Me(), 9999, false);  // the bot's own kicks have no requester
  EXPECT_FALSE(access.KickRequested());
}

TEST_F(AccessListTest, ModerationLinesFitOneServerLineAndKeepTheTag) {
  const std::string reason(400, 'r');
  access.KickUser(("/kick joe " + reason).c_str(), "helper", 2, true);
  access.BanUser(("/ban joe " + reason).c_str(), "helper", 2, false);
  access.KickUser("/kick joe bye\r\n/ban owner", "helper", 2, false);
  Strings sent = bot.Sent();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[0].size(), 255u);
  EXPECT_EQ(sent[0].substr(sent[0].size() - 13), " - by helper\n");
  EXPECT_EQ(sent[1].size(), 255u);
  EXPECT_EQ(sent[2], "/kick joe bye\n");
}

TEST_F(AccessListTest, BanAndUnbanRecordWhatTheyAskFor) {
  Users(kStandard);
  access.BanUser("/ban joe flooding", "mod", 5, true);
  access.BanUser(".ban owner", "mod", 5, false);
  access.UnbanUser("/unban joe was wrongly banned", "helper", 2);
  access.UnbanUser("/unban MOD", "mod", 5);
  access.UnbanUser("/unban owner", "mod", 5);
  access.UnbanUser("/unban TolvikBot", Me(), 0);
  EXPECT_EQ(bot.Sent(), (Strings{"/ban joe flooding - by mod\n", "/msg mod Your level is not high enough to ban owner\n",
                                 "/unban joe\n", "/msg mod You cannot unban yourself\n",
                                 "/msg mod Your level is not high enough to unban owner\n"}));
  EXPECT_EQ(Local(), Strings{"You cannot unban yourself"});  // whole, not cut by a missing line end
  ASSERT_EQ(pending.size(), 2u);
  EXPECT_EQ(pending.front()->text, "joe mod");
  EXPECT_EQ(pending.front()->kind, kPendingBan);
  pending.pop();
  EXPECT_EQ(pending.front()->text, "joe helper");
  EXPECT_EQ(pending.front()->kind, kPendingUnban);
}

// ---- the rewrite ----

TEST_F(AccessListTest, EveryRewriteLeavesABlankLineBeforeEachHeaderButTheFirst) {
  Users("\n\n  [Level1]\n\n\nguest [Level2] helper\t[Level3]\r\n\r\n\r\n[Level5] mod\n\n[Level9] owner");
  const std::string normal = Crlf({"[Level1]", "guest", "", "[Level2]", "helper", "", "[Level3]", "", "[Level5]", "mod",
                                   "", "[Level9]", "owner"});
  access.DelUser("/del nobody", "owner", false);
  EXPECT_EQ(UsersFile(), normal);
  access.AddUser("/add joe 3", "owner", false);
  access.PromoteUser("/promote joe", "owner", false);
  access.DemoteUser("/demote joe", "owner", false);
  EXPECT_EQ(UsersFile(), Crlf({"[Level1]", "guest", "", "[Level2]", "helper", "", "[Level3]", "joe", "", "[Level4]", "",
                               "[Level5]", "mod", "", "[Level9]", "owner"}));
}

TEST_F(AccessListTest, RepliesGoOutOnlyOnceTheNewListIsInPlace) {
  Users(kStandard);
  SnapshotBot me(dir.path().string());
  AccessList ops(me, pending);
  ops.AddUser("/add joe 3", me.OwnName(), true);
  EXPECT_EQ(me.FileWhenShown("joe has been added at level 3"), UsersFile());
  ops.PromoteUser("/promote joe", me.OwnName(), true);
  EXPECT_EQ(me.FileWhenShown("joe is now level 4"), UsersFile());
  ops.DemoteUser("/demote joe", me.OwnName(), true);
  EXPECT_EQ(me.FileWhenShown("joe is now level 3"), UsersFile());
  ops.DelUser("/del joe", me.OwnName(), true);
  EXPECT_EQ(me.FileWhenShown("joe has been deleted"), UsersFile());
}

TEST_F(AccessListTest, LookUpAndRewriteCutWordsAlike) {
  // TAB, lone CR, NUL, VT, FF and the comma all end a word, for both.
  const char odd[] = "[Level5]\tmod\rpeer\0[Level2]\vhelper,guest\f[Level9] a\tb";
  const char* names[] = {"mod", "peer", "helper", "guest", "a", "b", "[Level2]"};
  Users(std::string(odd, sizeof odd - 1));
  std::vector<int> before;
  for (const char* name : names) before.push_back(access.GetUserLevel(name));
  EXPECT_EQ(before, (std::vector<int>{5, 5, 2, 2, 9, 9, 0}));
  access.DelUser("/del guest", Me(), true);
  EXPECT_EQ(Local(), Strings{"guest has been deleted"});
  EXPECT_EQ(UsersFile(), Crlf({"[Level5]", "mod", "peer", "", "[Level2]", "helper", "", "[Level9]", "a", "b"}));
  before[3] = 0;
  for (size_t i = 0; i < std::size(names); ++i) EXPECT_EQ(access.GetUserLevel(names[i]), before[i]) << names[i];
}

TEST_F(AccessListTest, HandEditsCountAtTheNextQuestion) {
  namespace fs = std::filesystem;
  const fs::path users = dir.path() / "users.lst";
  Users("[Level3]\nbob\n");
  dir.write("autoban.lst", "eve");
  EXPECT_EQ(access.GetUserLevel("bob"), 3);
  EXPECT_TRUE(access.IsAutoBanned("eve"));
  // Same size, same file, within the same tick of the file clock.
  Users("[Level4]\nbob\n");
  dir.write("autoban.lst", "ivy");
  EXPECT_EQ(access.GetUserLevel("bob"), 4);
  EXPECT_FALSE(access.IsAutoBanned("eve"));
  // A list last changed long ago, then changed again in place.
  const auto long_ago = fs::file_time_type::clock::now() - std::chrono::hours(1);
  fs::last_write_time(users, long_ago);
  EXPECT_EQ(access.GetUserLevel("bob"), 4);
  Users("[Level5]\nbob\n");
  fs::last_write_time(users, long_ago);
  EXPECT_EQ(access.GetUserLevel("bob"), 5);
  fs::remove(users);
  EXPECT_EQ(access.GetUserLevel("bob"), 0);
}

TEST_F(AccessListTest, OpenFailuresChangeNothing) {
  access.AddUser("/add joe", "mod", true);
  access.DelUser("/del joe", "mod", true);
  EXPECT_FALSE(dir.exists("users.lst"));
  Users(kStandard);
  std::filesystem::create_directory(dir.path() / "~users.tmp");  // the temporary file cannot be made
  access.PromoteUser("/promote guest", "mod", false);
  access.DemoteUser("/demote helper", "mod", false);
  EXPECT_EQ(Local(), (Strings{"ERROR: No users.lst found or harddrive full!", "ERROR: users.lst not found, or harddrive full!",
                              "ERROR: users.lst not found or harddrive full!", "ERROR: users.lst not found or harddrive full!"}));
  EXPECT_TRUE(bot.Sent().empty());
  EXPECT_EQ(UsersFile(), kStandard);
  EXPECT_TRUE(bot.level_changes.empty());
}

TEST_F(AccessListTest, AFailedWriteKeepsTheOldList) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  Users(kStandard);
  std::filesystem::create_symlink("/dev/full", dir.path() / "~users.tmp");
  access.AddUser("/add joe", "mod", false);
  EXPECT_EQ(Local().back(), "Error #004 - AddUser - TempFile not closed");
  EXPECT_TRUE(bot.Sent().empty());  // nothing was added, so nothing is promised
  EXPECT_EQ(UsersFile(), kStandard);
  EXPECT_FALSE(std::filesystem::is_symlink(dir.path() / "~users.tmp"));
  EXPECT_TRUE(bot.level_changes.empty());
}

TEST_F(AccessListTest, TheListIsReplacedByOneRename) {
  Users(kStandard);
  ASSERT_EQ(::chmod(dir.file("users.lst").c_str(), 0640), 0);
  std::ifstream old_reader(dir.file("users.lst"), std::ios::binary);  // keeps the old file open
  access.AddUser("/add joe", "mod", false);
  std::string old_bytes((std::istreambuf_iterator<char>(old_reader)), std::istreambuf_iterator<char>());
  EXPECT_EQ(old_bytes, kStandard);  // not rewritten in place
  EXPECT_EQ(access.GetUserLevel("joe"), 1);
  EXPECT_EQ(std::filesystem::status(dir.file("users.lst")).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_read | std::filesystem::perms::owner_write | std::filesystem::perms::group_read);
  EXPECT_FALSE(dir.exists("~users.tmp"));
}

TEST_F(AccessListTest, HugeFilesAreCopiedWhole) {
  std::string text = Crlf({"[Level1]", "guest", "", "[Level5]", "mod", "", "[Level6]"}) + std::string(300, 'L') + "\r\n";
  for (int i = 0; i < 4000; ++i) text += "user" + std::to_string(i) + "\r\n";
  Users(text);
  access.AddUser("/add joe", "mod", false);
  access.DelUser("/del user3999", Me(), true);
  std::string expected = text;
  expected.insert(expected.find("guest"), "joe\r\n");
  expected.erase(expected.find("user3999\r\n"), 10);
  EXPECT_EQ(UsersFile(), expected);
}

}  // namespace
}  // namespace tolvik
