// The Login, Servers and Toggles pages of the bot configuration, on real
// Bot.ini files, and the owner-only mode of Bot.ini.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "settings/config.h"
#include "net/connection_state.h"
#include "app/document.h"
#include "storage/private_profile.h"
#include "storage/profile_file.h"
#include "settings/font_records.h"
#include "app/sheets/fonts_page.h"
#include "app/sheets/login_page.h"
#include "app/sheets/servers_page.h"
#include "app/sheets/toggles_page.h"
#include "net/chat_connection.h"
#include "support/crlf.h"
#include "support/recording_display.h"
#include "support/file_mode.h"
#include "support/temp_dir.h"
#include "support/test_host.h"

namespace tolvik {
namespace {

using testing::Crlf;
using testing::ModeOf;
using testing::TempDir;

class ConfigSheetTest : public ::testing::Test {
 protected:
  ConfigSheetTest() { dir.write("Bot.ini", Crlf("[Init]\nLogin=old\nPassword=oldpw\nServer=east.example\n")); }
  std::string Ini() const { return dir.read("Bot.ini"); }

  TempDir dir;
  const std::string ini = dir.file("Bot.ini");
};

TEST_F(ConfigSheetTest, LoginWithoutSavePasswordStoresTheUnsetMarkerButTheRunUsesTheTypedPassword) {
  LoginSettings login = LoadLoginSettings(ini);
  ChatConnection bot;
  LoginPage page;
  page.Load(login);
  EXPECT_EQ(page.userName(), "old");
  page.setUserName("a-name-longer-than-fifteen");
  page.setPassword("p=[w]");
  page.setHomeChannel("Clan Home");
  page.setSavePassword(false);
  page.setLoginOnStartup(true);
  ASSERT_TRUE(page.Apply(ini, login, bot).ok);

  EXPECT_EQ(login.login, "a-name-longer-t");  // the 15-character entry limit
  EXPECT_EQ(login.password, "p=[w]");
  EXPECT_STREQ(bot.Password(), "p=[w]");
  EXPECT_STREQ(bot.Server(), "east.example");  // the document's current server
  EXPECT_STREQ(bot.HomeChannel(), "Clan Home");

  // The next start has no password but the rest of what was typed.
  LoginSettings next = LoadLoginSettings(ini);
  EXPECT_TRUE(IsUnset(next.password));
  EXPECT_EQ(next.login, "a-name-longer-t");
  EXPECT_EQ(next.channel, "Clan Home");
  EXPECT_TRUE(next.autoLogin);
  EXPECT_FALSE(next.savePassword);
  EXPECT_EQ(Ini().find("oldpw"), std::string::npos);

  // Ticked, the password survives with its "=" and brackets.
  page.setSavePassword(true);
  ASSERT_TRUE(page.Apply(ini, login, bot).ok);
  EXPECT_EQ(LoadLoginSettings(ini).password, "p=[w]");
}

TEST_F(ConfigSheetTest, AnAddedServerOutlivesCancelAndOkWithoutSaveIsForThisRunOnly) {
  {
    ServersPage page;
    page.Load(ini, "east.example");
    EXPECT_TRUE(page.servers().empty());  // no ServerList stored
    ASSERT_TRUE(page.AddServer("west.example").ok);
    ASSERT_TRUE(page.AddServer("east.example").ok);
    // The page goes without OK (Cancel).
  }
  EXPECT_EQ(LoadServerList(ini), "west.example;east.example");  // no unset marker in front

  LoginSettings login = LoadLoginSettings(ini);
  ServersPage page;
  page.Load(ini, login.server);
  ASSERT_EQ(page.servers(), (std::vector<std::string>{"west.example", "east.example"}));
  EXPECT_EQ(page.selectedIndex(), 1);  // the current server
  page.Select(0);
  std::string status = "east.example";
  page.Apply(login, Connected, status);
  EXPECT_EQ(login.server, "west.example");
  EXPECT_EQ(status, "east.example");  // a connection is under way: its server stays shown
  page.Apply(login, NotConnected, status);
  EXPECT_EQ(status, "west.example");
  EXPECT_EQ(LoadLoginSettings(ini).server, "east.example");  // Bot.ini keeps its own

  ASSERT_TRUE(page.SaveSelected(login).ok);
  EXPECT_EQ(LoadLoginSettings(ini).server, "west.example");

  // Bad names are refused and the list is left alone.
  EXPECT_FALSE(page.AddServer("two words").ok);
  EXPECT_FALSE(page.AddServer("a;b").ok);
  EXPECT_FALSE(page.AddServer(std::string(30, 'x')).ok);
  EXPECT_EQ(LoadServerList(ini), "west.example;east.example");

  page.Select(0);
  ASSERT_TRUE(page.DeleteSelected().ok);
  EXPECT_EQ(LoadServerList(ini), "east.example");
}

TEST_F(ConfigSheetTest, AddServerSelectsTheNewEntryForOk) {
  ServersPage page;
  page.Load(ini, "east.example");
  ASSERT_TRUE(page.AddServer("west.example").ok);
  EXPECT_EQ(page.selectedIndex(), 0);
  ASSERT_TRUE(page.AddServer(" north.example ").ok);
  EXPECT_EQ(page.selectedIndex(), 1);
  EXPECT_EQ(page.selectedServer(), "north.example");
  // A refused name leaves the selection where it was.
  EXPECT_FALSE(page.AddServer("bad name").ok);
  EXPECT_EQ(page.selectedServer(), "north.example");
}

TEST_F(ConfigSheetTest, OkSavesTheServerOnlyWhileBotIniHasNone) {
  testing::RecordingDisplay display;
  testing::TestHost host;
  CHaldenDoc doc(dir.path().string(), display, host);
  {
    ServersPage page;
    page.Load(ini, doc.Login().server);
    ASSERT_TRUE(page.AddServer("west.example").ok);
    ASSERT_TRUE(page.Apply(doc).ok);
  }
  EXPECT_EQ(doc.Login().server, "west.example");
  EXPECT_EQ(LoadLoginSettings(ini).server, "east.example");  // a stored server stays until Save

  ASSERT_TRUE(PrivateProfile::DeleteKey("Init", "Server", ini));
  ASSERT_TRUE(IsUnset(LoadLoginSettings(ini).server)) << Ini();
  {
    // None stored: the server this run uses is kept for the next start.
    ServersPage page;
    page.Load(ini, doc.Login().server);
    ASSERT_TRUE(page.Apply(doc).ok);
    EXPECT_EQ(LoadLoginSettings(ini).server, "west.example");
  }
  ASSERT_TRUE(PrivateProfile::DeleteKey("Init", "Server", ini));
  doc.Login().server = std::string(kUnset);
  ServersPage page;
  page.Load(ini, doc.Login().server);
  ASSERT_TRUE(page.Apply(doc).ok);  // nothing chosen, nothing in use: nothing written
  EXPECT_TRUE(IsUnset(LoadLoginSettings(ini).server));
  ASSERT_TRUE(page.AddServer("north.example").ok);
  ASSERT_TRUE(page.Apply(doc).ok);
  EXPECT_EQ(LoadLoginSettings(ini).server, "north.example");
}

TEST(FirstRun, MissingValuesInTheOrderOfTheSheetAndWhoNeedsSetup) {
  LoginSettings login;
  EXPECT_EQ(FirstMissingLoginValue(login), MissingLoginValue::Login);
  EXPECT_TRUE(NeedsFirstRunSetup(login));
  login.login = "acct";
  EXPECT_EQ(FirstMissingLoginValue(login), MissingLoginValue::Password);
  EXPECT_TRUE(NeedsFirstRunSetup(login));  // no server yet
  login.server = "east.example";
  // A password left unsaved on purpose is asked for at connect, not at every start.
  EXPECT_FALSE(NeedsFirstRunSetup(login));
  EXPECT_EQ(FirstMissingLoginValue(login), MissingLoginValue::Password);
  login.password = "pw";
  EXPECT_EQ(FirstMissingLoginValue(login), MissingLoginValue::None);
  login.server = std::string(kUnset);
  EXPECT_EQ(FirstMissingLoginValue(login), MissingLoginValue::Server);
  EXPECT_TRUE(NeedsFirstRunSetup(login));
}

TEST(FirstRun, ANewProfileStartsWithSavePasswordAndLoginOnStartupTicked) {
  LoginPage page;
  page.Load(LoginSettings{});
  EXPECT_TRUE(page.savePassword());
  EXPECT_TRUE(page.loginOnStartup());

  // Any sign of an earlier setup keeps the stored choices.
  LoginSettings named;
  named.login = "acct";
  page.Load(named);
  EXPECT_FALSE(page.savePassword());
  EXPECT_FALSE(page.loginOnStartup());
  LoginSettings with_server;
  with_server.server = "east.example";
  page.Load(with_server);
  EXPECT_FALSE(page.savePassword());
  LoginSettings saving;
  saving.savePassword = true;
  page.Load(saving);
  EXPECT_TRUE(page.savePassword());
  EXPECT_FALSE(page.loginOnStartup());
}

TEST_F(ConfigSheetTest, LastUsedStoresTwoPlusTheStateInUseAndSwitchingRowsWritesTheFirstAtOnce) {
  Toggles in_use;
  in_use.AutoRespond.state = true;
  in_use.IdLogging.state = false;
  TogglesPage page(ini, in_use);
  EXPECT_FALSE(page.buttonsEnabled());

  ASSERT_TRUE(page.SelectRow(1).ok);  // "Auto-Responder"
  EXPECT_EQ(page.checked(), TogglesPage::Setting::On);  // no key: its own default
  page.Choose(TogglesPage::Setting::LastUsed);
  ASSERT_TRUE(page.SelectRow(3).ok);  // "Account Logging": the first choice is written now
  EXPECT_EQ(PrivateProfile::ReadInt("Toggles", "AutoRespond", 0, ini), 3);
  EXPECT_EQ(page.checked(), TogglesPage::Setting::Off);  // IdLogging is off by default

  page.Choose(TogglesPage::Setting::LastUsed);
  EXPECT_EQ(page.chosenValue(), 2);
  EXPECT_EQ(PrivateProfile::ReadInt("Toggles", "IdLogging", -5, ini), -5);  // not before OK
  ASSERT_TRUE(page.Apply().ok);
  EXPECT_EQ(PrivateProfile::ReadInt("Toggles", "IdLogging", -5, ini), 2);

  // Looking at a row without choosing writes nothing.
  ASSERT_TRUE(page.SelectRow(5).ok);
  ASSERT_TRUE(page.SelectRow(0).ok);
  EXPECT_EQ(Ini().find("ViewPings"), std::string::npos);
  // A stored 3 shows as "Last Used"; the next start has it on and saving flips.
  ASSERT_TRUE(page.SelectRow(1).ok);
  EXPECT_EQ(page.checked(), TogglesPage::Setting::LastUsed);
  EXPECT_TRUE(LoadToggles(ini).AutoRespond.save);
}

TEST_F(ConfigSheetTest, FontsListUrlsBeforeHighlightsAndWriteTheChosenTypesRecordAtOnce) {
  FontsPage page(ini);
  EXPECT_FALSE(page.fontEnabled());
  EXPECT_FALSE(page.SaveRecord(DefaultTextFormat()).ok);

  page.Select(8);
  ASSERT_EQ(std::string(FontsPage::kRows[8].label), "URLs");
  EXPECT_EQ(page.selectedType(), TextType::URLs);
  EXPECT_EQ(page.Record(), DefaultUrlFormat());  // nothing stored: underlined link

  page.Select(9);  // "Highlights"
  TextFormat chosen = DefaultTextFormat();
  chosen.colour = 0x000000FF;
  chosen.effects = kCfeBold;
  ASSERT_TRUE(page.SaveRecord(chosen).ok);
  // Written before any OK, under the Highlighted key only.
  TextFormats stored = LoadTextFormats(ini);
  EXPECT_EQ(stored[TextTypeIndex(TextType::Highlighted)].colour, 0x000000FFu);
  EXPECT_EQ(stored[TextTypeIndex(TextType::URLs)], DefaultUrlFormat());
  EXPECT_EQ(page.Record().colour, 0x000000FFu);
}

TEST(BotIniMode, CreatedForItsOwnerOnlyAndKeptThroughRewrites) {
  TempDir dir;
  const std::string ini = dir.file("Bot.ini");
  {
    testing::RecordingDisplay display;
    testing::TestHost host;
    CHaldenDoc doc(dir.path().string(), display, host);
  }
  EXPECT_EQ(ModeOf(ini), 0600u);
  ASSERT_TRUE(ProfileFile::Write("Init", "Password", "secret", ini));
  ASSERT_TRUE(PrivateProfile::WriteString("Init", "AutoLogin", "1", ini));
  EXPECT_EQ(ModeOf(ini), 0600u);

  // The private-profile writer makes a missing file owner-only too.
  const std::string other = dir.file("made.ini");
  ASSERT_TRUE(PrivateProfile::WriteString("S", "k", "v", other));
  EXPECT_EQ(ModeOf(other), 0600u);

  // An existing file's mode is its owner's business.
  dir.write("open.ini", Crlf("[S]\nk=v\n"));
  ASSERT_EQ(::chmod(dir.file("open.ini").c_str(), 0644), 0);
  ASSERT_TRUE(PrivateProfile::WriteString("S", "k", "w", dir.file("open.ini")));
  EXPECT_EQ(ModeOf(dir.file("open.ini")), 0644u);
}

}  // namespace
}  // namespace tolvik
