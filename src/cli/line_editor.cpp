#include "cli/line_editor.h"

#include <editline/readline.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace tolvik {
namespace {

// libedit's readline layer is one global editor; so is this pointer.
LineEditor* g_editor = nullptr;

struct termios g_saved_mode;
volatile sig_atomic_t g_mode_saved = 0;

const char kPrompt[] = "> ";

}  // namespace

void RestoreTerminalModeFromSignal() {
  if (g_mode_saved) ::tcsetattr(STDIN_FILENO, TCSANOW, &g_saved_mode);
}

LineEditor::LineEditor(std::string history_path, std::function<void(const std::string&)> on_line,
                       std::function<std::string(const std::string&)> complete,
                       std::function<void(const std::string&)> report)
    : history_path_(std::move(history_path)),
      on_line_(std::move(on_line)),
      complete_(std::move(complete)),
      report_(std::move(report)) {
  g_editor = this;
  if (::tcgetattr(STDIN_FILENO, &g_saved_mode) == 0) g_mode_saved = 1;
  // Our own handlers run the close sequence; libedit's would fight them.
  rl_catch_signals = 0;
  rl_catch_sigwinch = 0;
  rl_instream = stdin;
  rl_outstream = stdout;
  rl_initialize();
  stifle_history(kHistoryLines);
  LoadHistory();
  // Ctrl+R searches back through the history, as in a shell; Home, End and
  // Delete in the forms terminals send them.
  rl_parse_and_bind("bind ^R em-inc-search-prev");
  for (const char* key : {"^[[H", "^[OH", "^[[1~", "^[[7~"}) rl_parse_and_bind((std::string("bind ") + key + " ed-move-to-beg").c_str());
  for (const char* key : {"^[[F", "^[OF", "^[[4~", "^[[8~"}) rl_parse_and_bind((std::string("bind ") + key + " ed-move-to-end").c_str());
  rl_parse_and_bind("bind ^[[3~ ed-delete-next-char");
  // Tab completes the word before the caret; a word ends at a space, as in the chat bar.
  rl_attempted_completion_function = &LineEditor::CompleteThunk;
  rl_basic_word_break_characters = const_cast<char*>(" ");
  rl_completion_append_character = '\0';
}

LineEditor::~LineEditor() {
  Stop();
  g_editor = nullptr;
}

void LineEditor::Start() {
  if (active_ || ended_) return;
  rl_callback_handler_install(kPrompt, &LineEditor::OnLineThunk);
  active_ = true;
  std::fflush(stdout);
}

void LineEditor::Stop() {
  if (!active_) return;
  rl_callback_handler_remove();
  active_ = false;
  RestoreTerminalModeFromSignal();
}

void LineEditor::OnReadable() {
  if (!active_) return;
  line_done_ = false;
  rl_callback_read_char();
  if (line_done_ && active_) {
    // libedit leaves the terminal in its ordinary mode after a line (keys
    // echoed, arrows arriving as text); a fresh start puts editing back.
    rl_callback_handler_remove();
    rl_callback_handler_install(kPrompt, &LineEditor::OnLineThunk);
    std::fflush(stdout);
  }
}

void LineEditor::HideInput() {
  if (!active_ || in_handler_) return;
  // Back to the line's start and clear it; the output takes its place.
  std::fputs("\r\x1b[K", stdout);
}

void LineEditor::ShowInput() {
  if (!active_ || in_handler_) return;
  rl_forced_update_display();
  std::fflush(stdout);
}

void LineEditor::OnLineThunk(char* line) {
  if (g_editor != nullptr) g_editor->OnLine(line);
  std::free(line);
}

void LineEditor::OnLine(char* line) {
  line_done_ = true;
  if (line == nullptr) {
    // Ctrl+D on an empty line: no more input from this terminal.
    ended_ = true;
    std::fputc('\n', stdout);
    Stop();
    return;
  }
  // libedit hands the line over with the terminal in its ordinary mode;
  // keys typed while the line is handled must still reach the editor as keys.
  rl_prep_terminal(1);
  std::string text(line);
  in_handler_ = true;  // a note on the history file goes below the entered line
  if (!text.empty() && text != last_line_) {
    add_history(line);
    last_line_ = text;
    SaveHistory();
  }
  on_line_(text);
  in_handler_ = false;
}

char** LineEditor::CompleteThunk(const char*, int, int end) {
  rl_attempted_completion_over = 1;  // never fall back to file names
  if (g_editor == nullptr || !g_editor->complete_ || end < 0) return nullptr;
  const std::string before(rl_line_buffer, static_cast<size_t>(end));
  const std::string completed = g_editor->complete_(before);
  if (completed == before) return nullptr;  // no name begins so
  // libedit puts the one match in place of the word before the caret.
  const size_t space = completed.rfind(' ');
  const std::string word = space == std::string::npos ? completed : completed.substr(space + 1);
  if (word.empty()) return nullptr;
  auto** matches = static_cast<char**>(std::calloc(3, sizeof(char*)));
  if (matches == nullptr) return nullptr;
  matches[0] = ::strdup(word.c_str());
  return matches;
}

void LineEditor::RefuseHistory(const std::string& why) {
  history_refused_ = true;
  if (report_) report_("The history file " + history_path_ + " " + why + ": history is not saved.");
}

// libedit opens files by name; the name of a descriptor already open
// (/proc/self/fd/N) reaches exactly that file, whatever the path names now.
static std::string NameOfDescriptor(int fd) { return "/proc/self/fd/" + std::to_string(fd); }

void LineEditor::LoadHistory() {
  if (history_path_.empty()) return;
  const int fd = ::open(history_path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) RefuseHistory("is a symbolic link");
    return;  // none yet
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
    read_history(NameOfDescriptor(fd).c_str());
  else
    RefuseHistory("is not a regular file");
  ::close(fd);
}

void LineEditor::SaveHistory() {
  if (history_path_.empty() || history_refused_) return;
  // A link planted while the program runs is refused as one found at start.
  struct stat st {};
  if (::lstat(history_path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    RefuseHistory(S_ISLNK(st.st_mode) ? "is a symbolic link" : "is not a regular file");
    return;
  }
  // Private from the first byte (mkstemp makes it 0600), then put in place whole.
  std::string temp = history_path_ + ".XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return;
  const bool written = write_history(NameOfDescriptor(fd).c_str()) == 0;
  ::close(fd);
  if (!written || ::rename(temp.c_str(), history_path_.c_str()) != 0) ::unlink(temp.c_str());
}

}  // namespace tolvik
