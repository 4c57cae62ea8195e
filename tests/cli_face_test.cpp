// tolvik-cli --attach on a pseudo-terminal, against a tolvik-cli bot running
// in the same directory: what the face shows, what it sends, detaching, and
// attaching again to a bot that was restarted.
#include <gtest/gtest.h>

#include <string>

#include "cli_login.h"
#include "cli_process.h"
#include "settings/font_records.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::CliBotIni;
using testing::CliProcess;
using testing::CliStart;
using testing::ScriptedGateway;
using testing::TempDir;

// A bot as the service runs it: no terminal.
CliStart Bot(const TempDir& dir) { return CliStart{{"--dir", dir.path().string()}, {}, false}; }
CliStart FaceOnTerminal(const TempDir& dir) {
  return CliStart{{"--dir", dir.path().string(), "--attach"},
                  {{"TERM", "xterm"}, {"NO_COLOR", testing::kUnsetEnv}, {"COLORTERM", "truecolor"}},
                  true};
}

void LogIn(ScriptedGateway& gateway, CliProcess& bot, int client) {
  testing::PlayCliLogin(gateway, "1001 USER acct 0000 [CHAT]\r\n1001 USER Zebulon 0000 [STAR]\r\n", client);
  ASSERT_TRUE(bot.WaitOutput("-- Status: Connected")) << bot.output();
}

int Count(const std::string& all, const std::string& text) {
  int n = 0;
  for (size_t p = all.find(text); p != std::string::npos; p = all.find(text, p + 1)) ++n;
  return n;
}

TEST(CliFace, ShowsTheChannelSendsTypedLinesAndDetachesLeavingTheBotRunning) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", CliBotIni(gateway));
  TextFormat red = DefaultTextFormats()[TextTypeIndex(TextType::OthersText)];
  red.colour = 0x0000FF;
  ASSERT_TRUE(SaveTextFormat((dir.path() / "Bot.ini").string(), TextType::OthersText, red));
  CliProcess bot(Bot(dir));
  LogIn(gateway, bot, 1);

  CliProcess face(FaceOnTerminal(dir));
  ASSERT_TRUE(face.WaitOutput("-- Attached to the bot in " + dir.path().string())) << face.output();
  ASSERT_TRUE(face.WaitOutput("Joining Channel: Home")) << face.output();
  ASSERT_TRUE(face.WaitOutput("> ")) << face.output();
  gateway.send("1005 TALK Zebulon 0000 \"hello face\"\r\n");
  ASSERT_TRUE(face.WaitOutput("<Zebulon> hello face")) << face.output();
  // In the bot's colour for the text type, as on the bot's own terminal.
  EXPECT_NE(face.output().find("\x1b[38;2;255;0;0m<Zebulon> hello face"), std::string::npos) << face.output();

  // Tab completes from the bot's user list; Enter sends through the bot.
  face.Type("hi Zeb\t\r");
  ASSERT_TRUE(gateway.waitForReceived("hi Zebulon\n")) << gateway.received();
  ASSERT_TRUE(bot.WaitOutput("hi Zebulon")) << bot.output();
  face.Type("//toggle ViewEnterLeave\r");
  ASSERT_TRUE(face.WaitOutput("-- ViewEnterLeave: on")) << face.output();

  face.Type("//quit\r");
  EXPECT_EQ(face.Wait(), 0);
  EXPECT_NE(face.output().find("-- Detached; the bot carries on."), std::string::npos);
  EXPECT_EQ(Count(gateway.received(), "hi Zebulon"), 1);

  // The bot runs on: another face attaches and sees what came meanwhile.
  gateway.send("1005 TALK Zebulon 0000 \"after the face left\"\r\n");
  ASSERT_TRUE(bot.WaitOutput("after the face left")) << bot.output();
  CliProcess again(FaceOnTerminal(dir));
  ASSERT_TRUE(again.WaitOutput("after the face left")) << again.output();
  again.Type("\x04");  // Ctrl+D on an empty line detaches too
  EXPECT_EQ(again.Wait(), 0);
  bot.Signal(SIGTERM);
  EXPECT_EQ(bot.Wait(), 0);
}

TEST(CliFace, AttachesAgainToABotThatWasRestarted) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", CliBotIni(gateway));
  auto bot = std::make_unique<CliProcess>(Bot(dir));
  LogIn(gateway, *bot, 1);
  CliProcess face(FaceOnTerminal(dir));
  ASSERT_TRUE(face.WaitOutput("-- Attached to the bot")) << face.output();

  bot->Signal(SIGTERM);
  EXPECT_EQ(bot->Wait(), 0);
  ASSERT_TRUE(face.WaitOutput("-- The bot is closing; trying to attach again in ")) << face.output();
  face.ClearOutput();

  bot = std::make_unique<CliProcess>(Bot(dir));
  LogIn(gateway, *bot, 2);
  ASSERT_TRUE(face.WaitOutput("-- Attached to the bot", 30s)) << face.output();
  gateway.send("1005 TALK Zebulon 0000 \"second life\"\r\n");
  ASSERT_TRUE(face.WaitOutput("<Zebulon> second life")) << face.output();
  face.Type("//quit\r");
  EXPECT_EQ(face.Wait(), 0);
  bot->Signal(SIGTERM);
  EXPECT_EQ(bot->Wait(), 0);
}

}  // namespace
}  // namespace tolvik
