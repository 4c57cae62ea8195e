// tolvik-cli's first run in a new profile, on a pseudo-terminal as a person
// sees it: the questions, their order, what is stored, and a second start
// that needs no terminal at all (as the service runs it).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>
#include <vector>

#include "settings/config.h"
#include "cli/first_run.h"
#include "cli_process.h"
#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using testing::CliProcess;
using testing::CliStart;
using testing::ScriptedGateway;
using testing::TempDir;

void LogIn(ScriptedGateway& gateway, CliProcess& cli, int client) {
  ASSERT_TRUE(gateway.waitForClients(client)) << cli.output();
  gateway.send("Enter your account name and password.\r\n");
  ASSERT_TRUE(gateway.waitForReceived("acct\r\nsecret pw\r\n")) << gateway.received();
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n");
  ASSERT_TRUE(cli.WaitOutput("-- Status: Connected")) << cli.output();
}

TEST(CliFirstRun, AsksServerLoginPasswordInThatOrderSavesThemAndTheNextStartConnectsAlone) {
  ScriptedGateway gateway;
  TempDir data;
  const std::string profile = data.file("tolvik/mybot");
  {
    CliProcess cli(CliStart{{"--profile", "mybot"}, {{"XDG_DATA_HOME", data.path().string()}, {"TERM", "xterm"}}, true});
    // The server first, with the forms it takes and the port used when none is given.
    ASSERT_TRUE(cli.WaitOutput("Server (host, host:port, [IPv6]:port or wss://...; port 6112 when none is given): "))
        << cli.output();
    EXPECT_EQ(cli.output().find("Login name"), std::string::npos);
    EXPECT_EQ(cli.output().find("Password"), std::string::npos);
    cli.Type("\r");  // nothing typed: asked again
    ASSERT_TRUE(cli.WaitOutput("given): \r\nServer (")) << cli.output();
    cli.Type(gateway.address() + "\r");
    ASSERT_TRUE(cli.WaitOutput("Login name: ")) << cli.output();
    EXPECT_EQ(cli.output().find("Password"), std::string::npos);
    cli.Type("acct\r");
    ASSERT_TRUE(cli.WaitOutput("Password: ")) << cli.output();
    cli.ClearOutput();
    cli.Type("secret pw\r");
    ASSERT_TRUE(cli.WaitOutput("so the next start connects by itself? [Y/n] ")) << cli.output();
    EXPECT_EQ(cli.output().find("secret pw"), std::string::npos) << "the password was echoed";
    EXPECT_EQ(gateway.clientCount(), 0);  // nothing goes out before the questions are done
    cli.Type("\r");                       // the default: save
    ASSERT_TRUE(cli.WaitOutput("-- Saved in Bot.ini: the next start connects by itself.")) << cli.output();
    LogIn(gateway, cli, 1);
    cli.Type("//quit\r");
    EXPECT_EQ(cli.Wait(), 0);
  }
  // Stored as the window's login page stores a new profile's values.
  const LoginSettings stored = LoadLoginSettings(profile + "/Bot.ini");
  EXPECT_EQ(stored.server, gateway.address());
  EXPECT_EQ(stored.login, "acct");
  EXPECT_EQ(stored.password, "secret pw");
  EXPECT_TRUE(stored.savePassword);
  EXPECT_TRUE(stored.autoLogin);
  struct stat st {};
  ASSERT_EQ(::stat((profile + "/Bot.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);

  // The next start, without a terminal (as the service runs it), logs in by itself.
  CliProcess again(CliStart{{"--profile", "mybot"}, {{"XDG_DATA_HOME", data.path().string()}}, false});
  LogIn(gateway, again, 2);
  EXPECT_EQ(again.output().find("Server ("), std::string::npos);
  again.Signal(SIGTERM);
  EXPECT_EQ(again.Wait(), 0);
}

// The same questions, answered by a reader, for what only they decide: an API
// key after a wss:// server, its longer limit, and a "no" to saving it.
TEST(CliFirstRun, AnApiServerAsksForAnApiKeyAndNoKeepsItOutOfBotIni) {
  TempDir dir;
  dir.write("Bot.ini", "");
  std::vector<std::string> prompts;
  const std::string server = "wss://chat.example.net/v1/rpc/chat";
  const std::string key(200, 'k');
  std::vector<std::string> answers = {server, "acct", key, "n"};
  size_t next = 0;
  LoginSettings login = LoadLoginSettings(dir.file("Bot.ini"));
  std::string note;
  ASSERT_TRUE(AskMissingLoginValues(
      login, dir.file("Bot.ini"),
      [&](const std::string& prompt, bool secret) -> std::optional<std::string> {
        prompts.push_back(prompt + (secret ? "(hidden)" : ""));
        if (next == answers.size()) return std::nullopt;
        return answers[next++];
      },
      note));
  ASSERT_EQ(prompts.size(), 4u);
  EXPECT_EQ(prompts[0], ServerPrompt());
  EXPECT_EQ(prompts[1], "Login name: ");
  EXPECT_EQ(prompts[2], "API key: (hidden)");
  EXPECT_NE(prompts[3].find("Save the API key"), std::string::npos);
  EXPECT_EQ(login.password, key.substr(0, kApiFieldLimit));  // used for this run
  const LoginSettings stored = LoadLoginSettings(dir.file("Bot.ini"));
  EXPECT_EQ(stored.server, server);
  EXPECT_EQ(stored.login, "acct");
  EXPECT_TRUE(IsUnset(stored.password));
  EXPECT_FALSE(stored.savePassword);
  EXPECT_NE(note.find("asks for again"), std::string::npos) << note;

  // Input that ends before the last value stores nothing.
  TempDir other;
  other.write("Bot.ini", "");
  answers = {"chat.example.net"};
  next = 0;
  LoginSettings partial = LoadLoginSettings(other.file("Bot.ini"));
  note.clear();
  EXPECT_FALSE(AskMissingLoginValues(
      partial, other.file("Bot.ini"),
      [&](const std::string&, bool) -> std::optional<std::string> {
        if (next == answers.size()) return std::nullopt;
        return answers[next++];
      },
      note));
  EXPECT_EQ(other.read("Bot.ini"), "");
}

// The service runs in the profile the programs compute; a profile directory
// left open to others by hand is made the owner's alone.
TEST(CliFirstRun, AProfileDirectoryOpenToOthersIsMadePrivate) {
  TempDir data;
  const std::string profile = data.file("tolvik/shared");
  ASSERT_EQ(::mkdir(data.file("tolvik").c_str(), 0755), 0);
  ASSERT_EQ(::mkdir(profile.c_str(), 0755), 0);
  ASSERT_EQ(::chmod(profile.c_str(), 0775), 0);
  CliProcess cli(CliStart{{"--profile", "shared"}, {{"XDG_DATA_HOME", data.path().string()}}, false});
  EXPECT_EQ(cli.Wait(), 3);  // no login values yet; the journal says how to give them
  EXPECT_NE(cli.output().find("run `tolvik-cli --profile shared` on a terminal once"), std::string::npos)
      << cli.output();
  struct stat st {};
  ASSERT_EQ(::stat(profile.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

}  // namespace
}  // namespace tolvik
