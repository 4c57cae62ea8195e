// tolvik-cli as a real process: logs in to the scripted gateway, shows the
// channel, sends what is typed, and runs the close sequence on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
  int Wait() {
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    WaitOutput("\x01", 100ms);  // drain what is left
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  void Signal(int sig) { kill(pid_, sig); }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
  bool exited_ = false;
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

TEST(CliProcess, MissingLoginValuesWithoutATerminalNameTheKeys) {
  TempDir dir;
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\n");
  CliProcess cli({"--dir", dir.path().string()});
  EXPECT_NE(cli.Wait(), 0);
  EXPECT_NE(cli.output().find("Password, Server"), std::string::npos) << cli.output();
}

TEST(CliProcess, HelpAndBadArguments) {
  CliProcess help({"--help"});
  EXPECT_EQ(help.Wait(), 0);
  EXPECT_NE(help.output().find("Usage: tolvik-cli"), std::string::npos);
  CliProcess bad({"--dir", "/no/such/dir"});
  EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace
}  // namespace tolvik
