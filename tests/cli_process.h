#pragma once
// tolvik-cli as a child process of a test: on pipes, or on a pseudo-terminal
// (the program then sees a terminal on its standard input and output).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace tolvik::testing {

using namespace std::chrono_literals;

struct CliStart {
  std::vector<std::string> args;
  // Environment changes: a value sets the variable, kUnsetEnv removes it.
  std::map<std::string, std::string> env;
  bool terminal = false;
};

inline constexpr char kUnsetEnv[] = "\x01";

// A child process with pipes on its standard input and output.
class CliProcess {
 public:
  explicit CliProcess(const std::vector<std::string>& args) : CliProcess(CliStart{args, {}, false}) {}
  explicit CliProcess(const CliStart& start) {
    if (start.terminal) {
      winsize size{24, 100, 0, 0};
      int master = -1;
      pid_ = forkpty(&master, nullptr, nullptr, &size);
      if (pid_ == 0) Exec(start);
      stdin_ = master;
      stdout_ = dup(master);
      return;
    }
    int in[2], out[2];
    EXPECT_EQ(pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(pipe2(out, O_CLOEXEC), 0);
    pid_ = fork();
    if (pid_ == 0) {
      dup2(in[0], STDIN_FILENO);
      dup2(out[1], STDOUT_FILENO);
      dup2(out[1], STDERR_FILENO);
      Exec(start);
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
  // Output is read meanwhile, so a full pipe never holds the program up; a
  // program still running after 20 s is killed and the test fails.
  int Wait() {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (waitpid(pid_, &status_, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() >= deadline) {
        ADD_FAILURE() << "the program did not end; its output:\n" << output_;
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        break;
      }
      WaitOutput("\x01", 50ms);
    }
    exited_ = true;
    WaitOutput("\x01", 100ms);  // drain what is left
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }
  int EndingSignal() const { return WIFSIGNALED(status_) ? WTERMSIG(status_) : 0; }
  void Signal(int sig) { kill(pid_, sig); }
  pid_t pid() const { return pid_; }
  // Forgets the output read so far, so the next WaitOutput sees only what follows.
  void ClearOutput() { output_.clear(); }
  const std::string& output() const { return output_; }

 private:
  [[noreturn]] static void Exec(const CliStart& start) {
    for (const auto& [name, value] : start.env) {
      if (value == kUnsetEnv)
        unsetenv(name.c_str());
      else
        setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<char*> argv;
    std::string path = TOLVIK_CLI_PATH;
    argv.push_back(path.data());
    std::vector<std::string> copy = start.args;
    for (auto& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(path.c_str(), argv.data());
    _exit(127);
  }

  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
  bool exited_ = false;
  int status_ = 0;
  std::string output_;
};

}  // namespace tolvik::testing
