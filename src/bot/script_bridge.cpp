#include "bot/script_bridge.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>

#include "display/chat_display.h"
#include "bot/bot_context.h"
#include "bot/hook_interrupt.h"
#include "net/outgoing_queue.h"

namespace tolvik {

namespace wire = script_wire;
using Clock = std::chrono::steady_clock;

namespace {
constexpr const char* kRestartedText =
    "The script interpreter was restarted: procedures and variables of earlier scripts are gone";
}  // namespace

ScriptBridge::ScriptBridge(BotContext& bot, LevelLookup user_level)
    : bot_(bot), user_level_(std::move(user_level)), interrupts_at_start_(ScriptHookInterrupts()) {
  ScriptHookInterruptFd();  // made now, before any signal handler wants it
}

ScriptBridge::~ScriptBridge() { host_.Kill(); }

bool ScriptBridge::Stopped() const { return stopped_ || ScriptHookInterrupts() != interrupts_at_start_; }

void ScriptBridge::Stop() {
  stopped_ = true;
  host_.Kill();
}

void ScriptBridge::CreateInterpreter() {
  if (created_) return;
  created_ = true;
  working_dir_ = bot_.WorkingDir();
  scripts_folder_ = working_dir_ + "/scripts/";
  StartHost(Clock::now() + time_limit_ + kStopGrace);
}

bool ScriptBridge::StartHost(Clock::time_point deadline) {
  if (Stopped()) return false;
  incoming_ = wire::MessageBuffer();
  std::string error;
  if (!host_.Start(FindScriptHostProgram(), memory_limit_, error)) {
    bot_.Display().print(TextType::BotInfo, "ERROR - Failed to Initialize Script Interpreter");
    bot_.Display().print(TextType::BotInfo, "The script interpreter could not be started: %s", error.c_str());
    return false;
  }
  bool ok = false;
  Outcome outcome = Outcome::Died;
  // Tcl's start-up runs the first init.tcl its library search finds, which
  // may be the user's: it gets no more time than a hook.
  if (wire::WriteMessage(host_.Socket(), {wire::kInit, {working_dir_, scripts_folder_}}))
    outcome = Serve(deadline, ok);
  if (outcome == Outcome::Done) return true;
  if (outcome == Outcome::Interrupted) {
    host_.Kill();
    return false;
  }
  const std::string how = outcome == Outcome::Died ? host_.Reap() : host_.Kill();
  bot_.Display().print(TextType::BotInfo, "ERROR - Failed to Initialize Script Interpreter");
  bot_.Display().print(TextType::BotInfo, "The script interpreter could not be started: %s", how.c_str());
  return false;
}

bool ScriptBridge::RunHook(const char* path, const char* speaker, const char* text) {
  if (!created_ || Stopped()) return false;
  // Starting a new host counts against the hook's time.
  const Clock::time_point deadline = Clock::now() + time_limit_ + kStopGrace;
  if (!host_.Running() && !StartHost(deadline)) return false;

  const wire::Message run{wire::kRun,
                          {path, speaker, text, std::to_string(time_limit_.count()), std::to_string(command_limit_)}};
  bool ok = false;
  Outcome outcome = Outcome::Died;
  if (wire::WriteMessage(host_.Socket(), run)) outcome = Serve(deadline, ok);
  switch (outcome) {
    case Outcome::Done:
      ReleaseHeldMemory(path);
      return ok;
    case Outcome::Died:
      ReportEnd(outcome, path, host_.Reap());
      return false;
    case Outcome::Overran:
    case Outcome::Interrupted:
      ReportEnd(outcome, path, host_.Kill());
      return false;
  }
  return false;
}

void ScriptBridge::ReleaseHeldMemory(const char* path) {
  const size_t held = host_.ResidentBytes();
  if (held <= memory_limit_ / 2) return;
  // Memory a script built stays with the host's Tcl (and its allocator) for
  // good; only a new host gives it back.
  host_.Kill();
  bot_.Display().print(TextType::BotInfo, "Script %s left the script interpreter holding %zu MB; it was ended", path,
                       held >> 20);
  bot_.Display().print(TextType::BotInfo, "%s", kRestartedText);
}

void ScriptBridge::ReportEnd(Outcome outcome, const char* path, const std::string& how) {
  ChatDisplay& display = bot_.Display();
  switch (outcome) {
    case Outcome::Overran:
      display.print(TextType::BotInfo, "Script %s was stopped: it ran longer than %.1f seconds", path,
                    static_cast<double>(time_limit_.count()) / 1000.0);
      break;
    case Outcome::Died:
      display.print(TextType::BotInfo, "Script %s ended the script interpreter (%s)", path, how.c_str());
      break;
    case Outcome::Interrupted:
      display.print(TextType::BotInfo, "Script %s was stopped: the bot is closing", path);
      return;
    case Outcome::Done:
      return;
  }
  display.print(TextType::BotInfo, "%s", kRestartedText);
}

ScriptBridge::Outcome ScriptBridge::Serve(Clock::time_point deadline, bool& ok) {
  const int interrupt_fd = ScriptHookInterruptFd();
  for (;;) {
    if (Stopped() || !host_.Running()) return Outcome::Interrupted;
    const auto left = deadline - Clock::now();
    if (left <= Clock::duration::zero()) return Outcome::Overran;
    // Rounded up, so the wait never ends just short of the deadline.
    const auto wait_ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    pollfd fds[] = {{host_.Socket(), POLLIN, 0}, {interrupt_fd, POLLIN, 0}};
    const int ready = ::poll(fds, 2, static_cast<int>(wait_ms));
    if (ready < 0 && errno != EINTR) return Outcome::Died;
    if (ready <= 0) continue;
    if (Stopped()) return Outcome::Interrupted;
    if (fds[1].revents != 0) {
      // An interrupt from before this bridge was made: not ours, and not to be seen again.
      uint64_t count;
      (void)!::read(interrupt_fd, &count, sizeof count);
    }
    if (fds[0].revents == 0) continue;

    char chunk[16384];
    const ssize_t n = ::read(host_.Socket(), chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0) incoming_.Append(chunk, static_cast<size_t>(n));
    // Whatever it managed to say before it went (Tcl's last words) is shown.
    wire::Message message;
    bool done = false;
    while (!done && incoming_.Next(message)) Handle(message, done, ok);
    if (done) return Outcome::Done;
    if (n <= 0 || incoming_.Broken()) return Outcome::Died;
  }
}

void ScriptBridge::Handle(const wire::Message& message, bool& done, bool& ok) {
  switch (message.type) {
    case wire::kPrint:
      bot_.Display().print(TextType::BotInfo, "%s", message.Field(0).c_str());
      break;
    case wire::kSend: {
      const std::string& line = message.Field(0);
      // The host cuts; a line of a broken or hostile host is held to the same bound.
      const int length = static_cast<int>(std::min(line.size(), kMaxSendLength));
      if (length > 0) bot_.Queue().Say("%.*s\n", length, line.data());
      break;
    }
    case wire::kQuery: {
      const std::string& what = message.Field(0);
      std::string answer;
      if (what == "UserLevel")
        answer = std::to_string(user_level_ ? user_level_(message.Field(1).c_str()) : 0);
      else if (what == "BotName")
        answer = bot_.OwnName();
      else if (what == "BotChannel")
        answer = bot_.CurrentChannel();
      // A failed answer shows up as the host's end on the next read.
      (void)wire::WriteMessage(host_.Socket(), {wire::kAnswer, {answer}});
      break;
    }
    case wire::kDone:
      done = true;
      ok = message.Field(0) == "1";
      break;
    default:
      break;
  }
}

}  // namespace tolvik
