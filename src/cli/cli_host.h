#pragma once
// The terminal front-end's side of the document: a poll loop over standard
// input, the connection's socket, closures posted from other threads, the
// two timers and the stop signals.
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/host.h"
#include "net/line_reader.h"

namespace tolvik {

class CHaldenDoc;
class ConsoleOutput;
class LineEditor;
struct LoginSettings;

class CliHost : public Host {
 public:
  // `interactive`: standard input is a terminal, so missing login values can be asked for.
  CliHost(ConsoleOutput& out, bool interactive);
  ~CliHost() override;

  void PostToMain(std::function<void()> fn) override;
  void SocketChanged(int fd) override { socket_fd_ = fd; }
  void StatusChanged(int state, const std::string& text) override;
  // Asks for every missing login value in the terminal's own order (see
  // first_run.h), then hands back the one the document asked for.
  bool AskForLoginValue(const std::string& key, std::string& value) override;
  void PageAlarm() override;
  void Beep() override;

  // Page alarm timing: each beep is a 300 ms tone and 250 ms of silence; a
  // group of three is followed by a 1000 ms pause; the alarm is two groups.
  static constexpr int kBeepToneMs = 300;
  static constexpr int kBeepSilenceMs = 250;
  static constexpr int kGroupPauseMs = 1000;
  // After the first stop signal the program ends within this time, whatever
  // the close sequence is waiting for; a second signal ends it at once.
  static constexpr unsigned kCloseLimitSeconds = 4;

  // Runs until SIGINT, SIGTERM or SIGHUP (or RequestStop), then runs the
  // close sequence. `on_line` gets every line typed on standard input.
  // With an editor, standard input goes through it (and it calls the line
  // handler itself); without one, plain lines are read.
  int Run(CHaldenDoc& doc, const std::function<void(const std::string&)>& on_line);
  void RequestStop();
  void SetEditor(LineEditor* editor) { editor_ = editor; }
  void SetDocument(CHaldenDoc* doc) { doc_ = doc; }
  // Runs after each pass of the loop, before it waits again.
  void SetAfterPass(std::function<void()> fn) { after_pass_ = std::move(fn); }

  // The first run's questions on the terminal (false without a terminal, or
  // when input ends first), and a note on what was stored in Bot.ini.
  bool AskMissingLoginValues(LoginSettings& login, const std::string& botIni);

 private:
  void RunPosted();
  // Waits `ms` unless the program is ending; true when it is.
  bool WaitUnlessEnding(int ms);
  void EndAlarms();

  // Standard input became readable: a key for the editor, or plain lines.
  void ReadInput(bool& stdin_open, const std::function<void(const std::string&)>& on_line);

  ConsoleOutput& out_;
  bool interactive_;
  LineEditor* editor_ = nullptr;
  CHaldenDoc* doc_ = nullptr;
  std::function<void()> after_pass_;
  LineReader input_;
  int socket_fd_ = -1;
  int wake_fd_ = -1;
  bool stop_ = false;
  std::mutex posted_mutex_;
  std::vector<std::function<void()>> posted_;
  // Page alarms sound on workers of their own and stop early once the program ends.
  std::mutex alarm_mutex_;
  std::condition_variable alarm_cv_;
  bool ending_ = false;
};

// Reads one line from the terminal (it may be empty); without echo when
// `secret`. False at the end of input.
bool PromptOnTerminal(const std::string& prompt, bool secret, std::string& value);

}  // namespace tolvik
