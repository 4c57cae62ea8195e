#include "bot/script_host_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

extern char** environ;

namespace tolvik {
namespace {

constexpr const char* kProgramName = "tolvik-scripthost";

// Made on first use, so that a setting made while static objects are
// still being made is kept.
struct ProgramSetting {
  std::mutex mutex;
  std::string path;
};
ProgramSetting& Program() {
  static ProgramSetting setting;
  return setting;
}

std::string Describe(int status) {
  char text[96];
  if (WIFSIGNALED(status))
    std::snprintf(text, sizeof text, "killed by signal %d (%s)", WTERMSIG(status), strsignal(WTERMSIG(status)));
  else if (WIFEXITED(status))
    std::snprintf(text, sizeof text, "exit status %d", WEXITSTATUS(status));
  else
    std::snprintf(text, sizeof text, "status %d", status);
  return text;
}

bool IsProgram(const std::string& path) { return !path.empty() && ::access(path.c_str(), X_OK) == 0; }

}  // namespace

void SetScriptHostProgram(std::string path) {
  std::lock_guard<std::mutex> lock(Program().mutex);
  Program().path = std::move(path);
}

std::string FindScriptHostProgram() {
  {
    std::lock_guard<std::mutex> lock(Program().mutex);
    if (!Program().path.empty()) return Program().path;
  }
  char self[4096];
  const ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (n > 0) {
    std::string dir(self, static_cast<size_t>(n));
    dir.erase(dir.rfind('/') + 1);
    if (IsProgram(dir + kProgramName)) return dir + kProgramName;
#ifdef TOLVIK_SCRIPTHOST_FROM_BINDIR
    if (IsProgram(dir + TOLVIK_SCRIPTHOST_FROM_BINDIR)) return dir + TOLVIK_SCRIPTHOST_FROM_BINDIR;
#endif
  }
#ifdef TOLVIK_SCRIPTHOST_INSTALLED
  if (IsProgram(TOLVIK_SCRIPTHOST_INSTALLED)) return TOLVIK_SCRIPTHOST_INSTALLED;
#endif
  return {};
}

bool ScriptHostProcess::Start(const std::string& program, size_t memory_limit, std::string& error) {
  Kill();
  if (program.empty()) {
    error = std::string(kProgramName) + " was not found";
    return false;
  }
  int pair[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0) {
    error = std::strerror(errno);
    return false;
  }
  // The host's end becomes its descriptor 3; from a descriptor other than 3,
  // so that the dup clears close-on-exec.
  const int child_end = ::fcntl(pair[1], F_DUPFD_CLOEXEC, 10);
  ::close(pair[1]);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  // Scripts never read the bot's terminal.
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, child_end, 3);

  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setpgroup(&attr, 0);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int sig : {SIGPIPE, SIGINT, SIGTERM, SIGHUP, SIGALRM}) sigaddset(&defaults, sig);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &defaults);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::string limit = std::to_string(memory_limit);
  std::string path = program;
  std::string option = "--memory-limit";
  std::vector<char*> argv = {path.data(), option.data(), limit.data(), nullptr};
  pid_t pid = -1;
  const int rc = child_end < 0 ? errno : posix_spawn(&pid, path.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  posix_spawn_file_actions_destroy(&actions);
  if (child_end >= 0) ::close(child_end);
  if (rc != 0) {
    ::close(pair[0]);
    error = program + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  socket_ = pair[0];
  return true;
}

std::string ScriptHostProcess::Collect(bool kill_first) {
  if (pid_ <= 0) return {};
  if (socket_ >= 0) ::close(socket_);
  socket_ = -1;
  bool ended = false;
  if (!kill_first) {
    // It closed its end, so it is ending; give it a moment to say how.
    for (int i = 0; i < 200 && !ended; ++i) {
      siginfo_t info{};
      ended = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid_;
      if (!ended) ::usleep(5000);
    }
  }
  // The group goes first, while the unreaped host still holds its id: the
  // host and whatever its scripts started with `exec`.
  ::kill(-pid_, SIGKILL);
  if (!ended) ::kill(pid_, SIGKILL);  // in case it had left its group
  int status = 0;
  pid_t done;
  do done = ::waitpid(pid_, &status, 0);
  while (done < 0 && errno == EINTR);
  pid_ = -1;
  return done > 0 ? Describe(status) : std::string("not found");
}

size_t ScriptHostProcess::ResidentBytes() const {
  if (pid_ <= 0) return 0;
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/statm", static_cast<int>(pid_));
  FILE* statm = std::fopen(path, "r");
  if (statm == nullptr) return 0;
  unsigned long size = 0, resident = 0;
  const bool read = std::fscanf(statm, "%lu %lu", &size, &resident) == 2;
  std::fclose(statm);
  return read ? static_cast<size_t>(resident) * static_cast<size_t>(::sysconf(_SC_PAGESIZE)) : 0;
}

std::string ScriptHostProcess::Kill() { return Collect(true); }

std::string ScriptHostProcess::Reap() { return Collect(false); }

}  // namespace tolvik
