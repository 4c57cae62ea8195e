#pragma once
// The terminal front-end's side of the document: a poll loop over standard
// input, the connection's socket, closures posted from other threads, the
// two timers and the stop signals.
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "app/host.h"

namespace tolvik {

class CHaldenDoc;

class CliHost : public Host {
 public:
  CliHost(FILE* status_out, bool interactive);
  ~CliHost() override;

  void PostToMain(std::function<void()> fn) override;
  void SocketChanged(int fd) override { socket_fd_ = fd; }
  void StatusChanged(int state, const std::string& text) override;
  bool AskForLoginValue(const std::string& key, std::string& value) override;
  void PageAlarm() override;
  void Beep() override;

  // Runs until SIGINT or SIGTERM (or RequestStop), then runs the close sequence.
  // `on_line` gets every line typed on standard input.
  int Run(CHaldenDoc& doc, const std::function<void(const std::string&)>& on_line);
  void RequestStop();

 private:
  void RunPosted();

  FILE* status_out_;
  bool interactive_;
  int socket_fd_ = -1;
  int wake_fd_ = -1;
  bool stop_ = false;
  std::mutex posted_mutex_;
  std::vector<std::function<void()>> posted_;
};

// Reads one line from the terminal; without echo when `secret`. False on EOF.
bool PromptOnTerminal(const std::string& prompt, bool secret, std::string& value);

}  // namespace tolvik
