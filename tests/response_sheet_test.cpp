// The Access, Responses, Heirs and Restrictions pages of the response
// configuration, on real Bot.ini and users.lst files.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "settings/config.h"
#include "app/document.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"
#include "bot/chat_bot.h"
#include "bot/responses.h"
#include "bot/roster_state.h"
#include "app/sheets/access_page.h"
#include "app/sheets/heirs_page.h"
#include "app/sheets/response_sheet.h"
#include "app/sheets/responses_page.h"
#include "app/sheets/restrictions_page.h"
#include "support/crlf.h"
#include "support/recording_display.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace tolvik {
namespace {

using testing::Crlf;
using testing::TempDir;
using Strings = std::vector<std::string>;

class ResponseSheetTest : public ::testing::Test {
 protected:
  ResponseSheetTest() { dir.write("Bot.ini", Crlf("[Commands]\nBan=5\n")); }
  std::string Ini() const { return dir.read("Bot.ini"); }
  std::string Users() const { return dir.read("users.lst"); }
  int IndexOf(const AccessPage& page, const std::string& name) const {
    for (size_t i = 0; i < page.users().size(); ++i)
      if (page.users()[i] == name) return static_cast<int>(i);
    return -1;
  }

  TempDir dir;
  const std::string ini = dir.file("Bot.ini");
};

// ---- Access page

TEST_F(ResponseSheetTest, AccessCommandLevelsShowTheStoredValueAndStepWithinTheirRange) {
  AccessPage page(dir.path().string());
  page.Init();
  ASSERT_EQ(page.commands().size(), 29u);
  EXPECT_EQ(page.commands().back(), "Resign");
  EXPECT_FALSE(page.saveEnabled());

  ASSERT_TRUE(page.ChooseCommand("kick"));
  EXPECT_EQ(page.commandLevelText(), "-1 (everybody)");  // no key: the level the bot applies
  page.StepCommandLevel(+1);
  EXPECT_EQ(page.commandLevelText(), "0");
  EXPECT_TRUE(page.saveEnabled());
  for (int i = 0; i < 12; ++i) page.StepCommandLevel(+1);
  EXPECT_EQ(page.commandLevelText(), "10");
  for (int i = 0; i < 12; ++i) page.StepCommandLevel(-1);
  EXPECT_EQ(page.commandLevelText(), "0");

  ASSERT_TRUE(page.ChooseCommand("Ban"));
  EXPECT_EQ(page.commandLevelText(), "5");
  EXPECT_FALSE(page.saveEnabled());
  page.SetCommandLevelText("6");
  EXPECT_TRUE(page.saveEnabled());
  page.SetCommandLevelText("5");
  EXPECT_FALSE(page.saveEnabled());

  // Out of range or not a number: refused, Bot.ini untouched.
  const std::string before = Ini();
  for (const char* bad : {"11", "-1", "abc", "5x", ""}) {
    page.SetCommandLevelText(bad);
    PageOutcome saved = page.SaveCommandLevel();
    EXPECT_FALSE(saved.ok) << bad;
    EXPECT_EQ(saved.message, "Level Required must be a number from 0 to 10.");
  }
  EXPECT_EQ(Ini(), before);
  page.SetCommandLevelText("7");
  ASSERT_TRUE(page.SaveCommandLevel().ok);
  EXPECT_EQ(LoadBotSettings(ini).commands.Ban, 7);
  EXPECT_FALSE(page.saveEnabled());
}

TEST_F(ResponseSheetTest, AccessButtonsFollowTheListedUserAndHisStoredLevel) {
  dir.write("users.lst", Crlf("[Level2]\nbob\n\n[Level5]\nAnn\n"));
  AccessPage page(dir.path().string());
  page.Init();
  EXPECT_EQ(page.users(), (Strings{"Ann", "bob"}));
  EXPECT_FALSE(page.addSaveEnabled());
  EXPECT_FALSE(page.deleteEnabled());

  page.TypeUserName("an");
  EXPECT_EQ(page.selectedUser(), -1);
  EXPECT_FALSE(page.addSaveEnabled());  // no level yet
  page.TypeUserName("ann");             // any case selects the listed name
  EXPECT_EQ(page.selectedUser(), 0);
  EXPECT_EQ(page.userLevelText(), "5");
  EXPECT_TRUE(page.deleteEnabled());
  EXPECT_FALSE(page.addSaveEnabled());

  page.StepUserLevel(+1);
  EXPECT_EQ(page.userLevelText(), "6");
  EXPECT_TRUE(page.addSaveEnabled());
  EXPECT_FALSE(page.deleteEnabled());
  page.StepUserLevel(-1);
  EXPECT_TRUE(page.deleteEnabled());

  for (int i = 0; i < 12; ++i) page.StepUserLevel(+1);
  EXPECT_EQ(page.userLevelText(), "9");
  for (int i = 0; i < 12; ++i) page.StepUserLevel(-1);
  EXPECT_EQ(page.userLevelText(), "0");

  page.TypeUserName("newcomer");
  page.SetUserLevelText("3");
  EXPECT_TRUE(page.addSaveEnabled());
  EXPECT_FALSE(page.deleteEnabled());
}

TEST_F(ResponseSheetTest, AccessAddSaveAndDeleteRewriteUsersLst) {
  dir.write("users.lst", Crlf("[Level1]\nguest\n[Level3]\nbob\n[Level5]\nmod\n"));
  AccessPage page(dir.path().string());
  page.Init();

  page.TypeUserName("joe");
  page.SetUserLevelText("3");
  ASSERT_TRUE(page.AddOrSaveUser().ok);
  EXPECT_EQ(Users(), Crlf("[Level1]\nguest\n\n[Level3]\njoe\nbob\n\n[Level5]\nmod\n"));
  EXPECT_GE(IndexOf(page, "joe"), 0);
  EXPECT_TRUE(page.deleteEnabled());  // joe is listed now, at the level shown

  page.TypeUserName("guest");  // a listed user saved at level 0 leaves the file
  page.SetUserLevelText("0");
  ASSERT_TRUE(page.AddOrSaveUser().ok);
  EXPECT_EQ(Users(), Crlf("[Level1]\n\n[Level3]\njoe\nbob\n\n[Level5]\nmod\n"));
  EXPECT_EQ(IndexOf(page, "guest"), -1);

  page.TypeUserName("bob");  // a level without a header gets one, in level order
  page.SetUserLevelText("4");
  ASSERT_TRUE(page.AddOrSaveUser().ok);
  EXPECT_EQ(Users(), Crlf("[Level1]\n\n[Level3]\njoe\n\n[Level4]\nbob\n\n[Level5]\nmod\n"));

  page.TypeUserName("MOD");
  ASSERT_TRUE(page.deleteEnabled());
  ASSERT_TRUE(page.DeleteUser().ok);
  EXPECT_EQ(Users(), Crlf("[Level1]\n\n[Level3]\njoe\n\n[Level4]\nbob\n\n[Level5]\n"));
  EXPECT_EQ(IndexOf(page, "mod"), -1);
  EXPECT_EQ(page.userLevelText(), "");
  EXPECT_FALSE(page.deleteEnabled());

  // Refused, with the file as it was: a level out of range, a name that
  // cannot be listed.
  const std::string before = Users();
  page.TypeUserName("zed");
  page.SetUserLevelText("10");
  PageOutcome saved = page.AddOrSaveUser();
  EXPECT_FALSE(saved.ok);
  EXPECT_EQ(saved.message, "Access Level must be a number from 0 to 9.");
  page.TypeUserName("[Level9]");
  page.SetUserLevelText("9");
  EXPECT_FALSE(page.AddOrSaveUser().ok);
  EXPECT_EQ(Users(), before);
  EXPECT_FALSE(dir.exists("~users.tmp"));
}

TEST_F(ResponseSheetTest, AccessLeavesAUsersLstItCannotReadAlone) {
  AccessPage missing(dir.path().string());
  missing.Init();
  missing.TypeUserName("joe");
  missing.SetUserLevelText("3");
  EXPECT_FALSE(missing.AddOrSaveUser().ok);
  EXPECT_FALSE(dir.exists("users.lst"));
  EXPECT_FALSE(dir.exists("~users.tmp"));

  // A users.lst that opens but cannot be read (here a directory) stays as it is.
  std::filesystem::create_directory(dir.file("users.lst"));
  AccessPage page(dir.path().string());
  page.Init();
  EXPECT_TRUE(page.users().empty());
  page.TypeUserName("joe");
  page.SetUserLevelText("3");
  PageOutcome saved = page.AddOrSaveUser();
  EXPECT_FALSE(saved.ok);
  EXPECT_FALSE(saved.message.empty());
  EXPECT_TRUE(std::filesystem::is_directory(dir.file("users.lst")));
  EXPECT_FALSE(dir.exists("~users.tmp"));
}

// ---- Responses page

TEST(ResponsesValue, ColonsAreDoubledAndALeadingColonGetsASpace) {
  EXPECT_EQ(ResponsesPage::ComposeValue({{"hi", "Hello there"}, {":)", "a:b"}, {"x::y", ":"}}),
            "hi:Hello there: ::):a::b:x::::y: ::");
  // The bot reads it back as it was typed.
  EXPECT_EQ(ResponsePairs("hi:Hello there: ::):a::b:x::::y: ::"),
            (std::vector<std::pair<std::string, std::string>>{{"hi", "Hello there"}, {":)", "a:b"}, {"x::y", ":"}}));
}

TEST_F(ResponseSheetTest, ResponsesSaveAndDelWriteTheComposedValue) {
  ResponsesPage page(ini);
  page.ChooseType(0);  // "Respond to Normal Text"
  EXPECT_TRUE(page.nameEnabled());
  EXPECT_TRUE(page.phraseEnabled());
  EXPECT_FALSE(page.saveEnabled());
  page.TypeName("Bob");
  page.TypePhrase(":)");
  page.SetResponseText("[smile]");
  ASSERT_TRUE(page.saveEnabled());
  ASSERT_TRUE(page.Save().ok);
  EXPECT_NE(Ini().find("Bob= ::):[[smile]]\r\n"), std::string::npos);

  // Shown again as typed, with "Del" offered while the response is unchanged.
  ResponsesPage again(ini);
  again.ChooseType(0);
  ASSERT_EQ(again.names(), Strings{"Bob"});
  again.TypeName("bob");
  ASSERT_EQ(again.phrases(), Strings{":)"});
  again.ChoosePhrase(0);
  EXPECT_EQ(again.responseText(), "[smile]");
  EXPECT_TRUE(again.deleteEnabled());
  EXPECT_FALSE(again.saveEnabled());
  again.SetResponseText("grin");
  EXPECT_TRUE(again.saveEnabled());
  EXPECT_FALSE(again.deleteEnabled());
  ASSERT_TRUE(again.Save().ok);
  again.TypePhrase("bye");
  again.SetResponseText("see you");
  ASSERT_TRUE(again.Save().ok);
  EXPECT_NE(Ini().find("Bob= ::):grin:bye:see you\r\n"), std::string::npos);

  again.TypePhrase(":)");
  ASSERT_TRUE(again.deleteEnabled());
  ASSERT_TRUE(again.Delete().ok);
  EXPECT_NE(Ini().find("Bob=bye:see you\r\n"), std::string::npos);
  again.TypePhrase("bye");
  ASSERT_TRUE(again.Delete().ok);  // the last phrase takes the key with it
  EXPECT_EQ(Ini().find("Bob"), std::string::npos);

  // A greeting has its colons doubled; a message is stored as typed.
  page.ChooseType(2);
  EXPECT_FALSE(page.phraseEnabled());
  page.TypeName("*");
  page.SetResponseText("Welcome :)");
  ASSERT_TRUE(page.Save().ok);
  EXPECT_NE(Ini().find("[AutoGreet]\r\n*=Welcome ::)\r\n"), std::string::npos);
  page.ChooseType(4);
  EXPECT_FALSE(page.nameEnabled());
  EXPECT_EQ(page.responseText(), "/time");  // the message in use
  EXPECT_TRUE(page.deleteEnabled());
  page.SetResponseText("/join Clan:Home");
  ASSERT_TRUE(page.Save().ok);
  EXPECT_EQ(LoadBotSettings(ini).joinMsg, "/join Clan:Home");

  // Refused: a name with a colon would never be found again; line ends.
  page.ChooseType(0);
  page.TypeName("a:b");
  page.TypePhrase("hi");
  page.SetResponseText("yo");
  EXPECT_FALSE(page.Save().ok);
  page.TypeName("ok");
  page.TypePhrase("hi");
  page.SetResponseText("two\nlines");
  EXPECT_FALSE(page.Save().ok);
  EXPECT_EQ(ProfileFile::KeyNames("AutoRespond", ini), Strings{});

  // Phrases added by hand since the list was filled are kept by a save.
  ASSERT_TRUE(ProfileFile::Write("AutoRespond", "Carl", "hi:hello", ini));
  page.TypeName("Carl");
  page.TypePhrase("HI");
  page.SetResponseText("hey");
  ASSERT_TRUE(page.Save().ok);
  page.TypePhrase("yo");
  page.SetResponseText("sup");
  ASSERT_TRUE(page.Save().ok);
  EXPECT_NE(Ini().find("Carl=hi:hey:yo:sup\r\n"), std::string::npos);
}

// ---- Heirs page

TEST(HeirsPage, InsertAtOneWithTenHeirsDropsTheLastAndDeleteAtTenEmptiesIt) {
  HeirTable heirs;
  for (int i = 0; i < HeirTable::kSlots; ++i) heirs.names[static_cast<size_t>(i)] = "h" + std::to_string(i);
  heirs.present[0] = true;
  heirs.designated = 0;
  HeirsPage page(heirs);
  EXPECT_EQ(page.priority(), 1);
  EXPECT_EQ(page.mode(), HeirsPage::Mode::Insert);
  page.SetNewName("first");
  ASSERT_TRUE(page.Add().ok);
  EXPECT_EQ(heirs.names, (std::array<std::string, 10>{"first", "h0", "h1", "h2", "h3", "h4", "h5", "h6", "h7",
                                                      "h8"}));
  EXPECT_TRUE(heirs.present[1]);  // presence and the designation follow the name
  EXPECT_FALSE(heirs.present[0]);
  EXPECT_EQ(heirs.designated, 1);

  page.StepPriority(+20);
  EXPECT_EQ(page.priority(), 10);
  EXPECT_EQ(page.currentName(), "h8");
  page.Delete();
  EXPECT_TRUE(IsUnset(heirs.names[9]));
  EXPECT_EQ(page.currentName(), "");
  EXPECT_EQ(heirs.names[8], "h7");

  page.StepPriority(-20);
  EXPECT_EQ(page.priority(), 1);
  page.SetMode(HeirsPage::Mode::Replace);
  page.SetNewName("a-name-of-more-than-nineteen");
  ASSERT_TRUE(page.Add().ok);
  EXPECT_EQ(heirs.names[0], "a-name-of-more-than");
  EXPECT_EQ(heirs.names[1], "h0");

  EXPECT_FALSE(page.SetPriority("11").ok);
  EXPECT_FALSE(page.SetPriority("0").ok);
  EXPECT_EQ(page.priority(), 1);
  page.SetNewName("two words");
  EXPECT_FALSE(page.Add().ok);
  EXPECT_EQ(heirs.names[0], "a-name-of-more-than");
}

// ---- Restrictions page and the sheet's OK

TEST_F(ResponseSheetTest, RestrictionsRefuseLimitsOutOfRangeAndOkWritesPasswordsAndHeirs) {
  BotSettings current = LoadBotSettings(ini);
  current.restrictions.NumSC = 4;
  current.whisperPassword = "old";
  RestrictionsPage page(ini, current);
  EXPECT_EQ(page.maxText(), "-1");
  page.ChooseType(1);  // "StarCraft"
  EXPECT_EQ(page.maxText(), "4");
  for (int i = 0; i < 120; ++i) page.StepMax(+1);
  EXPECT_EQ(page.maxText(), "99");

  const std::string before = Ini();
  for (const char* bad : {"100", "-2", "x"}) {
    page.SetMaxText(bad);
    PageOutcome saved = page.Save();
    EXPECT_FALSE(saved.ok) << bad;
    EXPECT_EQ(saved.message, "Max must be a number from -1 to 99.");
  }
  EXPECT_EQ(Ini(), before);
  page.SetMaxText("-1");
  ASSERT_TRUE(page.Save().ok);
  page.ChooseType(0);
  page.SetMaxText("2");
  ASSERT_TRUE(page.Save().ok);
  EXPECT_EQ(LoadBotSettings(ini).restrictions.NumSC, -1);
  EXPECT_EQ(LoadBotSettings(ini).restrictions.NumBots, 2);

  HeirTable heirs;
  heirs.names.fill(std::string(kUnset));
  heirs.names[0] = "[xX]Bob";
  heirs.names[1] = "ann";
  EXPECT_EQ(page.whisperPassword(), "old");
  page.SetChannelPassword("ch=[1]");
  page.SetWhisperPassword(std::string(30, 'w'));
  EXPECT_FALSE(WriteResponseSheet(ini, page, heirs).ok);  // too long: nothing written
  EXPECT_EQ(LoadBotSettings(ini).channelPassword, "");
  page.SetWhisperPassword("wh");
  ASSERT_TRUE(WriteResponseSheet(ini, page, heirs).ok);

  BotSettings loaded = LoadBotSettings(ini);
  EXPECT_EQ(loaded.channelPassword, "ch=[1]");
  EXPECT_EQ(loaded.whisperPassword, "wh");
  EXPECT_EQ(loaded.designate[0], "[xX]Bob");
  EXPECT_EQ(loaded.designate[1], "ann");
  EXPECT_TRUE(IsUnset(loaded.designate[2]));
  // Writing again changes nothing: empty slots add no blank lines.
  const std::string once = Ini();
  ASSERT_TRUE(WriteResponseSheet(ini, page, heirs).ok);
  EXPECT_EQ(Ini(), once);
}

TEST(ResponseSheetWithBot, PagesActOnTheRunningBotAndOkReloadsIt) {
  TempDir dir;
  dir.write("Bot.ini", Crlf("[AutoDesignate]\nDesignate0=ann\n"));
  testing::RecordingDisplay display;
  testing::TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  ChatBot& bot = doc.Bot();

  HeirsPage heirs(bot.Heirs());
  EXPECT_EQ(heirs.currentName(), "ann");
  heirs.SetNewName("bob");
  ASSERT_TRUE(heirs.Add().ok);
  EXPECT_EQ(bot.Heirs().names[1], "ann");

  // Saving a response reloads the bot's tables but keeps the edited heirs.
  ResponsesPage responses(doc.Paths().botIni, &bot);
  responses.ChooseType(0);
  responses.TypeName("*");
  responses.TypePhrase("!time");
  responses.SetResponseText("late");
  ASSERT_TRUE(responses.Save().ok);
  EXPECT_EQ(bot.AutoRespondTable().names(), Strings{"*"});
  EXPECT_EQ(bot.Heirs().names[0], "bob");

  RestrictionsPage restrictions(doc.Paths().botIni, bot.Settings());
  restrictions.SetChannelPassword("open");
  ASSERT_TRUE(ApplyResponseSheet(bot, restrictions).ok);
  EXPECT_EQ(bot.Settings().channelPassword, "open");
  EXPECT_EQ(bot.Settings().designate[0], "bob");
  EXPECT_EQ(bot.Heirs().names[1], "ann");
}

}  // namespace
}  // namespace tolvik
