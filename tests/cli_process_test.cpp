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
#include <vector>

#include "support/scripted_gateway.h"
#include "support/temp_dir.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::ScriptedGateway;
using testing::TempDir;

// A child process with pipes on its standard input and output.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& args) {
    int in[2], out[2];
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      std::vector<char*> argv;
      std::string path = TOLVIK_CLI_PATH;
      argv.push_back(path.data());
      std::vector<std::string> copy = args;
      for (auto& a : copy) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(path.c_str(), argv.data());
      _exit(127);
    }
    close(in[0]);
    close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~CliProcess() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(stdin_);
    close(stdout_);
  }
  void Type(const std::string& line) { ASSERT_EQ(write(stdin_, line.data(), line.size()), (ssize_t)line.size()); }
  // Reads output until it contains `text`.
  bool WaitOutput(const std::string& text, std::chrono::milliseconds timeout = 10s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (output_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() >= deadline) return false;
      pollfd p{stdout_, POLLIN, 0};
      if (poll(&p, 1, 50) > 0) {
        char buf[4096];
        ssize_t n = read(stdout_, buf, sizeof buf);
        if (n <= 0) return output_.find(text) != std::string::npos;
        output_.append(buf, static_cast<size_t>(n));
      }
    }
    return true;
  }
  // The exit code, or -1 when a signal ended the process (see EndingSignal).
  int Wait() {
    waitpid(pid_, &status_, 0);
    exited_ = true;
    WaitOutput("\x01", 100ms);  // drain what is left
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  int EndingSignal() const { return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }
  void Signal(int sig) { kill(pid_, sig); }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::string output_;
};

TEST(CliProcess, LogsInShowsTheChannelSendsTypedLinesAndLeavesOnSigterm) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() +
                           "\r\nChannel=Home\r\n[AutoSend]\r\nLeave=see you\r\n[Toggles]\r\nViewEnterLeave=2\r\n");
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
  ASSERT_TRUE(gateway.waitForClients(1));
  gateway.send("Enter your account name and password.\r\n");
  ASSERT_TRUE(gateway.waitForReceived("acct\r\npw\r\n"));
  gateway.send("2010 NAME acct\r\n1007 CHANNEL \"Home\"\r\n");
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
}

std::string BotIniWithLeaveLine(const ScriptedGateway& gateway) {
  return "[Init]\r\nLogin=acct\r\nPassword=pw\r\nServer=" + gateway.address() +
         "\r\nChannel=Home\r\n[AutoSend]\r\nLeave=see you\r\n";
}

// A lost terminal (SIGHUP) closes as SIGTERM does, and does not wait for a
// page alarm still sounding (two groups of three beeps, over five seconds).
TEST(CliProcess, SighupRunsTheCloseSequenceWithoutWaitingForThePageAlarm) {
  ScriptedGateway gateway;
  TempDir dir;
  dir.write("Bot.ini", BotIniWithLeaveLine(gateway));
  CliProcess cli({"--dir", dir.path().string()});
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
  EXPECT_NE(help.output().find("//reindex"), std::string::npos);
  CliProcess bad({"--dir", "/no/such/dir"});
  EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace
}  // namespace tolvik
