// tolvik-cli as a real process against the loopback chat API server: the
// API key from Bot.ini, the channel shown, typed lines sent as requests, a
// whispered command answered, and the close sequence on SIGTERM.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/api_test_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace tolvik {
namespace {

using namespace std::chrono_literals;
using testing::ApiTestServer;
using testing::GetTestCa;
using testing::TempDir;

// tolvik-cli with its output on a pipe.
class ApiCli {
 public:
  explicit ApiCli(const std::string& dir) {
    int out[2];
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    pid_ = fork();
    if (pid_ == 0) {
      int null = open("/dev/null", O_RDONLY);
      dup2(null, STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      std::string path = TOLVIK_CLI_PATH, flag = "--dir", d = dir;
      char* argv[] = {path.data(), flag.data(), d.data(), nullptr};
      execv(path.c_str(), argv);
      _exit(127);
    }
    close(out[1]);
    stdout_ = out[0];
  }
  ~ApiCli() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    close(stdout_);
  }
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
  int Stop() {
    kill(pid_, SIGTERM);
    int status = 0;
    waitpid(pid_, &status, 0);
    exited_ = true;
    WaitOutput("\x01", 100ms);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  const std::string& output() const { return output_; }

 private:
  pid_t pid_ = -1;
  int stdout_ = -1;
  bool exited_ = false;
  std::string output_;
};

std::string Update(int id, const std::string& name) {
  return R"({"command":"Botapichat.UserUpdateEventRequest","payload":{"user_id":)" + std::to_string(id) +
         R"(,"toon_name":")" + name + R"(","flag":[],"attribute":[{"key":"ProgramId","value":"STAR"}]}})";
}

TEST(ApiCliProcess, RunsAChannelThroughTheApiAndClosesWithTheDisconnectSequence) {
  ApiTestServer server("cli-key");
  server.setChannelScript({Update(1, "ApiBot"),
                           R"({"command":"Botapichat.ConnectEventRequest","payload":{"channel":"Home"}})",
                           Update(2, "pebble"),
                           R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"hi bot","type":"Channel"}})"});
  TempDir dir;
  dir.write("users.lst", "[Level1]\r\npebble\r\n");
  dir.write("Bot.ini", "[Init]\r\nLogin=acct\r\nPassword=cli-key\r\nServer=" + server.url() + "\r\nCAFile=" +
                           GetTestCa().ca_file + "\r\nChannel=Home\r\n[AutoSend]\r\nLeave=see you\r\n");
  ApiCli cli(dir.path().string());
  ASSERT_TRUE(cli.WaitOutput("Joining Channel: Home")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("-- Status: Connected")) << cli.output();
  ASSERT_TRUE(cli.WaitOutput("hi bot")) << cli.output();

  // A whispered command, answered by a whisper to the speaker's id.
  server.send(R"({"command":"Botapichat.MessageEventRequest","payload":{"user_id":2,"message":"/level","type":"Whisper"}})");
  std::string reply = server.waitForReceived("You are level 1");
  EXPECT_NE(reply.find("Botapichat.SendWhisperRequest"), std::string::npos) << reply;
  EXPECT_NE(reply.find(R"("user_id":2)"), std::string::npos) << reply;

  EXPECT_EQ(cli.Stop(), 0);
  EXPECT_TRUE(server.waitForClientGone());
  const std::vector<std::string> sent = server.received();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_NE(sent[sent.size() - 2].find("see you"), std::string::npos);
  EXPECT_NE(sent.back().find("Botapichat.DisconnectRequest"), std::string::npos);
  EXPECT_TRUE(server.closeFrameReceived());
  EXPECT_EQ(cli.output().find("cli-key"), std::string::npos);  // the key is never shown
}

}  // namespace
}  // namespace tolvik
