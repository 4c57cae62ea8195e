#include "cli/face_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>

#include "cli/colour_choice.h"
#include "cli/console_output.h"
#include "cli/line_editor.h"
#include "cli/terminal_display.h"
#include "cli/typed_lines.h"
#include "face/face_client.h"
#include "face/local_faces.h"
#include "net/connection_state.h"
#include "net/line_reader.h"
#include "net/retry_schedule.h"
#include "storage/ini_text.h"

namespace tolvik {
namespace {

const char kFaceHelp[] =
    "-- Local commands (anything else is sent to the channel by the bot):\n"
    "--   //connect          the bot connects to the server of its Bot.ini [Init]\n"
    "--   //disconnect       the bot closes its connection\n"
    "--   //reload           the bot reads Bot.ini's responses, settings and colours again\n"
    "--   //status           show the bot's connection status\n"
    "--   //toggle NAME      switch a [Toggles] key, e.g. //toggle ViewEnterLeave\n"
    "--   //level COMMAND N  set the level COMMAND needs (0 to 10)\n"
    "--   //reindex          the bot rebuilds its alias database from Aliases.db\n"
    "--   //modlog [N]       the last N actions of the moderation record (10)\n"
    "--   //help             this list\n"
    "--   //quit             detach (Ctrl+D too); the bot carries on";

// How long the bot may take to answer the upgrade.
constexpr int kOpenTimeoutMs = 5000;
// Attaching again after the bot went away: soon at first, then ever more rarely.
constexpr RetryTimings kAttachRetry{std::chrono::milliseconds(1000), std::chrono::milliseconds(60000), 20};

int g_stop_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  char c = 1;
  (void)!::write(g_stop_pipe[1], &c, 1);
}

bool IsCommand(const std::string& line, std::string_view word) {
  return line.compare(0, word.size(), word) == 0 && (line.size() == word.size() || line[word.size()] == ' ');
}

class FaceTerminal {
 public:
  FaceTerminal(const FaceTarget& target, ConsoleOutput& out, ChatDisplay& display)
      : target_(target), out_(out), mirror_(display), client_(mirror_), retry_(kAttachRetry) {
    mirror_.on_snapshot = [this] {
      out_.Line("-- Attached to the bot in " + mirror_.Directory() + " (" + mirror_.BotName() + ")");
      out_.Line(StatusLine(mirror_.Status()));
    };
    mirror_.on_status = [this] { out_.Line(StatusLine(mirror_.Status())); };
    mirror_.on_reply = [this](const std::vector<std::string>& lines) {
      for (const std::string& line : lines) out_.Line("-- " + line);
    };
    mirror_.on_error = [this](const std::string&, const std::string& message) { out_.Line("-- " + message); };
  }

  bool stop = false;
  bool refused = false;  // the bot turned the face away (a wrong password): no more tries

  // Tries to attach now; schedules the next try when it fails.
  void Attach() {
    std::string error;
    std::unique_ptr<FaceStream> stream = target_.connect(&error);
    if (stream && client_.Open(std::move(stream), target_.host, target_.password, kOpenTimeoutMs, &error)) {
      retry_.reset();
      next_try_.reset();
      last_reason_.clear();
      return;
    }
    // Turned away (the bot's error said why): the same hello would be
    // turned away again.
    if (error.rfind("the bot refused", 0) == 0) {
      stop = refused = true;
      return;
    }
    ScheduleRetry("Cannot attach: " + error);
  }

  // The bot's socket has something (or the bot went away).
  void OnBotReadable() {
    if (client_.Pump()) return;
    if (!client_.Attached() && client_.CloseReason().rfind("the bot refused", 0) == 0) {
      client_.Close();
      stop = refused = true;
      return;
    }
    std::string why = client_.CloseReason();
    if (!why.empty()) why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    ScheduleRetry(why);
    client_.Close();
  }

  void Run(const std::string& line) {
    if (line.empty()) return;
    if (IsCommand(line, "//quit")) {
      stop = true;
    } else if (IsCommand(line, "//help")) {
      std::string_view rest = kFaceHelp;
      while (!rest.empty()) {
        const size_t end = rest.find('\n');
        out_.Line(rest.substr(0, end));
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
      }
    } else if (!client_.Attached()) {
      out_.Line("-- Not attached to the bot: the line was not sent (Up recalls it).");
    } else if (IsCommand(line, "//status")) {
      out_.Line(StatusLine(mirror_.Status()));
    } else if (line.compare(0, 2, "//") == 0) {
      client_.Command(line);
    } else if (mirror_.State() != Connected) {
      out_.Line("-- Not connected: the line was not sent (//connect connects; Up recalls the line).");
    } else {
      client_.Say(line);
    }
  }

  // Tab: the last word completed from the channel's names; the same text
  // again steps to the next name.
  std::string Complete(const std::string& before) {
    const size_t start = before.rfind(' ') == std::string::npos ? 0 : before.rfind(' ') + 1;
    std::string word = before.substr(start);
    if (before == last_completion_) {
      word = completion_prefix_;
      ++completion_index_;
    } else {
      completion_prefix_ = word;
      completion_index_ = 0;
    }
    std::vector<std::string> names;
    for (const FaceUser& user : mirror_.Users())
      if (user.name.size() >= word.size() && ini::EqualsIgnoreCase(std::string_view(user.name).substr(0, word.size()), word))
        names.push_back(user.name);
    if (names.empty()) return before;
    last_completion_ = before.substr(0, start) + names[static_cast<size_t>(completion_index_) % names.size()];
    return last_completion_;
  }

  void Detach() { client_.Close(); }
  int Fd() const { return client_.Open() ? client_.Fd() : -1; }
  bool WantsWrite() const { return client_.Open() && client_.WantsWrite(); }
  // Milliseconds to the next try to attach (-1: none due).
  int MsToNextTry() const {
    if (!next_try_) return -1;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next_try_ - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
  }
  void TryIfDue() {
    if (next_try_ && std::chrono::steady_clock::now() >= *next_try_) Attach();
  }

 private:
  void ScheduleRetry(const std::string& why) {
    const auto wait = retry_.next();
    next_try_ = std::chrono::steady_clock::now() + wait;
    // One note per reason: a bot that stays away is not announced at every try.
    if (why != last_reason_) {
      const long seconds = static_cast<long>((wait.count() + 999) / 1000);
      out_.Line("-- " + why + "; trying to attach again in " + std::to_string(seconds) + " s");
      last_reason_ = why;
    }
  }

  const FaceTarget& target_;
  ConsoleOutput& out_;
  FaceMirror mirror_;
  FaceClient client_;
  RetrySchedule retry_;
  std::optional<std::chrono::steady_clock::time_point> next_try_;
  std::string last_reason_;
  std::string last_completion_;
  std::string completion_prefix_;
  int completion_index_ = 0;
};

}  // namespace

const char* FaceHelp() { return kFaceHelp; }

FaceTarget LocalFaceTarget(const std::string& dir) {
  FaceTarget target;
  target.connect = [dir](std::string* error) { return ConnectToLocalBot(dir, error); };
  target.host = "localhost";
  target.history_path = dir + "/" + LineEditor::kHistoryFile;
  return target;
}

int RunFaceTerminal(const FaceTarget& target, ColourMode colour) {
  if (::pipe2(g_stop_pipe, O_CLOEXEC | O_NONBLOCK) != 0) return 1;
  struct sigaction sa {};
  sa.sa_handler = OnStopSignal;
  sigemptyset(&sa.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaction(sig, &sa, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  const bool interactive = ::isatty(STDIN_FILENO) != 0;
  const bool output_is_terminal = ::isatty(STDOUT_FILENO) != 0;
  if (!output_is_terminal) std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
  ConsoleOutput out(stdout, output_is_terminal);
  TerminalDisplay display(out, ChooseColourDepth(colour, std::getenv("NO_COLOR"), std::getenv("TERM"),
                                                 std::getenv("COLORTERM"), output_is_terminal));
  FaceTerminal face(target, out, display);
  const auto on_line = [&](const std::string& line) { face.Run(line); };

  std::unique_ptr<LineEditor> editor;
  if (interactive && output_is_terminal) {
    editor = std::make_unique<LineEditor>(
        target.history_path, on_line, [&](const std::string& before) { return face.Complete(before); },
        [&](const std::string& note) { out.Line("-- " + note); });
    out.SetEditor(editor.get());
    editor->Start();
  }

  face.Attach();
  LineReader input;
  bool stdin_open = true;
  while (!face.stop) {
    out.Flush();
    pollfd fds[3] = {{g_stop_pipe[0], POLLIN, 0},
                     {stdin_open ? STDIN_FILENO : -1, POLLIN, 0},
                     {face.Fd(), static_cast<short>(POLLIN | (face.WantsWrite() ? POLLOUT : 0)), 0}};
    if (::poll(fds, 3, face.MsToNextTry()) < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) break;
    if (fds[1].revents & (POLLIN | POLLHUP)) {
      if (editor) {
        editor->OnReadable();
        if (editor->Ended()) face.stop = true;
      } else {
        const ssize_t n = ::read(STDIN_FILENO, input.writePtr(), input.writeSpace());
        if (n <= 0) {
          stdin_open = false;  // no keyboard: the face keeps watching
        } else {
          input.commit(static_cast<size_t>(n), [&](char* line) {
            const size_t len = std::strlen(line);
            if (len > 0 && line[len - 1] == '\r') line[len - 1] = '\0';
            on_line(line);
          });
        }
      }
    }
    if (fds[2].fd >= 0 && (fds[2].revents & (POLLIN | POLLOUT | POLLHUP | POLLERR))) face.OnBotReadable();
    face.TryIfDue();
  }
  face.Detach();
  if (!face.refused) out.Line("-- Detached; the bot carries on.");
  out.FlushEachLine();
  if (editor) {
    editor->HideInput();
    editor->Stop();
    out.SetEditor(nullptr);
  }
  return face.refused ? 1 : 0;
}

}  // namespace tolvik
