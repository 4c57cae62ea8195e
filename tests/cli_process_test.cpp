// tolvik-cli as a real process: logs in to the scripted gateway, shows the
// channel, sends what is typed, and runs the close sequence on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "storage/instance_lock.h"
#include "cli_login.h"
#include "cli_process.h"
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

TEST(CliProcess, LogsInShowsTheChannelSendsTypedLinesAndLeavesOnSigterm) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", CliBotIni(gateway, "[AutoSend]\r\nLeave=see you\r\n[Toggles]\r\nViewEnterLeave=2\r\n"));
  CliProcess cli({"--dir", dir.path().string()});
  ASSERT_TRUE(gateway.waitForClients(1));
  EXPECT_TRUE(gateway.selectorOk());
  gateway.send("Enter your account name and password.\r\n");
  ASSERT_TRUE(gateway.waitForReceived("acct\r\npw\r\n"));
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n1005 TALK ann 0000 \"hi bot\"\r\n");
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("-- Status: Connected: " + gateway.address())) << cli.output();

  cli.Type("hello channel\n");
  ASSERT_TRUE(gateway.waitForReceived("hello channel\n"));
  ASSERT_TRUE(cli.WaitOutput("<acct> hello channel")) << cli.output();

  // A remembered toggle switched from the terminal is written back.
  cli.Type("//toggle viewenterleave\n");
  ASSERT_TRUE(cli.WaitOutput("-- ViewEnterLeave: on")) << cli.output();
  EXPECT_NE(cli.output().find("Enter/Leave Notifications On"), std::string::npos);
  EXPECT_NE(dir.read("Bot.ini").find("ViewEnterLeave=3"), std::string::npos) << dir.read("Bot.ini");

  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_TRUE(gateway.waitForReceived("see you\n"));
  EXPECT_TRUE(gateway.waitForClientClose());
  // Output to a pipe is plain text.
  EXPECT_EQ(cli.output().find("\x1b["), std::string::npos);
}

// Logs the program in to the gateway, up to the home channel.
void LogIn(ScriptedGateway& gateway, CliProcess& cli) {
  testing::PlayCliLogin(gateway);
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
}

std::string BotIniWithLeaveLine(const ScriptedGateway& gateway) {
  return CliBotIni(gateway, "[AutoSend]\r\nLeave=see you\r\n");
}

// A lost terminal (SIGHUP) closes as SIGTERM does, and does not wait for a
// page alarm still sounding (two groups of three beeps, over five seconds).
// The bell rings only on a terminal, so this runs on one.
TEST(CliProcess, SighupRunsTheCloseSequenceWithoutWaitingForThePageAlarm) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", BotIniWithLeaveLine(gateway));
  CliProcess cli(CliStart{{"--dir", dir.path().string()}, {{"TERM", "xterm"}}, true});
  LogIn(gateway, cli);
  gateway.send("1004 WHISPER ann 0000 \"/page\"\r\n");
  ASSERT_TRUE(cli.WaitOutput("\a")) << cli.output();

  cli.Signal(SIGHUP);
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_TRUE(gateway.waitForReceived("see you\n"));
  EXPECT_TRUE(gateway.waitForClientClose());
  const auto bells = std::count(cli.output().begin(), cli.output().end(), '\a');
  EXPECT_GE(bells, 1);
  EXPECT_LT(bells, 6);
}

// A second stop signal while the close sequence runs (it waits up to half a
// second for the server to close its side) ends the program at once.
TEST(CliProcess, ASecondStopSignalEndsAtOnce) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", BotIniWithLeaveLine(gateway));
  CliProcess cli({"--dir", dir.path().string()});
  LogIn(gateway, cli);
  cli.Signal(SIGTERM);
  ASSERT_TRUE(gateway.waitForReceived("see you\n"));  // the close sequence has begun
  cli.Signal(SIGTERM);
  EXPECT_EQ(cli.Wait(), -1);
  EXPECT_EQ(cli.EndingSignal(), SIGTERM);
}

// A stop signal while a script hook runs (its time limit is longer than the
// program's close limit) cuts the hook short, and the close sequence runs as
// ever: the Leave line goes out and the program ends with status 0. Both a
// busy loop and a script blocked in a command.
TEST(CliProcess, AStopSignalCutsARunningScriptShortAndClosesNormally) {
  for (const char* body : {"while 1 {}\n", "exec sleep 30\n"}) {
    ScriptedGateway gateway;
    TempDir dir;
    dir.write("Bot.ini", BotIniWithLeaveLine(gateway));
    std::filesystem::create_directory(dir.path() / "scripts");
    dir.write("scripts/stuck.tcl", std::string("BnetSend started\n") + body);
    dir.write("script.ini", "[Talk]\r\n!stuck=scripts/stuck.tcl\r\n");
    CliProcess cli({"--dir", dir.path().string()});
    LogIn(gateway, cli);
    gateway.send("1005 TALK ann 0000 \"!stuck\"\r\n");
    ASSERT_TRUE(gateway.waitForReceived("started\n")) << body;  // the hook is running
    cli.Signal(SIGTERM);
    EXPECT_EQ(cli.Wait(), 0) << body << cli.output();
    EXPECT_TRUE(gateway.waitForReceived("see you\n")) << body;
    EXPECT_NE(cli.output().find("was stopped: the bot is closing"), std::string::npos) << cli.output();
    EXPECT_EQ(cli.output().find("closing took too long"), std::string::npos) << cli.output();
  }
}

TEST(CliProcess, MissingLoginValuesWithoutATerminalNameTheKeys) {
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\n");
  CliProcess cli({"--dir", dir.path().string()});
  EXPECT_NE(cli.Wait(), 0);
  EXPECT_NE(cli.output().find("Password, Server"), std::string::npos) << cli.output();
}

TEST(CliProcess, ReindexRebuildsTheAliasDatabase) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() + "\r\n");
  // Two records of one pair and no index.
  const std::string bob = std::string("\x11\0\0\0", 4) + "Bob ";
  dir.write("Aliases.db", bob + bob);
  CliProcess cli({"--dir", dir.path().string()});
  cli.Type("//reindex\n");
  ASSERT_TRUE(cli.WaitOutput("-- Alias database: 1 records indexed")) << cli.output();
  EXPECT_NE(cli.output().find("Done!"), std::string::npos);
  EXPECT_EQ(dir.read("Aliases.db"), bob);
  EXPECT_EQ(dir.read("Aliases.Idx"), std::string(8, '\0'));
  cli.Type("//quit\n");
  EXPECT_EQ(cli.Wait(), 0);
}

TEST(CliProcess, HelpAndBadArguments) {
  CliProcess help({"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.output().find("Usage: tolvik-cli"), std::string::npos);
  EXPECT_NE(help.output().find("--profile=NAME"), std::string::npos);
  CliProcess bad({"--dir", "/no/such/dir"});
  EXPECT_EQ(bad.Wait(), 2);
}

// Runs a shell command line; its standard output and exit status.
std::pair<std::string, int> Shell(const std::string& command) {
  FILE* p = popen(command.c_str(), "r");
  std::string out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int status = pclose(p);
  return {out, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST(CliExitCodes, ABadOptionPrintsTheUsageToStandardErrorAndEndsWithTwo) {
  const std::string cli = TOLVIK_CLI_PATH;
  for (const char* args : {"--bogus", "-x", "--dir", "--color=sometimes", "stray"}) {
    auto [out, status] = Shell(cli + " " + args + " 2>/dev/null");
    EXPECT_EQ(status, 2) << args;
    EXPECT_EQ(out, "") << args;
    auto [err, status2] = Shell(cli + " " + args + " 2>&1 >/dev/null");
    EXPECT_NE(err.find("Usage: tolvik-cli"), std::string::npos) << args << ": " << err;
  }
  // A profile name that is not one is a bad argument too.
  CliProcess up({"--profile", "../up"});
  EXPECT_EQ(up.Wait(), 2);
  EXPECT_NE(up.output().find("not a profile name"), std::string::npos) << up.output();
  CliProcess bogus({"--bogus"});
  EXPECT_EQ(bogus.Wait(), 2);
  EXPECT_NE(bogus.output().find("tolvik-cli: unknown option '--bogus'"), std::string::npos) << bogus.output();
}

TEST(CliExitCodes, VersionNamesTheLicenceAndTheProject) {
  for (const char* option : {"-V", "--version"}) {
    CliProcess version({option});
    EXPECT_EQ(version.Wait(), 0);
    EXPECT_EQ(version.output().rfind(std::string("tolvik-cli ") + TOLVIK_VERSION + "\n", 0), 0u) << version.output();
    EXPECT_NE(version.output().find("GPL-3.0-or-later"), std::string::npos);
    EXPECT_NE(version.output().find(TOLVIK_HOMEPAGE), std::string::npos);
  }
}

TEST(CliExitCodes, ADirectoryInUseByAnotherProgramEndsWithFour) {
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\n");
  InstanceLock other;
  ASSERT_TRUE(other.Acquire(dir.path().string()));
  CliProcess cli({"--dir", dir.path().string()});
  EXPECT_EQ(cli.Wait(), 4);
  EXPECT_NE(cli.output().find(dir.path().string()), std::string::npos) << cli.output();
  EXPECT_NE(cli.output().find("pid " + std::to_string(getpid())), std::string::npos) << cli.output();
  // Refused before touching the directory's files.
  EXPECT_EQ(dir.read("Bot.ini"), "[Init]\r\nLogin=acct\r\n");
  // Once the other program is gone, the directory is free again (status 3: no password).
  other.Release();
  CliProcess again({"--dir", dir.path().string()});
  EXPECT_EQ(again.Wait(), 3);
}

// Without --dir the program runs in a profile under the user's data directory.
TEST(CliProfiles, DefaultProfileAndNamedProfileUnderTheDataDirectory) {
  TempDir data;
  const std::string root = data.path().string() + "/tolvik/";
  CliProcess plain(CliStart{{}, {{"XDG_DATA_HOME", data.path().string()}}, false});
  EXPECT_EQ(plain.Wait(), 3);  // a fresh profile has no login values
  EXPECT_NE(plain.output().find(root + "default"), std::string::npos) << plain.output();
  EXPECT_TRUE(std::filesystem::exists(root + "default/Bot.ini"));

  CliProcess named(CliStart{{"--profile", "bot2"}, {{"XDG_DATA_HOME", data.path().string()}}, false});
  EXPECT_EQ(named.Wait(), 3);
  EXPECT_TRUE(std::filesystem::exists(root + "bot2/Bot.ini"));

  // --dir wins over --profile.
  TempDir dir;
  CliProcess both(CliStart{{"--profile", "bot3", "--dir", dir.path().string()},
                           {{"XDG_DATA_HOME", data.path().string()}}, false});
  EXPECT_EQ(both.Wait(), 3);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "Bot.ini"));
  EXPECT_FALSE(std::filesystem::exists(root + "bot3"));
}

TEST(CliTypedLines, LocalHelpAndLinesWhileNotConnectedStayOffTheWire) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", BotIniWithLeaveLine(gateway));
  CliProcess cli({"--dir", dir.path().string()});
  ASSERT_TRUE(gateway.waitForClients(1));
  // Connected to the socket but not logged in yet.
  cli.Type("//help\n");
  ASSERT_TRUE(cli.WaitOutput("//quit")) << cli.output();
  EXPECT_NE(cli.output().find("//toggle NAME"), std::string::npos);
  cli.Type("hello too early\n");
  ASSERT_TRUE(cli.WaitOutput("-- Not connected: the line was not sent")) << cli.output();
  cli.Type("//nosuch thing\n");
  ASSERT_TRUE(cli.WaitOutput("-- Unknown command //nosuch")) << cli.output();

  testing::PlayCliLogin(gateway);
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
  cli.Type("now it goes\n");
  ASSERT_TRUE(gateway.waitForReceived("now it goes\n"));
  EXPECT_EQ(gateway.received().find("help"), std::string::npos) << gateway.received();
  EXPECT_EQ(gateway.received().find("too early"), std::string::npos) << gateway.received();
  EXPECT_EQ(gateway.received().find("nosuch"), std::string::npos) << gateway.received();
  // The page alarm rings only on a terminal; this output is a pipe.
  gateway.send("1004 WHISPER ann 0000 \"/page\"\r\n");
  cli.Type("//status\n");
  ASSERT_TRUE(cli.WaitOutput("-- Status: Connected")) << cli.output();
  std::this_thread::sleep_for(300ms);
  cli.Type("//quit\n");
  EXPECT_EQ(cli.Wait(), 0);
  EXPECT_EQ(cli.output().find('\a'), std::string::npos);
}

}  // namespace
}  // namespace tolvik
