#pragma once
// What only a front-end can do for the document. The Qt window and the
// terminal program each implement it.
#include <functional>
#include <string>

namespace tolvik {

class Host {
 public:
  virtual ~Host() = default;

  // Runs `fn` on the main thread soon. Callable from any thread.
  virtual void PostToMain(std::function<void()> fn) = 0;

  // The connection's socket changed (-1: none). Called on the main thread; the
  // front-end watches the descriptor for readability and close and calls
  // CHaldenDoc::OnSocketEvent.
  virtual void SocketChanged(int fd) = 0;

  // The connection state or its text changed (main thread).
  virtual void StatusChanged(int state, const std::string& text) = 0;
  // The status text moved on without news (the countdown to the next try);
  // a front-end that shows the text all the time updates it (main thread).
  virtual void StatusRefreshed(int /*state*/, const std::string& /*text*/) {}

  // A login value is missing: `key` is "Password", "Login" or "Server". The
  // front-end lets the user supply it (configuration sheet, terminal prompt)
  // into `value` and returns false when the user cancels.
  virtual bool AskForLoginValue(const std::string& key, std::string& value) = 0;

  // Opens the whisper bar of one user (the operator's "/direct name").
  virtual void OpenUserWhisperBar(const std::string& /*name*/) {}

  // The operator page alarm (called on a worker thread of its own, so it may
  // take its time, but should end early once the program closes: the bot waits
  // for alarms still sounding when it goes) and the short beep (main thread).
  virtual void PageAlarm() {}
  virtual void Beep() {}
};

}  // namespace tolvik
