#include "cli/cli_host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "storage/atomic_file.h"
#include "app/document.h"
#include "bot/hook_interrupt.h"
#include "cli/console_output.h"
#include "cli/first_run.h"
#include "cli/line_editor.h"
#include "cli/typed_lines.h"
#include "net/line_reader.h"

namespace tolvik {
namespace {

int g_signal_pipe[2] = {-1, -1};
volatile sig_atomic_t g_stop_signals = 0;

void OnStopSignal(int sig) {
  if (g_stop_signals != 0) {
    // Asked again: end now, as the signal's default would.
    RestoreTerminalModeFromSignal();
    ::signal(sig, SIG_DFL);
    ::raise(sig);
    return;
  }
  g_stop_signals = 1;
  // A script hook running now ends at once, so the close sequence can begin.
  InterruptScriptHooks();
  // The close sequence gets a bounded time, even if the main loop is stuck.
  ::alarm(CliHost::kCloseLimitSeconds);
  char c = 1;
  (void)!::write(g_signal_pipe[1], &c, 1);
}

void OnCloseTimeout(int) {
  static const char kText[] = "tolvik-cli: closing took too long; ending now.\n";
  (void)!::write(STDERR_FILENO, kText, sizeof kText - 1);
  RestoreTerminalModeFromSignal();
  ::_exit(1);
}

void InstallSignalHandlers() {
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&sa.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  struct sigaction timeout {};
  timeout.sa_handler = OnCloseTimeout;
  sigemptyset(&timeout.sa_mask);
  sigaction(SIGALRM, &timeout, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace

bool PromptOnTerminal(const std::string& prompt, bool secret, std::string& value) {
  termios saved{};
  bool restore = secret && tcgetattr(STDIN_FILENO, &saved) == 0;
  if (restore) {
    // Echo goes off (and what was typed before the question is dropped)
    // before the prompt shows: a password typed as soon as it appears is
    // neither echoed nor lost.
    termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
  }
  std::fprintf(stderr, "%s", prompt.c_str());
  std::fflush(stderr);
  bool ok = static_cast<bool>(std::getline(std::cin, value));
  if (restore) {
    tcsetattr(STDIN_FILENO, TCSADRAIN, &saved);
    std::fprintf(stderr, "\n");
  }
  if (!value.empty() && value.back() == '\r') value.pop_back();
  return ok;
}

CliHost::CliHost(ConsoleOutput& out, bool interactive) : out_(out), interactive_(interactive) {
  wake_fd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

CliHost::~CliHost() {
  if (wake_fd_ >= 0) ::close(wake_fd_);
}

void CliHost::PostToMain(std::function<void()> fn) {
  {
    std::lock_guard<std::mutex> lock(posted_mutex_);
    posted_.push_back(std::move(fn));
  }
  uint64_t one = 1;
  (void)!::write(wake_fd_, &one, sizeof one);
}

void CliHost::RunPosted() {
  uint64_t count;
  (void)!::read(wake_fd_, &count, sizeof count);
  std::vector<std::function<void()>> run;
  {
    std::lock_guard<std::mutex> lock(posted_mutex_);
    run.swap(posted_);
  }
  for (auto& fn : run) fn();
}

void CliHost::StatusChanged(int, const std::string& text) { out_.Line(StatusLine(text)); }

bool CliHost::AskMissingLoginValues(LoginSettings& login, const std::string& botIni) {
  if (!interactive_) return false;
  // The prompts need the terminal in its ordinary mode, not the editor's.
  out_.Flush();  // what led to the questions shows above them
  const bool editing = editor_ != nullptr && editor_->Active();
  if (editing) {
    editor_->HideInput();
    editor_->Stop();
  }
  std::string note;
  const bool ok = tolvik::AskMissingLoginValues(
      login, botIni,
      [](const std::string& prompt, bool secret) -> std::optional<std::string> {
        std::string value;
        if (!PromptOnTerminal(prompt, secret, value)) return std::nullopt;
        return value;
      },
      note);
  if (!note.empty()) out_.Line(note);
  if (editing) editor_->Start();
  return ok;
}

bool CliHost::AskForLoginValue(const std::string& key, std::string& value) {
  if (doc_ == nullptr || !AskMissingLoginValues(doc_->Login(), doc_->Paths().botIni)) return false;
  const LoginSettings& login = doc_->Login();
  value = key == "Login" ? login.login : key == "Server" ? login.server : login.password;
  return !IsUnset(value);
}

void CliHost::PageAlarm() {
  // The terminal bell has no length of its own: the tone's time passes silently.
  for (int group = 0; group < 2; ++group) {
    for (int beep = 0; beep < 3; ++beep) {
      Beep();
      if (WaitUnlessEnding(kBeepToneMs + kBeepSilenceMs)) return;
    }
    if (WaitUnlessEnding(kGroupPauseMs)) return;
  }
}

bool CliHost::WaitUnlessEnding(int ms) {
  std::unique_lock<std::mutex> lock(alarm_mutex_);
  return alarm_cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return ending_; });
}

void CliHost::EndAlarms() {
  {
    std::lock_guard<std::mutex> lock(alarm_mutex_);
    ending_ = true;
  }
  alarm_cv_.notify_all();
}

void CliHost::Beep() { out_.Bell(); }

void CliHost::RequestStop() { stop_ = true; }

void CliHost::ReadInput(bool& stdin_open, const std::function<void(const std::string&)>& on_line) {
  if (editor_ != nullptr && editor_->Active()) {
    editor_->OnReadable();
    // Ctrl+D on an empty line: the operator is done.
    if (editor_->Ended()) stop_ = true;
    return;
  }
  ssize_t n = ::read(STDIN_FILENO, input_.writePtr(), input_.writeSpace());
  if (n <= 0) {
    stdin_open = false;  // keep running: the bot carries on without a keyboard
    return;
  }
  input_.commit(static_cast<size_t>(n), [&](char* line) {
    size_t len = std::strlen(line);
    if (len > 0 && line[len - 1] == '\r') line[len - 1] = '\0';
    on_line(line);
  });
}

int CliHost::Run(CHaldenDoc& doc, const std::function<void(const std::string&)>& on_line) {
  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  InstallSignalHandlers();

  using Clock = std::chrono::steady_clock;
  doc.StartTimers(Clock::now());
  bool stdin_open = true;

  while (!stop_) {
    if (after_pass_) after_pass_();
    // What this pass printed goes out in one write before the loop waits.
    out_.Flush();
    std::vector<pollfd> fds;
    fds.push_back({g_signal_pipe[0], POLLIN, 0});
    fds.push_back({wake_fd_, POLLIN, 0});
    fds.push_back({stdin_open ? STDIN_FILENO : -1, POLLIN, 0});
    fds.push_back({socket_fd_, POLLIN, 0});

    auto now = Clock::now();
    // Rounded up: a wait cut down to whole milliseconds would wake the loop
    // early, again and again, until the timer is due.
    auto wait = doc.NextTimerDue(now) - now;
    int timeout = static_cast<int>(std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(wait).count()));
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return 1;

    if (fds[0].revents & POLLIN) break;
    if (fds[1].revents & POLLIN) RunPosted();
    if (fds[2].revents & (POLLIN | POLLHUP)) ReadInput(stdin_open, on_line);
    if (socket_fd_ >= 0 && fds[3].fd == socket_fd_) {
      // The lines of one read come in a burst: each file is read once for them.
      ReadOnceScope once;
      if (fds[3].revents & POLLIN)
        doc.OnSocketEvent(SocketEvent::Readable);
      else if (fds[3].revents & (POLLHUP | POLLERR | POLLNVAL))
        doc.OnSocketEvent(SocketEvent::Closed);
    }

    doc.RunDueTimers(Clock::now());
  }
  // The close sequence's lines show as they come: it may be cut short.
  out_.FlushEachLine();
  EndAlarms();
  doc.Close();
  RunPosted();
  return 0;
}

}  // namespace tolvik
