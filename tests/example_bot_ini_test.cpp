// The annotated example Bot.ini shipped with the packages: every key in it is
// one the program reads, under its own section, and the loaders give back the
// value written there; a bot started on it logs in and uses it.
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "settings/config.h"
#include "app/daily_log.h"
#include "settings/say_tags.h"
#include "bot/responses.h"
#include "cli_process.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::CliProcess;
using testing::ScriptedGateway;
using testing::TempDir;

struct Entry {
  std::string section, key, value;
};

std::string ExampleText() {
  std::ifstream in(TOLVIK_EXAMPLE_BOT_INI, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The key lines of the file, as a reader of INI files sees them.
std::vector<Entry> Entries(const std::string& text) {
  std::vector<Entry> entries;
  std::istringstream lines(text);
  std::string line, section;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    const size_t eq = line.find('=');
    EXPECT_NE(eq, std::string::npos) << "not a key line: " << line;
    if (eq != std::string::npos) entries.push_back({section, line.substr(0, eq), line.substr(eq + 1)});
  }
  return entries;
}

std::string Flag(bool on) { return on ? "1" : "0"; }

TEST(ExampleBotIni, EveryKeyIsReadAndLoadsAsWritten) {
  const std::string text = ExampleText();
  ASSERT_FALSE(text.empty()) << TOLVIK_EXAMPLE_BOT_INI;
  TempDir dir;
  dir.write("Bot.ini", text);
  const std::string ini = dir.file("Bot.ini");
  const LoginSettings login = LoadLoginSettings(ini);
  const Toggles toggles = LoadToggles(ini);
  const BotSettings bot = LoadBotSettings(ini);
  const LoggingSettings logging = LoadLoggingSettings(ini);

  const std::vector<Entry> entries = Entries(text);
  ASSERT_GT(entries.size(), 50u);
  std::vector<std::string> sections;
  for (const Entry& e : entries) {
    SCOPED_TRACE("[" + e.section + "] " + e.key + "=" + e.value);
    if (std::find(sections.begin(), sections.end(), e.section) == sections.end()) sections.push_back(e.section);
    std::string loaded;
    if (e.section == "Init") {
      if (e.key == "Login") loaded = login.login;
      else if (e.key == "Password") loaded = login.password;
      else if (e.key == "Server") loaded = login.server;
      else if (e.key == "Channel") loaded = login.channel;
      else if (e.key == "AutoLogin") loaded = Flag(login.autoLogin);
      else if (e.key == "SavePassword") loaded = Flag(login.savePassword);
      else if (e.key == "ServerList") loaded = LoadServerList(ini);
      else ADD_FAILURE() << "not read";
    } else if (e.section == "Toggles") {
      const auto k = std::find_if(kToggleKeys.begin(), kToggleKeys.end(), [&](const ToggleKey& t) { return e.key == t.key; });
      ASSERT_NE(k, kToggleKeys.end()) << "not read";
      const Toggle t = toggles.*(k->field);
      loaded = std::to_string((t.state ? 1 : 0) | (t.save ? 2 : 0));
    } else if (e.section == "Commands") {
      const auto k = std::find_if(kCommandLevelKeys.begin(), kCommandLevelKeys.end(),
                                  [&](const CommandLevelKey& c) { return e.key == c.key; });
      ASSERT_NE(k, kCommandLevelKeys.end()) << "not read";
      loaded = std::to_string(bot.commands.*(k->field));
    } else if (e.section == "Restrictions") {
      const auto k = std::find_if(kRestrictionKeys.begin(), kRestrictionKeys.end(),
                                  [&](const RestrictionKey& r) { return e.key == r.key; });
      ASSERT_NE(k, kRestrictionKeys.end()) << "not read";
      loaded = std::to_string(bot.restrictions.*(k->field));
    } else if (e.section == "AutoSend") {
      if (e.key == "AntiIdleMsg") loaded = bot.antiIdleMsg;
      else if (e.key == "Join") loaded = bot.joinMsg;
      else if (e.key == "Leave") loaded = bot.leaveMsg;
      else ADD_FAILURE() << "not read";
    } else if (e.section == "Messages") {
      if (e.key == "Ping") loaded = LoadPingText(ini);
      else if (e.key.size() == 4 && e.key.rfind("Say", 0) == 0 && isdigit(static_cast<unsigned char>(e.key[3])))
        loaded = ReadSayTag(ini, e.key[3] - '0');
      else ADD_FAILURE() << "not read";
    } else if (e.section == "Security") {
      if (e.key == "ChannelPassword") loaded = bot.channelPassword;
      else ADD_FAILURE() << "not read";
    } else if (e.section == "AutoDesignate") {
      ASSERT_TRUE(e.key.size() == 10 && e.key.rfind("Designate", 0) == 0 && isdigit(static_cast<unsigned char>(e.key[9])))
          << "not read";
      loaded = bot.designate[static_cast<size_t>(e.key[9] - '0')];
    } else if (e.section == "Logging") {
      if (e.key == "DailyLogs") loaded = Flag(logging.dailyLogs);
      else if (e.key == "KeepDays") loaded = std::to_string(logging.keepDays);
      else ADD_FAILURE() << "not read";
    } else if (e.section == "AutoGreet" || e.section == "AutoPart" || e.section == "AutoRespond" ||
               e.section == "AutoRespondToEmote") {
      // Each key is a name pattern; the text is read at each match.
      ResponseTable table(e.section);
      table.Load(ini, nullptr);
      const std::vector<std::string>& names = table.names();
      EXPECT_NE(std::find(names.begin(), names.end(), e.key), names.end());
      continue;
    } else {
      ADD_FAILURE() << "a section the program does not read";
      continue;
    }
    EXPECT_EQ(loaded, e.value);
  }
  // Every section a new owner sets by hand is shown.
  for (const char* wanted : {"Init", "Toggles", "AutoSend", "Messages", "Commands", "Restrictions", "Security",
                             "AutoDesignate", "Logging", "AutoGreet", "AutoPart", "AutoRespond", "AutoRespondToEmote"})
    EXPECT_NE(std::find(sections.begin(), sections.end(), wanted), sections.end()) << wanted;
  // The level keys of every whispered and channel command are set, none left open to all.
  for (const char* key : {"Say", "Whisper", "WhisperTagged", "Me", "MeTagged", "Kick", "KickTagged", "Ban",
                          "BanTagged", "Unban", "Designate", "MakeOp", "Add", "Del", "Promote", "Demote", "Stats",
                          "Forward", "Help", "Join", "Rejoin", "Away", "Page", "AutoBan", "AutoKick", "Lookup", "Who",
                          "IP"})
    EXPECT_GE(*bot.commands.Find(key), 1) << key;
}

TEST(ExampleBotIni, ABotStartedOnItLogsInWithItsValues) {
  ScriptedGateway gateway;
  TempDir dir;
  std::string text = ExampleText();
  const std::string server = "Server=chat.example.net\n";
  const size_t at = text.find(server);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, server.size(), "Server=" + gateway.address() + "\n");
  dir.write("Bot.ini", text);

  CliProcess cli({"--dir", dir.path().string()});
  ASSERT_TRUE(gateway.waitForClients(1)) << cli.output();
  gateway.send("Enter your account name and password.\r\n");
  ASSERT_TRUE(gateway.waitForReceived("mybot\r\nsecret\r\n")) << gateway.received();
  gateway.send("2010 NAME mybot\r\n1007 CHANNEL \"My Channel\"\r\n");
  ASSERT_TRUE(gateway.waitForReceived("/me is here to keep the channel tidy.\n")) << gateway.received();
  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_NE(gateway.received().find("Back soon.\n"), std::string::npos) << gateway.received();
  EXPECT_EQ(cli.output().find("rror"), std::string::npos) << cli.output();
}

}  // namespace
}  // namespace tolvik
