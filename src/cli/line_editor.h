#pragma once
// The input line on a terminal, edited with libedit through its
// readline-compatible callback interface: keys are fed one at a time from
// the program's poll loop, so editing never blocks the bot. Arrows,
// Home/End, Ctrl+R history search and Tab completion work as in a shell; the
// history is kept in a file of the working directory.
#include <functional>
#include <string>

namespace tolvik {

class LineEditor {
 public:
  // The history file in the working directory (mode 0600: typed lines may be private).
  static constexpr char kHistoryFile[] = ".tolvik-cli.history";
  static constexpr int kHistoryLines = 500;

  // `on_line` gets each entered line; `complete` gets the line before the
  // caret at each Tab and returns what is to stand there instead; `report`
  // gets a note for the user when the history file is refused.
  //
  // The history file is never followed through a symbolic link (someone
  // could point it at another of the user's files): it is read through
  // O_NOFOLLOW and written to a temporary file that is renamed over it. A
  // link, or anything else that is not a regular file, in its place is
  // reported and history is not saved for the rest of the run.
  LineEditor(std::string history_path, std::function<void(const std::string&)> on_line,
             std::function<std::string(const std::string&)> complete,
             std::function<void(const std::string&)> report = {});
  ~LineEditor();
  LineEditor(const LineEditor&) = delete;
  LineEditor& operator=(const LineEditor&) = delete;

  // Shows the prompt and puts the terminal into editing mode; Stop() gives
  // the terminal back as it was (for a password prompt, or at the end).
  void Start();
  void Stop();
  bool Active() const { return active_; }
  // True once the user has ended input (Ctrl+D on an empty line).
  bool Ended() const { return ended_; }

  // Standard input is readable: handles what has been typed.
  void OnReadable();

  // Around every line printed while the input line is shown: the input line
  // is taken off the screen, and drawn again below the new output.
  void HideInput();
  void ShowInput();

 private:
  static void OnLineThunk(char* line);
  static char** CompleteThunk(const char* word, int start, int end);
  void OnLine(char* line);
  void LoadHistory();
  void SaveHistory();
  void RefuseHistory(const std::string& why);

  std::string history_path_;
  std::function<void(const std::string&)> on_line_;
  std::function<std::string(const std::string&)> complete_;
  std::function<void(const std::string&)> report_;
  bool history_refused_ = false;
  bool active_ = false;
  bool ended_ = false;
  bool in_handler_ = false;
  bool line_done_ = false;
  std::string last_line_;
};

// Puts the terminal back in the mode it had before editing began. Safe in a
// signal handler: for an end that skips the normal close.
void RestoreTerminalModeFromSignal();

}  // namespace tolvik
