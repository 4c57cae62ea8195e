#pragma once
// Whispers to the bot: plain whispers are shown (and forwarded while
// forwarding is on); whispers that begin with '/' are commands, checked
// against the [Commands] levels of Bot.ini and the speaker's users.lst level.
// script.ini [Whisper] entries replace built-in command words and run a Tcl
// script instead.
//
// Replies are whispered to the speaker through the outgoing queue; what the
// bot says or gives to the server goes through Say. Main thread only, except
// the page alarms, which run on workers of their own.
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace tolvik {

class ChatBot;
class BotOwner;

// The page alarm, sounding on a worker thread so the bot keeps working. One
// alarm rings at a time: a page while it rings is ignored, so a flood of
// pages costs nothing. The worker touches nothing but the host's alarm, and
// the destructor waits for one still sounding.
class PageAlarms {
 public:
  PageAlarms() = default;
  ~PageAlarms();
  PageAlarms(const PageAlarms&) = delete;
  PageAlarms& operator=(const PageAlarms&) = delete;

  // Starts BotOwner::PageAlarm() on a worker (main thread) unless one is
  // still ringing; false when it was. `owner` must outlive this object.
  bool Start(BotOwner& owner);
  // Whether an alarm is still ringing.
  bool Ringing() const { return worker_.joinable() && !done_.load(); }
  // Workers started and not yet joined (0 or 1; a finished one is joined by the next Start).
  int Workers() const { return worker_.joinable() ? 1 : 0; }

 private:
  std::thread worker_;
  std::atomic<bool> done_{false};
};

class WhisperInterpreter {
 public:
  // Longest line the server takes, its LF included.
  static constexpr size_t kMaxLine = 255;

  explicit WhisperInterpreter(ChatBot& bot) : bot_(bot) {}

  // The handler of a received whisper (event 1004). Returns 1.
  int OnWhisper(const char* name, uint32_t flags, const char* text);

  // "/makeop [name]": designates the user (the speaker when no name is given)
  // and rejoins, which hands the operator status over. The user must be in
  // the channel.
  void MakeOpUser(const char* line, const char* speaker);

  // Sounds the host's page alarm on a worker thread.
  void StartPageAlarm();
  const PageAlarms& Pages() const { return pages_; }

  // The user who whispered the bot last; empty before the first whisper.
  const std::string& LastWhisperer() const { return last_whisperer_; }

 private:
  // Runs a command whisper. False when the handler must end at once (the
  // relay refusal), so no script runs after it.
  bool RunCommand(const char* name, const char* text, const std::string& first_word);
  void PlainWhisper(const char* name, const char* text);
  void RunWhisperScript(const char* name, const char* text, const std::string& first_word);

  void SayWithTag(const char* name, const char* text, int level);
  // False when the relay was refused as a command in disguise. `word_end`:
  // the position just after the command word.
  bool Relay(const char* name, const char* text, size_t word_end, int level);
  void Designate(const char* name, const char* text);
  void LevelQuery(const char* name, const char* text, size_t word_length, int level);
  void ForwardOn(const char* name);
  void ForwardOff(const char* name);
  void Password(const char* name, const char* text, int level);
  void Who(const char* name);
  void ResetHeir();

  // Whispers `text` to `target`, cut so that the "/msg" line fits kMaxLine.
  void ReplyFitted(const char* target, const std::string& text);

  ChatBot& bot_;
  std::string last_whisperer_;
  PageAlarms pages_;
};

}  // namespace tolvik
